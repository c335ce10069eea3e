// Stores and reads through a relay that cuts the connections every few
// megabytes and answers some commands with the refusals of a busy provider:
// every piece is tried again by itself until the file is stored and read
// back byte for byte, and a purge then leaves no piece mail behind.
#include "tests/support/fault_relay.h"

#include <map>

#include "app/ini_settings.h"
#include "tests/transfer/fake_retry_clock.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/download_pipeline.h"
#include "transfer/piece_search.h"

namespace parvola::test {
namespace {

class FaultRelayTest : public PipelineTest {
  protected:
    // The account as the relays reach it: SMTP and POP3 on their ports.
    static MailboxAccount through(MailboxAccount account, const FaultRelay& smtp,
                                  const FaultRelay& pop3) {
        account.smtpPort = smtp.port();
        account.pop3Port = pop3.port();
        clearLoggedInAccounts();
        EXPECT_TRUE(addLoggedInAccount(account));
        return account;
    }
    // How many mails each piece index of the file has in the mailbox.
    static std::map<int, int> copiesByIndex(const MailboxAccount& direct, const CatalogRow& row) {
        std::map<int, int> copies;
        const PieceSubject stored = parseSubject(row.subject);
        for (const PieceSubject& piece : pieceMails(direct, stored.fileName, stored.fileId))
            ++copies[piece.pieceIndex];
        return copies;
    }

    // The pauses pass at once; each one is recorded.
    FakeRetryClock clock;
};

TEST_F(FaultRelayTest, TenPiecesGoAndComeBackThroughCutsAndRefusalsByThemselves) {
    const MailboxAccount direct = login("sohu");  // 6 MiB pieces
    FaultRelay::Plan sending;
    sending.cutSide = FaultRelay::Side::FromClient;
    // A piece mail is about 8.2 MiB on the wire: a cut every 20 MiB breaks
    // every second or third piece somewhere in its text.
    sending.cutEvery = 20 * kMiB + 333;
    sending.answers = {
        {"MAIL FROM", 2, "451 4.3.0 Temporary local problem, try again"},
        {"RCPT TO", 4, "452 4.3.1 Insufficient system storage"},
        {"MAIL FROM", 6, "421 4.7.0 Too many connections, try again later"},
        {"MAIL FROM", 9, "550 5.4.5 Daily sending quota exceeded, try again in 90 minutes"}};
    FaultRelay::Plan reading;
    reading.cutSide = FaultRelay::Side::FromServer;
    reading.cutEvery = 19 * kMiB + 777;
    reading.answers = {{"RETR", 3, "-ERR [IN-USE] Mailbox is locked by another session"}};
    FaultRelay smtp("127.0.0.2", "127.0.0.2", MailStack::smtpPort(), sending);
    FaultRelay pop3("127.0.0.2", "127.0.0.2", MailStack::pop3Port(), reading);
    const MailboxAccount account = through(direct, smtp, pop3);

    const std::string bytes = randomBytes(static_cast<size_t>(9 * 6 * kMiB + 1), 19);
    ASSERT_EQ(runUploadWorker(account.loginAddress, source("cut.bin", bytes), kDocuments),
              UploadOutcome::Stored)
        << ::testing::PrintToString(notices.messages());
    const CatalogRow record = fileRecord(account.loginAddress, kDocuments, "cut.bin");
    ASSERT_EQ(record.name, "cut.bin");
    EXPECT_EQ(parseSubject(record.subject).pieceCount, 10);
    const int storeCuts = smtp.cuts();
    EXPECT_GE(storeCuts, 3);
    EXPECT_EQ(smtp.answered(), 4);
    // Every piece is there, a piece whose session broke after the final dot
    // possibly twice.
    const std::map<int, int> copies = copiesByIndex(direct, record);
    ASSERT_EQ(copies.size(), 10u);
    EXPECT_EQ(copies.begin()->first, 1);
    EXPECT_EQ(copies.rbegin()->first, 10);

    ASSERT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Saved);
    EXPECT_TRUE(readFile(saves / "cut.bin") == bytes);
    EXPECT_GE(pop3.cuts(), 3);
    EXPECT_EQ(pop3.answered(), 1);
    EXPECT_TRUE(notices.messages().empty());
    EXPECT_EQ(std::vector<std::string>(), filesBelow(home.path() / "temp"));
    // Each failure cost one pause of the growing series, none of them long:
    // no piece needed more than a few tries. The provider's limits were
    // waited out: an hour when the answer named no time, else its time.
    // The [IN-USE] answer costs a pause only when one connection reads; with
    // several, that connection hands its piece to another at once.
    std::vector<std::chrono::seconds> waits = clock.waits();
    const bool oneConnection = IniSettings().readConnections() == 1;
    EXPECT_GE(waits.size(), static_cast<size_t>(storeCuts + pop3.cuts() + (oneConnection ? 5 : 4)));
    std::vector<std::chrono::seconds> limits;
    for (std::chrono::seconds wait : waits)
        if (wait.count() > 32)
            limits.push_back(wait);
    EXPECT_EQ(limits, (std::vector<std::chrono::seconds>{std::chrono::seconds(3600),
                                                         std::chrono::seconds(5400)}));

    // The purge removes every copy of every piece.
    smtp.heal();
    pop3.heal();
    EXPECT_GE(RemovePieceMails(account, record.subject), 10);
    EXPECT_EQ(pieceMailCount(direct), 0);
}

TEST_F(FaultRelayTest, ARefusalAsSpamFailsAtOnceAndSaysWhatHelps) {
    const MailboxAccount direct = login("sohu");
    FaultRelay::Plan sending;
    sending.answers = {{"MAIL FROM", 2, "554 5.7.1 Message rejected as spam"}};
    FaultRelay smtp("127.0.0.2", "127.0.0.2", MailStack::smtpPort(), sending);
    FaultRelay pop3("127.0.0.2", "127.0.0.2", MailStack::pop3Port(), {});
    const MailboxAccount account = through(direct, smtp, pop3);
    const std::string bytes = randomBytes(static_cast<size_t>(2 * 6 * kMiB + 9), 23);
    ASSERT_EQ(runUploadWorker(account.loginAddress, source("spam.bin", bytes), kDocuments),
              UploadOutcome::SendFailed);
    EXPECT_TRUE(clock.waits().empty());
    ASSERT_EQ(notices.messages().size(), 1u);
    const std::string said = notices.messages()[0];
    EXPECT_NE(said.find("554 5.7.1 Message rejected as spam"), std::string::npos) << said;
    EXPECT_NE(said.find("较小的分片大小"), std::string::npos) << said;
    EXPECT_NE(said.find("其他邮箱账号"), std::string::npos) << said;
    EXPECT_TRUE(taskList().empty());
}

}  // namespace
}  // namespace parvola::test
