// The login guard against scripted servers, where the test can see every
// byte the client sent: a server that offers no TLS gets no USER, PASS or
// AUTH unless the account allows plain text, and the failure says why.
#include <gtest/gtest.h>

#include "mail/pop3_connection.h"
#include "tests/mail/pop3_script.h"
#include "tests/mail/smtp_test_support.h"

namespace parvola::test {
namespace {

TlsSettings ifOffered(bool plaintextAllowed) {
    TlsSettings tls;
    tls.mode = TlsMode::StartTlsIfOffered;
    tls.plaintextLoginAllowed = plaintextAllowed;
    return tls;
}

TEST(PlaintextGuard, Pop3WithoutStlsSendsNoCredentialsAndSaysWhy) {
    ScriptedPeer peer;
    peer.reply("+OK POP3 ready\r\n")
        .expectLine("CAPA\r\n")
        .reply("+OK\r\nUSER\r\nUIDL\r\nTOP\r\n.\r\n");
    scriptQuit(peer);
    const int port = peer.start();
    Pop3Connection pop3;
    pop3.setTls(ifOffered(false));
    EXPECT_FALSE(pop3.Connect("127.0.0.1", "bob@sina.test", "secret", port));
    EXPECT_EQ(pop3.lastError(), kErrorPlaintextRefused);
    EXPECT_NE(pop3.lastReply().find("POP3 server 127.0.0.1:" + std::to_string(port) +
                                    " offers no TLS: the password was not sent"),
              std::string::npos)
        << pop3.lastReply();
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(peer.transcript().find("USER"), std::string::npos);
    EXPECT_EQ(peer.transcript().find("secret"), std::string::npos);
}

TEST(PlaintextGuard, Pop3WithPlainTextAllowedLogsInWhenCapaIsRefused) {
    ScriptedPeer plain;
    plain.reply("+OK POP3 ready\r\n")
        .expectLine("CAPA\r\n")
        .reply("-ERR unknown command\r\n")
        .expectLine("USER bob\r\n")
        .reply("+OK\r\n")
        .expectLine("PASS secret\r\n")
        .reply("+OK logged in\r\n");
    scriptQuit(plain);
    const int port = plain.start();
    Pop3Connection pop3;
    pop3.setTls(ifOffered(true));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", port)) << pop3.lastReply();
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(plain.finish(), "");
}

TEST(PlaintextGuard, SmtpWithoutStartTlsSendsNoAuthAndSaysWhy) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    quit(peer);
    const int port = peer.start();
    RecordingSmtp smtp(port);
    smtp.setTls(ifOffered(false));
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 0);
    EXPECT_EQ(smtp.failureStep(), "login");
    EXPECT_EQ(smtp.failureSocketError(), kErrorPlaintextRefused);
    EXPECT_NE(smtp.failureReply().find("SMTP server 127.0.0.1:" + std::to_string(port) +
                                       " offers no TLS: the password was not sent"),
              std::string::npos)
        << smtp.failureReply();
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(peer.transcript().find("AUTH"), std::string::npos);
}

TEST(PlaintextGuard, SmtpWithPlainTextAllowedAuthenticates) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    quit(peer);
    const int port = peer.start();
    RecordingSmtp smtp(port);
    smtp.setTls(ifOffered(true));
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1) << smtp.failureReply();
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

}  // namespace
}  // namespace parvola::test
