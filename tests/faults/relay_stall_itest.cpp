// A line that goes dead without a word: the relay stops passing anything on
// one session, in either direction, and closes nothing. The store and the
// read give up on their time-outs and try again on a new connection by
// themselves. (Real time-outs: this test waits about a minute and a half.)
#include "tests/support/fault_relay.h"
#include "tests/transfer/fake_retry_clock.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/download_pipeline.h"

namespace parvola::test {
namespace {

class RelayStallTest : public PipelineTest {
  protected:
    FakeRetryClock clock;
};

TEST_F(RelayStallTest, AStalledStoreAndAStalledReadTimeOutAndAreTriedAgain) {
    const MailboxAccount direct = login("sohu");
    FaultRelay::Plan sending;
    sending.stallCommand = "DATA";
    sending.stallOccurrence = 1;
    FaultRelay::Plan reading;
    reading.stallCommand = "RETR";
    reading.stallOccurrence = 1;
    FaultRelay smtp("127.0.0.2", "127.0.0.2", MailStack::smtpPort(), sending);
    FaultRelay pop3("127.0.0.2", "127.0.0.2", MailStack::pop3Port(), reading);
    MailboxAccount account = direct;
    account.smtpPort = smtp.port();
    account.pop3Port = pop3.port();
    clearLoggedInAccounts();
    ASSERT_TRUE(addLoggedInAccount(account));

    const std::string bytes = randomBytes(static_cast<size_t>(kMiB + 3), 31);
    ASSERT_EQ(runUploadWorker(account.loginAddress, source("stall.bin", bytes), kDocuments),
              UploadOutcome::Stored)
        << ::testing::PrintToString(notices.messages());
    EXPECT_EQ(smtp.stalls(), 1);
    EXPECT_EQ(clock.waits().size(), 1u);

    const CatalogRow record = fileRecord(account.loginAddress, kDocuments, "stall.bin");
    ASSERT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Saved)
        << ::testing::PrintToString(notices.messages());
    EXPECT_TRUE(readFile(saves / "stall.bin") == bytes);
    EXPECT_EQ(pop3.stalls(), 1);
    EXPECT_EQ(clock.waits().size(), 2u);
    EXPECT_TRUE(notices.messages().empty());
    // One copy of the one piece: the stalled store never reached the server.
    EXPECT_EQ(pieceMailCount(direct), 1);
}

}  // namespace
}  // namespace parvola::test
