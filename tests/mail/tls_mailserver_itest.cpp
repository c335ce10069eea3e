// Storing and reading a piece mail over TLS with the real mail server, in
// both ways of securing a connection, with the TLS modes and the CA file
// taken from deploy.ini through the account; and the server's certificate
// refused when it names another host or comes from a CA we do not trust.
#include <gtest/gtest.h>

#include "mail/mailbox_account.h"
#include "mail/mime_reader_text.h"
#include "mail/pop3_connection.h"
#include "mail/smtp_client.h"
#include "mail/smtp_message.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

struct Mode {
    const char* smtpTls;
    int smtpPort;
    const char* pop3Tls;
    int pop3Port;
};

class TlsMailServer : public ::testing::TestWithParam<Mode> {};

TEST_P(TlsMailServer, PieceMailStoredAndReadBackThroughTheAccountsSettings) {
    ASSERT_TRUE(MailStack::running());
    const Mode mode = GetParam();
    const std::string user = MailStack::uniqueUser("tls");
    const std::string password = "pw" + user;
    ASSERT_TRUE(MailStack::addUser(user, password));
    const std::string address = user + "@sina.test";

    AppHome home;
    writeFile(home.path() / "deploy.ini",
              "[sina]\nsmtp=127.0.0.1\npop3=127.0.0.1\nsmtp_port=" + std::to_string(mode.smtpPort) +
                  "\npop3_port=" + std::to_string(mode.pop3Port) + "\nsmtp_tls=" + mode.smtpTls +
                  "\npop3_tls=" + mode.pop3Tls + "\n[tls]\nca_file=" + MailStack::caFile() + "\n");
    MailboxAccount account;
    account.SelectProvider(address);
    ASSERT_EQ(account.smtpHost, "127.0.0.1");
    ASSERT_EQ(account.smtpPort, mode.smtpPort);
    TlsMode expected = TlsMode::None;
    ASSERT_TRUE(parseTlsMode(mode.smtpTls, expected));
    EXPECT_EQ(account.smtpTls.mode, expected);
    ASSERT_TRUE(parseTlsMode(mode.pop3Tls, expected));
    EXPECT_EQ(account.pop3Tls.mode, expected);
    EXPECT_EQ(account.pop3Tls.caFile, MailStack::caFile());

    TempDir dir;
    const std::string fileName = "piece.bin";
    const std::string bytes = randomBytes(700 * 1024 + 3, 7);
    writeFile(dir / fileName, bytes);
    SmtpMessage message;
    message.setSender(SmtpAddress(address, address));
    message.setRecipient(SmtpAddress(address, address));
    message.setSubject("secure piece");
    message.addBody(SmtpMessageBody("Stored piece.", "text/plain", "iso-8859-1"));
    message.addFile(SmtpFilePart((dir / fileName).string(), "", false, "", "iso-8859-1"));

    SmtpClient smtp;
    smtp.setPort(account.smtpPort);
    smtp.setTls(account.smtpTls);
    smtp.setCredentials(account.mailboxUser, password);
    ASSERT_EQ(smtp.Connect(account.smtpHost), 1) << smtp.lastReply();
    EXPECT_TRUE(smtp.sizeAnnounced());
    ASSERT_EQ(smtp.SendMessage(message, -1), 0) << smtp.lastReply();
    smtp.Close();

    Pop3Connection pop3;
    pop3.setTls(account.pop3Tls);
    ASSERT_TRUE(pop3.Connect(account.pop3Host, account.mailboxUser, password, account.pop3Port))
        << pop3.lastReply();
    int count = 0;
    int total = 0;
    ASSERT_TRUE(pop3.Statistics(count, total));
    ASSERT_EQ(count, 1);
    std::string header;
    ASSERT_TRUE(pop3.GetMessageHeader(1, header));
    EXPECT_EQ(MimeMessageText(header).GetSubject(), "secure piece");
    TempDir out;
    EXPECT_EQ(pop3.SaveAttachments(1, out.str()), 0);
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_TRUE(readFile(out / fileName) == bytes);
}

INSTANTIATE_TEST_SUITE_P(Modes, TlsMailServer,
                         ::testing::Values(Mode{"implicit", MailStack::smtpsPort(), "implicit",
                                                MailStack::pop3sPort()},
                                           Mode{"starttls", MailStack::smtpStartTlsPort(), "stls",
                                                MailStack::pop3StartTlsPort()}));

TEST(TlsMailServerRefusals, WrongHostNameOrUntrustedCaEndsTheConnectionWithTheReason) {
    ASSERT_TRUE(MailStack::running());
    const std::string user = MailStack::uniqueUser("tlsno");
    const std::string password = "pw" + user;
    ASSERT_TRUE(MailStack::addUser(user, password));
    struct Case {
        const char* host;
        std::string caFile;
        const char* why;
    };
    // The server's certificate names 127.0.0.1 but not "localhost"; without
    // the test CA nothing vouches for it.
    for (const Case& c : {Case{"localhost", MailStack::caFile(), "hostname mismatch"},
                          Case{"127.0.0.1", "", "unable to get local issuer certificate"}}) {
        for (TlsMode mode : {TlsMode::Implicit, TlsMode::StartTls}) {
            SCOPED_TRACE(std::string(c.host) + " " + tlsModeName(mode));
            SmtpClient smtp;
            smtp.setPort(mode == TlsMode::Implicit ? MailStack::smtpsPort()
                                                   : MailStack::smtpStartTlsPort());
            smtp.setTls({mode, c.caFile});
            smtp.setCredentials(user, password);
            EXPECT_EQ(smtp.Connect(c.host), 0);
            EXPECT_NE(smtp.failureReply().find("certificate was refused"), std::string::npos)
                << smtp.failureReply();
            EXPECT_NE(smtp.failureReply().find(c.why), std::string::npos) << smtp.failureReply();
            EXPECT_EQ(smtp.failureReply().find(password), std::string::npos);

            Pop3Connection pop3;
            pop3.setTls({mode, c.caFile});
            EXPECT_FALSE(pop3.Connect(c.host, user, password,
                                      mode == TlsMode::Implicit ? MailStack::pop3sPort()
                                                                : MailStack::pop3StartTlsPort()));
            EXPECT_EQ(pop3.lastError(), kErrorSecureChannel);
            EXPECT_NE(pop3.lastReply().find(c.why), std::string::npos) << pop3.lastReply();
        }
    }
}

TEST(TlsMailServerRefusals, StartTlsWantedOnThePlaintextSmtpPortIsRefusedNotDowngraded) {
    ASSERT_TRUE(MailStack::running());
    SmtpClient smtp;
    smtp.setPort(MailStack::smtpPort());
    smtp.setTls({TlsMode::StartTls, MailStack::caFile()});
    smtp.setCredentials("nobody", "unused");
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 0);
    EXPECT_NE(smtp.failureReply().find("does not offer STARTTLS"), std::string::npos)
        << smtp.failureReply();
}

}  // namespace
}  // namespace parvola::test
