// The mail transports over TLS against an in-process TLS server: a good
// certificate carries the login; a certificate for another host or from a CA
// nobody trusts is refused with a message that says so, and no credential,
// command or QUIT goes out before the handshake has succeeded.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mail/pop3_connection.h"
#include "mail/smtp_client.h"
#include "tests/mail/smtp_test_support.h"
#include "tests/mail/tls_test_peer.h"
#include "tests/support/scripted_peer.h"

namespace parvola {
namespace {

using test::ScriptedPeer;
using test::TestCertificates;
using test::TlsTestPeer;

// One set of certificates for the whole suite: a trusted CA with a server
// certificate for mail.sina.test and 127.0.0.1 and one for another host, and
// a CA that nobody trusts with a certificate for the right names.
class TlsTransport : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        certs_ = std::make_unique<TestCertificates>();
        ASSERT_TRUE(certs_->makeCa("trusted"));
        ASSERT_TRUE(certs_->makeCa("stranger"));
        ASSERT_TRUE(certs_->makeServer("good", "trusted", "DNS:mail.sina.test,IP:127.0.0.1"));
        ASSERT_TRUE(certs_->makeServer("othername", "trusted", "DNS:mail.other.test"));
        ASSERT_TRUE(certs_->makeServer("foreign", "stranger", "DNS:mail.sina.test,IP:127.0.0.1"));
    }
    static void TearDownTestSuite() { certs_.reset(); }

    static TlsSettings tls(TlsMode mode) { return {mode, certs_->pem("trusted")}; }

    static Pop3Connection* client(Pop3Connection& pop3, TlsMode mode) {
        pop3.setTimeout(std::chrono::milliseconds(5000));
        pop3.setTls(tls(mode));
        return &pop3;
    }

    // Nothing a server could use: no command, no credential, no QUIT.
    static void expectNothingSecret(const std::string& bytes) {
        for (const char* word : {"USER", "PASS", "secret", "AUTH", "MAIL", "QUIT", "s3cret",
                                 "czNjcmV0" /* s3cret in base64 */}) {
            EXPECT_EQ(bytes.find(word), std::string::npos) << word;
        }
    }

    static std::unique_ptr<TestCertificates> certs_;
};

std::unique_ptr<TestCertificates> TlsTransport::certs_;

TEST_F(TlsTransport, Pop3ImplicitLogsInUnderTlsOnly) {
    TlsTestPeer peer(certs_->pem("good"), certs_->key("good"));
    peer.greetSecured("+OK secure POP3 ready\r\n");
    Pop3Connection pop3;
    client(pop3, TlsMode::Implicit);
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start())) << pop3.lastReply();
    EXPECT_TRUE(pop3.Disconnect());
    peer.finish();
    EXPECT_TRUE(peer.handshakeSucceeded());
    EXPECT_EQ(peer.plaintext(), "");
    EXPECT_EQ(peer.secured(), "USER bob\r\nPASS secret\r\nQUIT\r\n");
}

TEST_F(TlsTransport, Pop3StlsUpgradesBeforeTheLogin) {
    TlsTestPeer peer(certs_->pem("good"), certs_->key("good"));
    peer.sayPlain("+OK POP3 ready\r\n").hearPlain().sayPlain("+OK begin TLS\r\n");
    Pop3Connection pop3;
    client(pop3, TlsMode::StartTls);
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start())) << pop3.lastReply();
    EXPECT_TRUE(pop3.Disconnect());
    peer.finish();
    EXPECT_EQ(peer.plaintext(), "STLS\r\n");
    EXPECT_EQ(peer.secured(), "USER bob\r\nPASS secret\r\nQUIT\r\n");
}

TEST_F(TlsTransport, Pop3RefusesCertificatesForAnotherHostOrFromAStrangeCa) {
    struct Case {
        const char* cert;
        const char* host;
        const char* why;
    };
    for (const Case& c : {Case{"othername", "127.0.0.1", "IP address mismatch"},
                          Case{"good", "localhost", "hostname mismatch"},
                          Case{"foreign", "127.0.0.1", "unable to get local issuer certificate"}}) {
        for (TlsMode mode : {TlsMode::Implicit, TlsMode::StartTls}) {
            SCOPED_TRACE(std::string(c.cert) + " " + c.host + " " + tlsModeName(mode));
            TlsTestPeer peer(certs_->pem(c.cert), certs_->key(c.cert));
            if (mode == TlsMode::StartTls)
                peer.sayPlain("+OK POP3 ready\r\n").hearPlain().sayPlain("+OK begin TLS\r\n");
            Pop3Connection pop3;
            client(pop3, mode);
            EXPECT_FALSE(pop3.Connect(c.host, "bob", "secret", peer.start()));
            peer.finish();
            EXPECT_EQ(pop3.lastError(), kErrorSecureChannel);
            EXPECT_NE(pop3.lastReply().find("certificate was refused"), std::string::npos)
                << pop3.lastReply();
            EXPECT_NE(pop3.lastReply().find(c.why), std::string::npos) << pop3.lastReply();
            EXPECT_FALSE(pop3.isConnected());
            EXPECT_FALSE(peer.handshakeSucceeded());
            EXPECT_EQ(peer.plaintext(), mode == TlsMode::StartTls ? "STLS\r\n" : "");
            expectNothingSecret(peer.afterFailure());
        }
    }
}

TEST_F(TlsTransport, Pop3ServerThatRefusesStlsNeverSeesTheLogin) {
    ScriptedPeer peer;
    peer.reply("+OK POP3 ready\r\n").expectLine("STLS\r\n").reply("-ERR not here\r\n");
    Pop3Connection pop3;
    client(pop3, TlsMode::StartTls);
    EXPECT_FALSE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(peer.transcript(), "STLS\r\n");
    EXPECT_EQ(pop3.lastError(), kErrorSecureChannel);
    EXPECT_NE(pop3.lastReply().find("-ERR not here"), std::string::npos) << pop3.lastReply();
}

TEST_F(TlsTransport, Pop3ImplicitAgainstAPlaintextServerSendsOnlyTheHandshake) {
    ScriptedPeer peer;
    peer.reply("+OK POP3 ready\r\n").silentUntilClientActs();
    Pop3Connection pop3;
    client(pop3, TlsMode::Implicit);
    EXPECT_FALSE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    peer.finish();
    EXPECT_EQ(pop3.lastError(), kErrorSecureChannel);
    const std::string sent = peer.transcript();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], '\x16');  // a TLS handshake record: the ClientHello
    expectNothingSecret(sent);
}

TEST_F(TlsTransport, SmtpRefusesCertificatesBeforeGreetingOrAuthentication) {
    struct Case {
        const char* cert;
        const char* host;
        const char* why;
    };
    for (const Case& c : {Case{"othername", "127.0.0.1", "IP address mismatch"},
                          Case{"good", "localhost", "hostname mismatch"},
                          Case{"foreign", "127.0.0.1", "unable to get local issuer certificate"}}) {
        for (TlsMode mode : {TlsMode::Implicit, TlsMode::StartTls}) {
            SCOPED_TRACE(std::string(c.cert) + " " + c.host + " " + tlsModeName(mode));
            TlsTestPeer peer(certs_->pem(c.cert), certs_->key(c.cert));
            if (mode == TlsMode::StartTls) {
                peer.sayPlain("220 mx ESMTP\r\n")
                    .hearPlain()
                    .sayPlain("250-mx Hello\r\n250-AUTH LOGIN\r\n250 STARTTLS\r\n")
                    .hearPlain()
                    .sayPlain("220 go ahead\r\n");
            }
            test::RecordingSmtp smtp(peer.start());
            smtp.setTimeout(std::chrono::seconds(5));
            smtp.setTls(tls(mode));
            EXPECT_EQ(smtp.Connect(c.host), 0);
            smtp.Close();
            peer.finish();
            EXPECT_NE(smtp.failureReply().find("certificate was refused"), std::string::npos)
                << smtp.failureReply();
            EXPECT_NE(smtp.failureReply().find(c.why), std::string::npos) << smtp.failureReply();
            EXPECT_EQ(smtp.failureCode(), -1);
            EXPECT_FALSE(smtp.isConnected());
            EXPECT_EQ(peer.plaintext(),
                      mode == TlsMode::StartTls ? test::ehloLine() + "STARTTLS\r\n" : "");
            expectNothingSecret(peer.afterFailure());
        }
    }
}

TEST_F(TlsTransport, SmtpServerWithoutStartTlsNeverSeesAuthentication) {
    ScriptedPeer peer;
    test::greetEsmtp(peer);
    test::RecordingSmtp smtp(peer.start());
    smtp.setTimeout(std::chrono::seconds(5));
    smtp.setTls(tls(TlsMode::StartTls));
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 0);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(peer.transcript(), test::ehloLine());
    EXPECT_NE(smtp.failureReply().find("does not offer STARTTLS"), std::string::npos);
}

TEST_F(TlsTransport, UnreadableCaFileIsSaidSo) {
    TlsTestPeer peer(certs_->pem("good"), certs_->key("good"));
    Pop3Connection pop3;
    pop3.setTimeout(std::chrono::milliseconds(5000));
    pop3.setTls({TlsMode::Implicit, "/no/such/ca.pem"});
    EXPECT_FALSE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    peer.finish();
    EXPECT_NE(pop3.lastReply().find("cannot read the CA file /no/such/ca.pem"), std::string::npos)
        << pop3.lastReply();
    EXPECT_EQ(peer.plaintext(), "");
}

TEST(TlsSettings, ModesReadFromText) {
    TlsMode mode = TlsMode::Implicit;
    EXPECT_TRUE(parseTlsMode("", mode));
    EXPECT_EQ(mode, TlsMode::None);
    EXPECT_TRUE(parseTlsMode(" STARTTLS ", mode));
    EXPECT_EQ(mode, TlsMode::StartTls);
    EXPECT_TRUE(parseTlsMode("stls", mode));
    EXPECT_EQ(mode, TlsMode::StartTls);
    EXPECT_TRUE(parseTlsMode("Implicit", mode));
    EXPECT_EQ(mode, TlsMode::Implicit);
    EXPECT_TRUE(parseTlsMode("plain", mode));
    EXPECT_EQ(mode, TlsMode::None);
    EXPECT_FALSE(parseTlsMode("yes", mode));
    EXPECT_EQ(mode, TlsMode::None);  // untouched
}

}  // namespace
}  // namespace parvola
