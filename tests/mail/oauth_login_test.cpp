// OAuth 2 bearer tokens on the three protocols, against scripted servers:
// the test mail server takes no token, and a refusal with an error challenge
// is only ever produced on demand.
#include <gtest/gtest.h>

#include "mail/imap_connection.h"
#include "mail/pop3_connection.h"
#include "mail/sasl_oauth.h"
#include "tests/mail/pop3_script.h"
#include "tests/mail/smtp_test_support.h"

namespace parvola::test {
namespace {

// {"status":"401","schemes":"bearer"}, as the providers send it.
constexpr const char* kExpiredChallenge = "eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIn0=";
// "user=me@example.org^Aauth=Bearer tok-1^A^A", encoded by Python's base64.
constexpr const char* kXOAuth2Tok1 = "dXNlcj1tZUBleGFtcGxlLm9yZwFhdXRoPUJlYXJlciB0b2stMQEB";

std::string oauthBearerPayload(int port) {
    return base64Encode("n,a=me@example.org,\x01host=127.0.0.1\x01port=" + std::to_string(port) +
                        "\x01"
                        "auth=Bearer tok-1\x01\x01");
}

TEST(OAuthLogin, ImapExpiredTokenIsRefusedAfterTheChallengeIsAcknowledged) {
    ScriptedPeer peer;
    peer.reply("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2 AUTH=OAUTHBEARER] hi\r\n");
    const int port = peer.port();
    peer.expectLine("A1 AUTHENTICATE OAUTHBEARER " + oauthBearerPayload(port) + "\r\n")
        .reply(std::string("+ ") + kExpiredChallenge + "\r\n")
        .expectLine("AQ==\r\n")
        .reply("A1 NO [AUTHENTICATIONFAILED] Invalid credentials\r\n");
    peer.start();
    ImapConnection imap;
    imap.setBearerToken(true);
    EXPECT_FALSE(imap.Connect("127.0.0.1", port, "me@example.org", "tok-1"));
    EXPECT_TRUE(imap.loginRefused());
    EXPECT_EQ(imap.lastReply(),
              "NO [AUTHENTICATIONFAILED] Invalid credentials "
              "({\"status\":\"401\",\"schemes\":\"bearer\"})");
    EXPECT_EQ(peer.finish(), "");

    // Without SASL-IR and with XOAUTH2 alone: the token follows the go-ahead.
    ScriptedPeer second;
    second.reply("* OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2] hi\r\n")
        .expectLine("A1 AUTHENTICATE XOAUTH2\r\n")
        .reply("+ \r\n")
        .expectLine(std::string(kXOAuth2Tok1) + "\r\n")
        .reply("A1 OK [CAPABILITY IMAP4rev1 UIDPLUS] welcome\r\n")
        .expectLine("A2 LOGOUT\r\n")
        .reply("* BYE\r\nA2 OK\r\n");
    ImapConnection fresh;
    fresh.setBearerToken(true);
    ASSERT_TRUE(fresh.Connect("127.0.0.1", second.start(), "me@example.org", "tok-1"))
        << fresh.lastReply() << "\n"
        << second.finish();
    EXPECT_TRUE(fresh.Logout());
    EXPECT_EQ(second.finish(), "");
}

TEST(OAuthLogin, ServersWithoutAnOAuthMechanismAreNeverSentTheToken) {
    ScriptedPeer imapPeer;
    imapPeer.reply("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] hi\r\n");
    ImapConnection imap;
    imap.setBearerToken(true);
    EXPECT_FALSE(imap.Connect("127.0.0.1", imapPeer.start(), "me@example.org", "tok-1"));
    EXPECT_FALSE(imap.loginRefused());
    EXPECT_EQ(imap.lastReply(),
              "the IMAP server takes no OAuth 2 token (it offers neither AUTHENTICATE "
              "OAUTHBEARER nor XOAUTH2)");
    imap.Drop();
    EXPECT_EQ(imapPeer.finish(), "");
    EXPECT_EQ(imapPeer.transcript().find("tok"), std::string::npos);

    ScriptedPeer popPeer;
    popPeer.reply("+OK ready\r\n")
        .expectLine("CAPA\r\n")
        .reply("+OK\r\nUSER\r\nSASL PLAIN LOGIN\r\n.\r\n");
    scriptQuit(popPeer);
    Pop3Connection pop3;
    pop3.setBearerToken(true);
    EXPECT_FALSE(pop3.Connect("127.0.0.1", "me@example.org", "tok-1", popPeer.start()));
    EXPECT_EQ(pop3.lastReply(),
              "the POP3 server takes no OAuth 2 token (its CAPA lists neither SASL OAUTHBEARER "
              "nor XOAUTH2)");
    EXPECT_EQ(popPeer.finish(), "");
}

TEST(OAuthLogin, Pop3AndSmtpSendTheTokenAndReportAnExpiredOne) {
    // A token is longer than a POP3 password may be.
    const std::string longToken(400, 'x');
    ScriptedPeer popPeer;
    popPeer.reply("+OK ready\r\n")
        .expectLine("CAPA\r\n")
        .reply("+OK\r\nTOP\r\nSASL PLAIN XOAUTH2\r\nUIDL\r\n.\r\n")
        .expectLine("AUTH XOAUTH2 " +
                    base64Encode("user=me@example.org\x01"
                                 "auth=Bearer " +
                                 longToken + "\x01\x01") +
                    "\r\n")
        .reply("+OK welcome\r\n");
    scriptQuit(popPeer);
    Pop3Connection pop3;
    pop3.setBearerToken(true);
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "me@example.org", longToken, popPeer.start()))
        << pop3.lastReply();
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(popPeer.finish(), "");

    ScriptedPeer smtpPeer;
    smtpPeer.reply("220 mx ESMTP\r\n")
        .expectLine(ehloLine())
        .reply("250-mx\r\n250-AUTH PLAIN LOGIN XOAUTH2\r\n250 SIZE 1000\r\n")
        .expectLine(std::string("AUTH XOAUTH2 ") + kXOAuth2Tok1 + "\r\n")
        .reply(std::string("334 ") + kExpiredChallenge + "\r\n")
        .expectLine("\r\n")
        .reply("535 5.7.8 Username and Password not accepted\r\n");
    quit(smtpPeer);
    RecordingSmtp smtp(smtpPeer.start(), "me@example.org", "tok-1");
    smtp.setBearerToken(true);
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    EXPECT_TRUE(smtp.loginRefused());
    EXPECT_EQ(smtp.failureCode(), 535);
    EXPECT_EQ(smtp.failureReply(),
              "535 5.7.8 Username and Password not accepted"
              " ({\"status\":\"401\",\"schemes\":\"bearer\"})");
    smtp.Close();
    EXPECT_EQ(smtpPeer.finish(), "");
}

}  // namespace
}  // namespace parvola::test
