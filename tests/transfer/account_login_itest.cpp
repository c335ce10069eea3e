// The whole login against the real web service and mail server: a second
// computer opens the store the first one mailed, an address logged in once is
// refused, the account is remembered with or without its password, a mailbox
// that cannot be read ends the login with a message.
#include "transfer/account_login.h"

#include <gtest/gtest.h>

#include <optional>

#include "app/process_state.h"
#include "catalog/catalog.h"
#include "platform/app_dir.h"
#include "platform/named_lock.h"
#include "platform/notice_box.h"
#include "platform/worker_threads.h"
#include "tests/support/mail_stack.h"
#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/catalog_sync_support.h"
#include "tests/transfer/task_list_support.h"
#include "transfer/catalog_mail_worker.h"
#include "transfer/catalog_sync.h"
#include "transfer/remaining_tasks.h"

namespace parvola {
namespace {

using namespace std::chrono_literals;

// Every listing of a catalog, folder by folder, for comparing two computers.
std::vector<std::string> listingOf(const std::string& user) {
    std::vector<std::string> lines;
    Catalog catalog(user);
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        std::string path = pending.front();
        pending.erase(pending.begin());
        std::vector<CatalogRow> rows;
        if (path.empty())
            catalog.enterUser();
        catalog.listFolder(path, rows);
        for (const CatalogRow& row : rows) {
            lines.push_back(path + "|" + row.type + "|" + row.name + "|" + row.subject + "|" +
                            std::to_string(row.size));
            if (row.subject.empty())
                pending.push_back(path.empty() ? row.name : path + "\\" + row.name);
        }
    }
    return lines;
}

class AccountLoginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(site_.started());
        ASSERT_TRUE(test::MailStack::addUser(mailUser_, "mbpw"));
        ASSERT_TRUE(site_.addUser(address_, "Secret", mailbox_, "mbpw", true));
        clearLoggedInAccounts();
        taskList().clear();
        installCatalogMailWorker();
        openComputer();
    }
    void TearDown() override {
        EXPECT_TRUE(waitForWorkers(60s));
        clearLoggedInAccounts();
        taskList().clear();
        setCatalogHooks(previousHooks_);
    }

    // A fresh application directory that knows the web service and the mail server.
    void openComputer() {
        EXPECT_TRUE(waitForWorkers(60s));
        home_.reset();
        home_.emplace();
        test::writeFile(home_->path() / "deploy.ini", test::mailDeployIni());
        site_.pointClientHere(home_->path());
    }

    test::SiteProcess site_;
    const std::string mailUser_ = test::MailStack::uniqueUser("login");
    const std::string mailbox_ = mailUser_ + "@sina.test";
    const std::string address_ = "用户" + mailUser_ + "@parvola.test";
    CatalogHooks previousHooks_ = catalogHooks();
    std::optional<test::AppHome> home_;
    ScopedRecordingNoticeBox notices_;
};

TEST_F(AccountLoginTest, ASecondComputerOpensTheStoreTheFirstOneMailed) {
    IniSettings settings;
    LoginResult first = loginAccount(address_, "Secret", true, settings);
    ASSERT_TRUE(first.ok()) << ::testing::PrintToString(notices_.messages());
    EXPECT_EQ(first.account.mailboxAddress, mailbox_);
    ASSERT_EQ(Catalog(address_).addFolder("", "旅行"), 0);
    ASSERT_EQ(Catalog(address_).addFolder("旅行", "二〇〇九"), 0);
    ASSERT_EQ(Catalog(address_).addFileRecord("我的文档", "报告.doc",
                                              "PARVOL:;报告.doc;7;1256450000;5;0000000000;1;1", 5),
              0);
    ASSERT_EQ(Catalog(address_).deleteFolder("我的图片"), 0);
    ASSERT_EQ(Catalog(address_).version(), 5);
    const std::vector<std::string> listing = listingOf(address_);
    const std::string catalogBytes = test::readFile(appPath(address_ + "_config"));
    ASSERT_TRUE(waitForWorkers(60s));
    const std::string newest = "PARVOLCONFIG5;";
    ASSERT_TRUE(test::waitForMailbox(
        test::mailAccount(mailUser_, "mbpw"), [&](const std::vector<std::string>& subjects) {
            return !subjects.empty() && subjects.back().rfind(newest, 0) == 0;
        }));

    // The second computer: another application directory, same process.
    clearLoggedInAccounts();
    openComputer();
    ASSERT_FALSE(std::filesystem::exists(appPath(address_ + "_config")));
    IniSettings secondSettings;
    LoginResult second = loginAccount(address_, "Secret", true, secondSettings);
    ASSERT_TRUE(second.ok()) << ::testing::PrintToString(notices_.messages());
    EXPECT_EQ(test::readFile(appPath(address_ + "_config")), catalogBytes);
    EXPECT_EQ(listingOf(address_), listing);
    // 我的文档, 我的媒体, 旅行; 自定义, 报告.doc; 二〇〇九 (我的图片 is in the recycle bin).
    EXPECT_EQ(listing.size(), 6u);
    EXPECT_TRUE(notices_.messages().empty());
    EXPECT_TRUE(test::strayCatalogFiles(home_->path()).empty());
}

TEST_F(AccountLoginTest, AnAddressLoggedInIsRefusedWithoutAskingTheService) {
    IniSettings settings;
    ASSERT_TRUE(loginAccount(address_, "Secret", true, settings).ok());
    LoginResult again = loginAccount(address_, "Secret", true, settings);
    EXPECT_EQ(again.outcome, LoginOutcome::AlreadyLoggedIn);
    EXPECT_EQ(notices_.messages(), std::vector<std::string>{"用户已登录"});
    EXPECT_EQ(site_.log("login").size(), 1u);
    {
        RoleGuard guard(LockRole::Accounts);
        EXPECT_EQ(loggedInAccounts().size(), 1u);
    }
}

TEST_F(AccountLoginTest, RemembersWithAndWithoutThePassword) {
    const std::string other = "别的" + mailUser_ + "@parvola.test";
    ASSERT_TRUE(site_.addUser(other, "Other", mailbox_, "mbpw", false));
    IniSettings settings;
    ASSERT_TRUE(loginAccount(address_, "Secret", true, settings).ok());
    ASSERT_TRUE(loginAccount(other, "Other", false, settings).ok());
    EXPECT_EQ(IniSettings().accounts(),
              (std::vector<RememberedAccount>{{address_, "Secret"}, {other, ""}}));
    // A wrong password is shown by the verification and remembers nothing.
    clearLoggedInAccounts();
    LoginResult wrong = loginAccount(address_, "secret", true, settings);
    EXPECT_EQ(wrong.outcome, LoginOutcome::VerifyFailed);
    EXPECT_EQ(notices_.messages(),
              std::vector<std::string>{address_ + "的用户名或密码错误,请确认后再次登录。"});
    EXPECT_EQ(IniSettings().accounts().size(), 2u);
    {
        RoleGuard guard(LockRole::Accounts);
        EXPECT_TRUE(loggedInAccounts().empty());
    }
}

TEST_F(AccountLoginTest, AnEmptyMailboxGivesANewCatalogThatIsMailedAndTasksResume) {
    // An unfinished transfer of this user from an earlier run.
    ASSERT_TRUE(saveRemainingTasks(IniSettings(), {test::makeTask(address_, "半.doc", 4)}, true));
    IniSettings settings;
    LoginResult result = loginAccount(address_, "Secret", false, settings);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.account.catalogFlag, 1000);
    EXPECT_TRUE(Catalog(address_).hasUser());
    EXPECT_EQ(Catalog(address_).version(), 1);
    ASSERT_TRUE(waitForWorkers(60s));
    // The resume starter took the record.
    EXPECT_TRUE(parseRemainingTasks(IniSettings().readRemainTask()).empty());
    // The new catalog went to the mailbox once the account was logged in.
    ASSERT_TRUE(test::waitForMailbox(
        test::mailAccount(mailUser_, "mbpw"), [&](const std::vector<std::string>& subjects) {
            return !subjects.empty() && isCatalogSubjectOf(subjects.back(), address_);
        }));
}

TEST_F(AccountLoginTest, AMailboxThatCannotBeReadEndsTheLoginWithTheMessage) {
    test::writeFile(home_->path() / "deploy.ini",
                    "[ports]\nsmtp=9\npop3=9\n[sina]\nsmtp=127.0.0.1\npop3=127.0.0.1\n");
    site_.pointClientHere(home_->path());
    IniSettings settings;
    LoginResult result = loginAccount(address_, "Secret", true, settings);
    EXPECT_EQ(result.outcome, LoginOutcome::CatalogFailed);
    // What failed is named: the server, the step, the system's words.
    EXPECT_EQ(notices_.messages(), std::vector<std::string>{withNoticeDetails(
                                       "网络问题,请稍后再试.如多次登录仍不能登录,请联系客服.",
                                       "POP3 127.0.0.1:9, connect: connection refused")});
    EXPECT_FALSE(std::filesystem::exists(appPath(address_ + "_config")));
    EXPECT_TRUE(IniSettings().accounts().empty());
    RoleGuard guard(LockRole::Accounts);
    EXPECT_TRUE(loggedInAccounts().empty());
}

TEST_F(AccountLoginTest, AnUnreachableWebServiceEndsTheLoginWithTheNetworkMessage) {
    // A loopback port that nothing listens on.
    test::writeFile(home_->path() / "deploy.ini", "[site]\nbase=http://127.0.0.1:9\n");
    IniSettings settings;
    LoginResult result = loginAccount(address_, "Secret", true, settings);
    EXPECT_EQ(result.outcome, LoginOutcome::VerifyFailed);
    EXPECT_EQ(notices_.messages(),
              std::vector<std::string>{"网络问题,请稍后再试.如多次登录仍不能登录,请联系客服."});
    EXPECT_TRUE(IniSettings().accounts().empty());
}

}  // namespace
}  // namespace parvola
