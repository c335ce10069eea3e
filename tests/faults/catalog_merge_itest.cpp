// Two application directories (two computers) of one user change the
// catalog at the same time against the real mail server: the later catalog
// mail carries both sides' changes, the namesake stored on both sides is
// kept twice and the user is told; a catalog that cannot be merged is kept
// beside and the user told. And a catalog mail whose answer is lost after its
// final dot is tried again without ever being in the mailbox twice.
#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

#include "catalog/catalog_base.h"
#include "catalog/catalog_merge.h"
#include "tests/support/fault_relay.h"
#include "tests/transfer/fake_retry_clock.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/catalog_mail_worker.h"
#include "transfer/catalog_sync.h"

namespace parvola::test {
namespace {

class CatalogMergeItest : public PipelineTest {
  protected:
    // Runs `step` with `dir` as the application directory.
    static void in(const TempDir& dir, const std::function<void()>& step) {
        ScopedEnv home("PARVOLA_HOME", dir.str());
        step();
    }

    // The versions of the account's catalog mails in the mailbox.
    static std::multiset<int> catalogVersions(const MailboxAccount& account) {
        std::multiset<int> versions;
        for (const std::string& subject : mailboxSubjects(account)) {
            int version = 0;
            long long time = 0;
            std::string address;
            if (parseCatalogSubject(subject, version, time, address) &&
                address == account.loginAddress)
                versions.insert(version);
        }
        return versions;
    }

    static std::vector<std::string> fileNames(const std::string& user, const std::string& folder) {
        std::vector<CatalogRow> rows;
        Catalog(user).listFolder(folder, rows);
        std::vector<std::string> names;
        for (const CatalogRow& row : rows)
            if (row.type == kFileType)
                names.push_back(row.name);
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir second{"parvola-second-home"};
};

TEST_F(CatalogMergeItest, TwoComputersChangingAtOnceBothKeepTheirChanges) {
    MailboxAccount account = login("sina");
    const std::string user = account.loginAddress;
    ASSERT_EQ(mailCatalogNow(user), 0);  // the first computer's new catalog, version 1
    account.catalogFlag = 1;
    writeDeployIni(second.path());
    in(second, [&] { ASSERT_EQ(CatalogLoginStep(account), 0); });
    in(second, [&] { ASSERT_EQ(Catalog(user).version(), 1); });

    // Both change the catalog before either mails it.
    ASSERT_EQ(Catalog(user).addFileRecord(kDocuments, "一.txt", "S-first", 10), 0);
    ASSERT_EQ(Catalog(user).addFileRecord(kDocuments, "同名.txt", "S-first-same", 20), 0);
    in(second, [&] {
        ASSERT_EQ(Catalog(user).addFolder("", "二号的"), 0);
        ASSERT_EQ(Catalog(user).addFileRecord(kDocuments, "同名.txt", "S-second-same", 30), 0);
        ASSERT_EQ(Catalog(user).deleteFolder(kPictures), 0);
    });
    ASSERT_EQ(mailCatalogNow(user), 0);  // version 3, nothing above its base
    EXPECT_TRUE(notices.messages().empty());
    in(second, [&] { ASSERT_EQ(mailCatalogNow(user), 0); });

    // The second computer merged before it mailed, above both versions, and
    // told its user of the namesake.
    ASSERT_EQ(notices.messages().size(), 1u);
    EXPECT_EQ(notices.messages()[0].rfind(kCatalogMergedText, 0), 0u) << notices.messages()[0];
    EXPECT_NE(notices.messages()[0].find("同名 (2).txt"), std::string::npos);
    EXPECT_EQ(catalogVersions(account), (std::multiset<int>{1, 3, 5}));

    // The first computer's next change starts from the merged catalog: it
    // loads nothing by hand, merges again, and keeps everything.
    ASSERT_EQ(Catalog(user).addFileRecord(kDocuments, "后来.txt", "S-later", 40), 0);
    ASSERT_EQ(mailCatalogNow(user), 0);
    EXPECT_EQ(notices.messages().size(), 1u) << ::testing::PrintToString(notices.messages());
    EXPECT_EQ(catalogVersions(account), (std::multiset<int>{1, 3, 5, 6}));

    // A third directory's login loads the highest: every change of both, once.
    TempDir third("parvola-third-home");
    writeDeployIni(third.path());
    in(third, [&] {
        ASSERT_EQ(CatalogLoginStep(account), 0);
        EXPECT_EQ(Catalog(user).version(), 6);
        EXPECT_EQ(fileNames(user, kDocuments),
                  (std::vector<std::string>{"一.txt", "同名 (2).txt", "同名.txt", "后来.txt"}));
        EXPECT_EQ(Catalog(user).exists("", "二号的", "Folder"), CatalogPresence::Live);
        EXPECT_EQ(Catalog(user).exists("", kPictures, "Folder"), CatalogPresence::OnlyDeleted);
        long long files = 0, weighted = 0;
        ASSERT_EQ(Catalog(user).spaceUsed(files, weighted), 0);
        EXPECT_EQ(files, 4);
    });
}

TEST_F(CatalogMergeItest, ACatalogThatCannotBeMergedIsKeptBesideAndTheUserIsTold) {
    MailboxAccount account = login("tom");
    const std::string user = account.loginAddress;
    ASSERT_EQ(mailCatalogNow(user), 0);  // version 1
    account.catalogFlag = 1;
    writeDeployIni(second.path());
    const std::string stranger = "stranger@tom.test";
    in(second, [&] {
        ASSERT_EQ(CatalogLoginStep(account), 0);
        // Another program left another user's catalog under this user's name.
        ASSERT_EQ(Catalog(stranger).createNew(stranger), 0);
        for (const char* name : {"陌一", "陌二", "陌三"})
            ASSERT_EQ(Catalog(stranger).addFolder("", name), 0);
        std::filesystem::copy_file(second / (stranger + "_config"), second / (user + "_config"),
                                   std::filesystem::copy_options::overwrite_existing);
        ASSERT_EQ(mailCatalogNow(user), 0);  // version 4, the stranger's
    });

    ASSERT_EQ(Catalog(user).addFolder("", "本机的"), 0);
    ASSERT_EQ(mailCatalogNow(user), 0);
    ASSERT_EQ(notices.messages().size(), 1u);
    const std::string told = notices.messages()[0];
    ASSERT_EQ(told.rfind(kCatalogNotMergedText, 0), 0u) << told;
    const std::string kept = told.substr(std::string(kCatalogNotMergedText).size());
    EXPECT_EQ(std::filesystem::path(kept).parent_path(), home.path());
    EXPECT_NE(readFile(kept).find("Name=\"" + stranger + "\""), std::string::npos);
    // This computer's catalog went out above the other: the next login
    // anywhere loads it.
    EXPECT_EQ(catalogVersions(account), (std::multiset<int>{1, 4, 5}));
    TempDir third("parvola-third-home");
    writeDeployIni(third.path());
    in(third, [&] {
        ASSERT_EQ(CatalogLoginStep(account), 0);
        EXPECT_EQ(Catalog(user).exists("", "本机的", "Folder"), CatalogPresence::Live);
        EXPECT_EQ(Catalog(user).exists("", "陌一", "Folder"), CatalogPresence::Absent);
    });
}

TEST_F(CatalogMergeItest, ACatalogMailWhoseAnswerIsLostIsTriedAgainAndKeptOnce) {
    FakeRetryClock clock;
    const MailboxAccount direct = login("sohu");
    const std::string user = direct.loginAddress;
    FaultRelay::Plan sending;
    sending.loseAnswerToData = 1;
    sending.answers = {{"MAIL FROM", 2, "451 4.3.0 Temporary local problem, try again"}};
    FaultRelay smtp("127.0.0.2", "127.0.0.2", MailStack::smtpPort(), sending);
    MailboxAccount account = direct;
    account.smtpPort = smtp.port();
    clearLoggedInAccounts();
    ASSERT_TRUE(addLoggedInAccount(account));

    // The first mail's answer is lost: the test holds the pause until the
    // server has delivered that mail, so the next try meets it.
    clock.block();
    int result = -1;
    std::thread worker([&] { result = mailCatalogNow(user); });
    ASSERT_TRUE(clock.waitForWaiter());
    EXPECT_EQ(smtp.lostAnswers(), 1);
    EXPECT_TRUE(waitFor([&] { return catalogVersions(direct).size() == 1; }));
    clock.release();
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(catalogVersions(direct), std::multiset<int>{1});
    EXPECT_EQ(clock.waits().size(), 1u);

    // The next change meets the busy server's answer first, and is tried again.
    ASSERT_EQ(Catalog(user).addFolder("", "再来"), 0);
    ASSERT_EQ(mailCatalogNow(user), 0);
    EXPECT_EQ(smtp.answered(), 1);
    EXPECT_EQ(catalogVersions(direct), (std::multiset<int>{1, 2}));
    EXPECT_EQ(clock.waits().size(), 2u);
    // The base is the last mail: nothing is merged, nothing told.
    CatalogBase base;
    ASSERT_TRUE(readCatalogBase(user, base));
    EXPECT_EQ(base.version, 2);
    EXPECT_TRUE(notices.messages().empty());
}

}  // namespace
}  // namespace parvola::test
