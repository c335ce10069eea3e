// TLS when the real server offers it, with the login guard on: Dovecot's
// STLS and Exim's STARTTLS are taken, so the login goes out secured; Exim's
// plaintext port offers nothing, so no AUTH goes out unless plain text is
// allowed.
#include <gtest/gtest.h>

#include "mail/pop3_connection.h"
#include "mail/smtp_client.h"
#include "tests/support/mail_stack.h"

namespace parvola::test {
namespace {

TlsSettings guarded(bool plaintextAllowed = false) {
    TlsSettings tls;
    tls.mode = TlsMode::StartTlsIfOffered;
    tls.caFile = MailStack::caFile();
    tls.plaintextLoginAllowed = plaintextAllowed;
    return tls;
}

struct TlsIfOffered : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(MailStack::running());
        user = MailStack::uniqueUser("offer");
        password = "pw" + user;
        ASSERT_TRUE(MailStack::addUser(user, password));
    }
    std::string user;
    std::string password;
};

TEST_F(TlsIfOffered, Pop3UpgradesWithStlsAndLogsIn) {
    Pop3Connection pop3;
    pop3.setTls(guarded());
    ASSERT_TRUE(pop3.Connect("127.0.0.1", user, password, MailStack::pop3StartTlsPort()))
        << pop3.lastReply();
    int count = -1;
    int total = -1;
    EXPECT_TRUE(pop3.Statistics(count, total));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(pop3.Disconnect());
}

TEST_F(TlsIfOffered, Pop3WrongPasswordIsTheServersRefusalNotTheGuards) {
    Pop3Connection pop3;
    pop3.setTls(guarded());
    EXPECT_FALSE(
        pop3.Connect("127.0.0.1", user, "wrong" + password, MailStack::pop3StartTlsPort()));
    EXPECT_EQ(pop3.lastError(), kErrorBadReply);
    EXPECT_EQ(pop3.lastReply().rfind("-ERR", 0), 0u) << pop3.lastReply();
}

TEST_F(TlsIfOffered, SmtpUpgradesWithStartTlsAndAuthenticates) {
    SmtpClient smtp;
    smtp.setPort(MailStack::smtpStartTlsPort());
    smtp.setTls(guarded());
    smtp.setCredentials(user, password);
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1) << smtp.failureReply();
    // Exim offers AUTH only over TLS on this port, and MAIL FROM after a
    // successful AUTH is accepted.
    EXPECT_EQ(smtp.SendCmd("MAIL FROM:<" + user + "@sina.test>\r\n"), 250) << smtp.lastReply();
    EXPECT_EQ(smtp.SendCmd("RSET\r\n"), 250);
    smtp.Close();
}

TEST_F(TlsIfOffered, SmtpPlainPortGetsNoAuthUnlessPlainTextIsAllowed) {
    SmtpClient refused;
    refused.setPort(MailStack::smtpPort());
    refused.setTls(guarded());
    refused.setCredentials(user, password);
    EXPECT_EQ(refused.Connect("127.0.0.1"), 0);
    EXPECT_EQ(refused.failureStep(), "login");
    EXPECT_NE(refused.failureReply().find("offers no TLS: the password was not sent"),
              std::string::npos)
        << refused.failureReply();

    SmtpClient allowed;
    allowed.setPort(MailStack::smtpPort());
    allowed.setTls(guarded(true));
    allowed.setCredentials(user, password);
    ASSERT_EQ(allowed.Connect("127.0.0.1"), 1) << allowed.failureReply();
    EXPECT_EQ(allowed.SendCmd("MAIL FROM:<" + user + "@sina.test>\r\n"), 250)
        << allowed.lastReply();
    allowed.Close();
}

}  // namespace
}  // namespace parvola::test
