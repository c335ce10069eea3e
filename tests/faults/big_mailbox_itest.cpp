// A mailbox of 5,000 ordinary mails, most with large attachments, written
// straight into the server's Maildir: the login finds the catalog mail under
// all of them, and a store and a read of several pieces work as in an empty
// one. (Times are in the transfer benchmark, not asserted here.)
#include <filesystem>

#include "tests/faults/bulk_maildir.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/catalog_sync.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

constexpr int kBulkMails = 5000;

class BigMailbox : public PipelineTest {};

TEST_F(BigMailbox, LoginStoreAndReadWorkUnderFiveThousandMails) {
    MailboxAccount account = login("sohu");
    const std::string user = account.loginAddress;
    // The catalog mail goes in first, so every bulk mail is newer than it.
    ASSERT_EQ(Catalog(user).addFolder("", "旧照片"), 0);
    engineHooks.startCatalogMail(user);
    ASSERT_TRUE(waitForWorkers(std::chrono::seconds(60)));
    ASSERT_EQ(mailboxSubjects(account).size(), 1u);

    const BulkMailbox bulk =
        fillMaildir(MailStack::maildir(account.mailboxUser), account.mailboxAddress, kBulkMails);
    ASSERT_EQ(bulk.messages, kBulkMails);
    EXPECT_GT(bulk.bytes, 500ull * 1024 * 1024);

    // The login on a machine without the catalog: it is read from the mailbox.
    fs::remove(home.path() / (user + "_config"));
    account.catalogFlag = 1;
    ASSERT_EQ(CatalogLoginStep(account), 0);
    EXPECT_EQ(Catalog(user).exists("", "旧照片", "Folder"), CatalogPresence::Live);

    const std::string bytes = randomBytes(static_cast<size_t>(6 * kMiB + 1), 64);
    ASSERT_EQ(runUploadWorker(user, source("new.bin", bytes), kDocuments), UploadOutcome::Stored);
    const CatalogRow record = fileRecord(user, kDocuments, "new.bin");
    ASSERT_EQ(record.name, "new.bin");
    ASSERT_EQ(readBack(user, record, saves.str()), DownloadOutcome::Saved);
    EXPECT_TRUE(readFile(saves / "new.bin") == bytes);
    EXPECT_TRUE(notices.messages().empty());

    Pop3Connection pop3;
    ASSERT_TRUE(pop3.Connect(account.pop3Host, account.mailboxUser, account.mailboxPassword,
                             account.pop3Port));
    int count = 0, total = 0;
    ASSERT_TRUE(pop3.Statistics(count, total));
    EXPECT_EQ(count, 1 + kBulkMails + 2);  // the catalog mail, the bulk, two pieces
    pop3.Disconnect();
}

}  // namespace
}  // namespace parvola::test
