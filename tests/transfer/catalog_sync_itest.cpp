// The catalog through the real mail server: the catalog mails loaded at
// login, the trim after downloads, and the catalog mail worker.
#include "transfer/catalog_sync.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/process_state.h"
#include "catalog/catalog.h"
#include "platform/app_dir.h"
#include "platform/worker_threads.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/catalog_sync_support.h"
#include "transfer/catalog_mail_worker.h"
#include "transfer/store_mail.h"
#include "zip/zip_pack.h"

namespace parvola {
namespace {

using namespace std::chrono_literals;

// A catalog text of `owner` at `version` with one marker folder.
std::string catalogText(const std::string& owner, int version, const std::string& marker) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<User Name=\"" + owner + "\" Version=\"" +
           std::to_string(version) + "\" FN=\"0\" SUM=\"0\">\r\n<Folder Name=\"" + marker +
           "\" CT=\"09-10-25 10:00:00\" Size=\"0\" Del=\"false\"/>\r\n<Recycle "
           "Name=\"回收站\"/>\r\n"
           "</User>\r\n";
}

class CatalogSyncTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::MailStack::addUser(mailUser_, "pw"));
        test::writeFile(home_.path() / "deploy.ini", test::mailDeployIni());
        clearLoggedInAccounts();
    }
    void TearDown() override {
        EXPECT_TRUE(waitForWorkers(60s));
        clearLoggedInAccounts();
    }

    // Mails a catalog zip as the catalog mail worker would, with any subject;
    // `damage` spoils the archive's compressed bytes. Waits until it arrived.
    void mailCatalog(const std::string& subject, const std::string& catalog, bool damage = false) {
        test::TempDir dir;
        const std::string entry = user_ + "_config";
        test::writeFile(dir / entry, catalog);
        const std::string zip = (dir / (user_ + "_config.zip")).string();
        ASSERT_EQ(packFileToZip((dir / entry).string(), zip), ZipResult::Ok);
        if (damage) {
            std::string bytes = test::readFile(zip);
            for (size_t i = 60; i < bytes.size() - 40; ++i)
                bytes[i] = static_cast<char>(bytes[i] ^ 0x33);
            test::writeFile(zip, bytes);
        }
        mailWithAttachment(subject, zip);
    }
    void mailWithAttachment(const std::string& subject, const std::string& path) {
        StoreMail mail;
        mail.subject = mail.bodyText = subject;
        mail.attachmentPath = path;
        ASSERT_EQ(SendStoreMail(account_, mail), 0);
        // One at a time, so the mailbox order is the sending order.
        ASSERT_TRUE(test::waitForMailCount(account_, ++sent_));
    }
    void mailPiece(const std::string& subject) {
        // A piece whose attachment would even unpack as this user's catalog.
        test::TempDir dir;
        test::writeFile(dir / (user_ + "_config"), catalogText(user_, 99, "piece"));
        const std::string zip = (dir / (user_ + "_config.zip")).string();
        ASSERT_EQ(packFileToZip((dir / (user_ + "_config")).string(), zip), ZipResult::Ok);
        mailWithAttachment(subject, zip);
    }
    std::string markerOfLocalCatalog() {
        Catalog catalog(user_);
        std::vector<CatalogRow> rows;
        if (!catalog.enterUser())
            return "";
        catalog.listFolder("", rows);
        return rows.empty() ? "" : rows.front().name;
    }

    test::AppHome home_;
    test::RecordingCatalogHooks hooks_;
    const std::string mailUser_ = test::MailStack::uniqueUser("sync");
    MailboxAccount account_ = test::mailAccount(mailUser_, "pw");
    const std::string user_ = account_.loginAddress;
    size_t sent_ = 0;
};

TEST_F(CatalogSyncTest, LoadTakesTheHighestUsableVersionOfThisAddressOnly) {
    // Arrival order is not version order: the provider may hand them out
    // swapped. Between equal versions the newer time wins.
    mailCatalog(CatalogSubject(6, 1256450006, user_), catalogText(user_, 6, "六"));
    mailCatalog(CatalogSubject(6, 1256440006, user_), catalogText(user_, 6, "旧六"));
    mailCatalog(CatalogSubject(5, 1256450005, user_), catalogText(user_, 5, "五"));
    // A piece mail that carries the tag and the address inside its name.
    mailPiece("PARVOL:;PARVOLCONFIG9;1256450009;" + user_ + ";7;1256450009;100;0000000000;1;1");
    // Another login address sharing the mailbox, holding this one's address.
    mailCatalog(CatalogSubject(8, 1256450008, "x" + user_), catalogText(user_, 8, "别人"));
    mailCatalog(CatalogSubject(7, 1256450007, user_), catalogText(user_, 7, "七"), true);

    Catalog(user_).createNew(user_);
    const std::string before = test::readFile(appPath(user_ + "_config"));
    EXPECT_EQ(SyncCatalog(user_, account_, SyncMode::Load), kSyncLoaded);
    EXPECT_EQ(markerOfLocalCatalog(), "六");
    EXPECT_EQ(Catalog(user_).version(), 6);
    EXPECT_NE(test::readFile(appPath(user_ + "_config")), before);
    EXPECT_TRUE(test::strayCatalogFiles(home_.path()).empty());
    // Loading deletes nothing.
    EXPECT_EQ(test::mailboxSubjects(account_).size(), 6u);
}

TEST_F(CatalogSyncTest, NothingUsableLeavesTheCatalogAndAnswersNothingFound) {
    mailPiece("PARVOL:;PARVOLCONFIG9;1256450009;" + user_ + ";7;1256450009;100;0000000000;1;1");
    mailCatalog(CatalogSubject(3, 1256450003, user_), catalogText(user_, 3, "坏"), true);
    Catalog(user_).createNew(user_);
    const std::string before = test::readFile(appPath(user_ + "_config"));
    EXPECT_EQ(SyncCatalog(user_, account_, SyncMode::Load), kSyncNoCatalog);
    EXPECT_EQ(test::readFile(appPath(user_ + "_config")), before);
    EXPECT_TRUE(test::strayCatalogFiles(home_.path()).empty());
}

TEST_F(CatalogSyncTest, TrimKeepsTheTenHighestVersionsAndTouchesNothingElse) {
    const std::string piece1 = "PARVOL:;a.doc;1;1256450000;100;0000000000;1;1";
    const std::string piece2 =
        "PARVOL:;PARVOLCONFIG1;2;" + user_ + ";1256450000;100;0000000000;1;1";
    const std::string other = CatalogSubject(1, 1256450000, "x" + user_);
    mailPiece(piece1);
    mailCatalog(other, catalogText(user_, 1, "x"));
    // Versions arrive out of order: 14 first, then 1 to 13.
    mailCatalog(CatalogSubject(14, 1256450014, user_), catalogText(user_, 14, "v"));
    for (int version = 1; version <= 13; ++version) {
        mailCatalog(CatalogSubject(version, 1256450000 + version, user_),
                    catalogText(user_, version, "v"));
        if (version == 2)
            mailPiece(piece2);
    }

    EXPECT_EQ(SyncCatalog(user_, account_, SyncMode::Trim), kSyncNoCatalog);
    std::vector<std::string> left = test::mailboxSubjects(account_);
    std::vector<std::string> want{piece1, other, CatalogSubject(14, 1256450014, user_), piece2};
    for (int version = 5; version <= 13; ++version)
        want.push_back(CatalogSubject(version, 1256450000 + version, user_));
    EXPECT_EQ(left, want);
    // A second trim finds ten and deletes nothing.
    EXPECT_EQ(SyncCatalog(user_, account_, SyncMode::Trim), kSyncNoCatalog);
    EXPECT_EQ(test::mailboxSubjects(account_), want);
}

TEST_F(CatalogSyncTest, ConnectionAndLoginFailuresAnswerMinusOne) {
    MailboxAccount wrong = account_;
    wrong.mailboxPassword = "not-it";
    EXPECT_EQ(SyncCatalog(user_, wrong, SyncMode::Load), kSyncFailed);
    EXPECT_EQ(SyncCatalog(user_, wrong, SyncMode::Trim), kSyncFailed);
    MailboxAccount closed = account_;
    closed.pop3Port = 9;
    EXPECT_EQ(SyncCatalog(user_, closed, SyncMode::Load), kSyncFailed);
}

TEST_F(CatalogSyncTest, LoginStepMakesANewCatalogForAnEmptyMailboxOrAFlagOfZero) {
    ASSERT_EQ(account_.catalogFlag, 1000);
    bool createdNew = false;
    EXPECT_EQ(CatalogLoginStep(account_, &createdNew), 0);
    EXPECT_TRUE(createdNew);
    Catalog catalog(user_);
    EXPECT_TRUE(catalog.hasUser());
    EXPECT_EQ(catalog.version(), 1);

    // With a catalog mail in the mailbox the flag decides.
    mailCatalog(CatalogSubject(4, 1256450004, user_), catalogText(user_, 4, "四"));
    MailboxAccount noFlag = account_;
    noFlag.catalogFlag = 0;
    EXPECT_EQ(CatalogLoginStep(noFlag, &createdNew), 0);
    EXPECT_TRUE(createdNew);
    EXPECT_EQ(Catalog(user_).version(), 1);
    EXPECT_EQ(CatalogLoginStep(account_, &createdNew), 0);
    EXPECT_FALSE(createdNew);
    EXPECT_EQ(markerOfLocalCatalog(), "四");

    // A mailbox that cannot be read ends the login and leaves the catalog.
    MailboxAccount wrong = account_;
    wrong.mailboxPassword = "not-it";
    const std::string before = test::readFile(appPath(user_ + "_config"));
    EXPECT_EQ(CatalogLoginStep(wrong, &createdNew), -1);
    EXPECT_FALSE(createdNew);
    EXPECT_EQ(test::readFile(appPath(user_ + "_config")), before);
}

TEST_F(CatalogSyncTest, ABurstOfChangesMailsTheNewestCatalogOneWorkerAtATime) {
    installCatalogMailWorker();
    resetCatalogMailCounters();
    ASSERT_TRUE(addLoggedInAccount(account_));
    Catalog(user_).createNew(user_);
    for (int i = 1; i <= 5; ++i)
        ASSERT_EQ(Catalog(user_).addFolder("", "突发" + std::to_string(i)), 0);
    ASSERT_EQ(Catalog(user_).version(), 6);
    ASSERT_TRUE(waitForWorkers(60s));

    CatalogMailCounters counters = catalogMailCounters();
    EXPECT_EQ(counters.started, 6);
    EXPECT_EQ(counters.peakRunning, 1);
    EXPECT_EQ(counters.failed, 0);
    EXPECT_GE(counters.mailed, 1);
    EXPECT_EQ(counters.mailed + counters.skipped, counters.started);
    EXPECT_TRUE(test::strayCatalogFiles(home_.path()).empty());

    // Every mail that went out arrives, the highest of them carrying version
    // 6, in whatever order the server delivered them.
    ASSERT_TRUE(test::waitForMailbox(account_, [&](const std::vector<std::string>& subjects) {
        return subjects.size() == static_cast<size_t>(counters.mailed);
    }));
    std::vector<std::string> subjects = test::mailboxSubjects(account_);
    int highest = 0;
    for (const std::string& subject : subjects) {
        int version = 0;
        long long time = 0;
        std::string address;
        ASSERT_TRUE(parseCatalogSubject(subject, version, time, address)) << subject;
        EXPECT_EQ(address, user_);
        EXPECT_GE(version, 1);
        highest = std::max(highest, version);
    }
    EXPECT_EQ(highest, 6);

    // The highest version loaded is the catalog with all five folders.
    const std::string local = test::readFile(appPath(user_ + "_config"));
    std::filesystem::remove(appPath(user_ + "_config"));
    ASSERT_EQ(SyncCatalog(user_, account_, SyncMode::Load), kSyncLoaded);
    EXPECT_EQ(test::readFile(appPath(user_ + "_config")), local);
    resetCatalogMailCounters();
}

}  // namespace
}  // namespace parvola
