// Login verification against the real stand-in web service on loopback.
#include <gtest/gtest.h>

#include "mail/mailbox_account.h"
#include "platform/notice_box.h"
#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

class VerifyLoginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(site_.started());
        site_.pointClientHere(home_.path());
        ASSERT_TRUE(site_.addUser("张三@parvola.test", "Secret", "zhang@sohu.test", "mbpw", true));
    }

    test::AppHome home_;
    test::SiteProcess site_;
    ScopedRecordingNoticeBox notices_;
};

TEST_F(VerifyLoginTest, KnownUserFillsTheAccountAndChoosesTheServers) {
    MailboxAccount account("张三@parvola.test", "Secret");
    ASSERT_EQ(account.VerifyLogin(), 0);
    EXPECT_TRUE(notices_.messages().empty());
    EXPECT_EQ(account.loginAddress, "张三@parvola.test");
    EXPECT_EQ(account.mailboxAddress, "zhang@sohu.test");
    EXPECT_EQ(account.mailboxPassword, "mbpw");
    EXPECT_EQ(account.mailboxUser, "zhang");
    EXPECT_EQ(account.catalogFlag, 1000);
    EXPECT_EQ(account.smtpHost, "smtp.sohu.com");
    EXPECT_EQ(account.pop3Host, "pop3.sohu.com");
    // The service saw the login form with the address in the wire code page,
    // and decoded it back to the same text.
    auto logins = site_.log("login");
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].form.rfind("action=login&email=张三@parvola.test&ip=", 0), 0u);
}

TEST_F(VerifyLoginTest, WrongPasswordCaseAndUnknownUserShowTheWrongPasswordMessage) {
    MailboxAccount lowerCase("张三@parvola.test", "secret");
    EXPECT_EQ(lowerCase.VerifyLogin(), -1);
    EXPECT_EQ(lowerCase.loginAddress, "");
    MailboxAccount unknown("nobody@parvola.test", "");
    EXPECT_EQ(unknown.VerifyLogin(), -1);
    EXPECT_EQ(
        notices_.messages(),
        (std::vector<std::string>{"张三@parvola.test的用户名或密码错误,请确认后再次登录。",
                                  "nobody@parvola.test的用户名或密码错误,请确认后再次登录。"}));
}

TEST_F(VerifyLoginTest, CatalogFlagZeroAndUnmatchedDomain) {
    ASSERT_TRUE(site_.addUser("li@parvola.test", "pw", "li@example.org", "x", false));
    MailboxAccount account("li@parvola.test", "pw");
    ASSERT_EQ(account.VerifyLogin(), 0);
    EXPECT_EQ(account.catalogFlag, 0);
    EXPECT_EQ(account.smtpHost, "");  // no provider row: the first connection will fail
    EXPECT_EQ(account.pop3Host, "");
}

TEST(VerifyLoginUnreachable, ShowsTheNetworkMessage) {
    test::AppHome home;
    // A loopback port that nothing listens on.
    test::writeFile(home.path() / "deploy.ini", "[site]\nbase=http://127.0.0.1:9\n");
    ScopedRecordingNoticeBox notices;
    MailboxAccount account("a@b", "c");
    EXPECT_EQ(account.VerifyLogin(), -1);
    EXPECT_EQ(notices.messages(),
              (std::vector<std::string>{"网络问题,请稍后再试.如多次登录仍不能登录,请联系客服."}));
}

}  // namespace
}  // namespace parvola
