// Login verification against the real stand-in web service on loopback.
#include <gtest/gtest.h>

#include "app/login_verification.h"
#include "platform/notice_box.h"
#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

class LoginVerificationTest : public ::testing::Test {
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

TEST_F(LoginVerificationTest, KnownUserFillsTheAccountAndChoosesTheServers) {
    MailboxAccount account("张三@parvola.test", "Secret");
    ASSERT_EQ(verifyLogin(account), LoginVerification::Verified);
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

TEST_F(LoginVerificationTest, WrongPasswordCaseAndUnknownUserLeaveTheAccountAsItWas) {
    MailboxAccount lowerCase("张三@parvola.test", "secret");
    EXPECT_EQ(verifyLogin(lowerCase), LoginVerification::WrongPassword);
    EXPECT_EQ(lowerCase.loginAddress, "");
    EXPECT_EQ(lowerCase.mailboxAddress, "");
    EXPECT_EQ(lowerCase.smtpHost, "");
    MailboxAccount unknown("nobody@parvola.test", "");
    EXPECT_EQ(verifyLogin(unknown), LoginVerification::WrongPassword);
    // The layer below the login flow shows nothing; the flow words it.
    EXPECT_TRUE(notices_.messages().empty());
}

TEST_F(LoginVerificationTest, CatalogFlagZeroAndUnmatchedDomain) {
    ASSERT_TRUE(site_.addUser("li@parvola.test", "pw", "li@example.org", "x", false));
    MailboxAccount account("li@parvola.test", "pw");
    ASSERT_EQ(verifyLogin(account), LoginVerification::Verified);
    EXPECT_EQ(account.catalogFlag, 0);
    EXPECT_EQ(account.smtpHost, "");  // no provider row: the first connection will fail
    EXPECT_EQ(account.pop3Host, "");
}

TEST(LoginVerificationUnreachable, SaysTheServiceCouldNotBeAsked) {
    test::AppHome home;
    // A loopback port that nothing listens on.
    test::writeFile(home.path() / "deploy.ini", "[site]\nbase=http://127.0.0.1:9\n");
    ScopedRecordingNoticeBox notices;
    MailboxAccount account("a@b", "c");
    EXPECT_EQ(verifyLogin(account), LoginVerification::ServiceUnreachable);
    EXPECT_TRUE(notices.messages().empty());
}

}  // namespace
}  // namespace parvola
