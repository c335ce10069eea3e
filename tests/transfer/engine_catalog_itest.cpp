// The engine as the client installs it: a store mails the catalog after its
// record is added, a purge starts the removal of the file's piece mails, and
// a download trims the catalog mails to the ten newest; piece mails and
// catalog mails never mix.
#include "tests/transfer/pipeline_itest_support.h"

namespace parvola::test {
namespace {

class Engine : public PipelineTest {};

int catalogMailCount(const MailboxAccount& account) {
    int count = 0;
    for (const std::string& subject : mailboxSubjects(account))
        count += subject.rfind(kCatalogMarker, 0) == 0 &&
                         subject.find(account.loginAddress) != std::string::npos
                     ? 1
                     : 0;
    return count;
}

TEST_F(Engine, CatalogMailsFollowEveryChangeAndADownloadKeepsTheTenNewest) {
    EXPECT_TRUE(engineHooks.startCatalogMail);
    EXPECT_TRUE(engineHooks.startPieceCleanup);
    setCatalogHooks(engineHooks);
    const MailboxAccount account = login("sina");
    const std::string user = account.loginAddress;
    ASSERT_TRUE(waitForWorkers(std::chrono::seconds(60)));  // the new catalog's mail

    const std::string bytes = randomBytes(40000, 61);
    ASSERT_EQ(runUploadWorker(user, source("kept.txt", bytes), kDocuments), UploadOutcome::Stored);
    ASSERT_TRUE(waitForWorkers(std::chrono::seconds(60)));
    EXPECT_EQ(catalogMailCount(account), 2);
    for (int i = 0; catalogMailCount(account) < 13 && i < 20; ++i) {
        ASSERT_EQ(Catalog(user).addFolder("", "folder" + std::to_string(i)), 0);
        ASSERT_TRUE(waitForWorkers(std::chrono::seconds(60)));
    }
    ASSERT_EQ(catalogMailCount(account), 13);

    const CatalogRow record = fileRecord(user, kDocuments, "kept.txt");
    ASSERT_EQ(readBack(user, record, saves.str()), DownloadOutcome::Saved);
    EXPECT_TRUE(readFile(saves / "kept.txt") == bytes);
    EXPECT_EQ(catalogMailCount(account), 10);
    EXPECT_EQ(pieceMailCount(account), 1);
    EXPECT_TRUE(notices.messages().empty());
}

}  // namespace
}  // namespace parvola::test
