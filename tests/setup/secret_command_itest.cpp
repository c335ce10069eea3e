// Secrets from commands used for real logins: a password command against the
// real IMAP server, and a token command whose first token a server refuses
// as expired (scripted: the test server takes no tokens).
#include <gtest/gtest.h>

#include "mail/base64.h"
#include "mail/imap_connection.h"
#include "mail/imap_mailbox.h"
#include "mail/login_secret.h"
#include "mail/pop3_smtp_mailbox.h"
#include "platform/secret_command.h"
#include "tests/support/command.h"
#include "tests/support/mail_stack.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

using test::MailStack;

SecretAttempt imapLogin(ImapConnection& imap, int port, const std::string& user,
                        const std::string& secret, const TlsSettings& tls) {
    imap.setTls(tls);
    if (imap.Connect("127.0.0.1", port, user, secret))
        return SecretAttempt::Done;
    return imap.loginRefused() ? SecretAttempt::Refused : SecretAttempt::Failed;
}

// The account's password comes from the command at each login, over IMAP
// and POP3 alike; a command that fails is named in the failure.
TEST(SecretCommandLogin, PasswordCommandLogsTheMailboxesInToTheRealServerOverTls) {
    const std::string user = MailStack::uniqueUser("pwcmd");
    ASSERT_TRUE(MailStack::addUser(user, "fromTheStore7"));
    test::TempDir dir;
    const std::string store = (dir / "store").string();
    test::writeFile(store, "fromTheStore7\nmetadata: more\n");
    MailboxAccount account;
    account.direct = true;
    account.mailboxUser = user;
    account.mailboxAddress = user + "@sina.test";
    account.reader = MailboxReader::Imap;
    account.imapHost = account.pop3Host = account.smtpHost = "127.0.0.1";
    account.imapPort = MailStack::imapsPort();
    account.pop3Port = MailStack::pop3sPort();
    account.smtpPort = MailStack::smtpsPort();
    account.imapTls = account.pop3Tls = account.smtpTls =
        TlsSettings{TlsMode::Implicit, MailStack::caFile(), false};
    account.fetchSecret = secretCommandFetch("cat " + test::shellQuote(store));
    ImapMailbox imap(account);
    ASSERT_TRUE(imap.open()) << imap.failureText();
    imap.close();
    Pop3SmtpMailbox pop3(account);
    ASSERT_TRUE(pop3.open()) << pop3.failureText();
    pop3.close();

    account.fetchSecret = secretCommandFetch("echo 'pass: store is locked' >&2; exit 1");
    ImapMailbox locked(account);
    EXPECT_FALSE(locked.open());
    EXPECT_EQ(locked.failureText(),
              "IMAP 127.0.0.1:" + std::to_string(MailStack::imapsPort()) +
                  ", password command: the command ended with status 1: pass: store is locked");
}

TEST(SecretCommandLogin, ATokenRefusedAsExpiredIsAskedForOnceMore) {
    test::TempDir dir;
    const std::string counter = (dir / "count").string();
    // A token helper that hands out tok-1, tok-2, ... one per run.
    const std::string command = "n=$(cat " + counter +
                                " 2>/dev/null || echo 0); n=$((n+1)); echo $n > " + counter +
                                "; echo tok-$n";
    auto payload = [](const std::string& token) {
        return base64Encode(
            "user=me@example.org\x01"
            "auth=Bearer " +
            token + "\x01\x01");
    };
    test::ScriptedPeer peer;
    peer.reply("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] hi\r\n")
        .expectLine("A1 AUTHENTICATE XOAUTH2 " + payload("tok-1") + "\r\n")
        .reply("+ eyJzdGF0dXMiOiI0MDEifQ==\r\n")
        .expectLine("\r\n")
        .reply("A1 NO [AUTHENTICATIONFAILED] Invalid credentials\r\n")
        .acceptNext()
        .reply("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] hi\r\n")
        .expectLine("A1 AUTHENTICATE XOAUTH2 " + payload("tok-2") + "\r\n")
        .reply("A1 OK [CAPABILITY IMAP4rev1] welcome\r\n")
        .expectLine("A2 LOGOUT\r\n")
        .reply("* BYE\r\nA2 OK\r\n");
    const int port = peer.start();
    std::string failure;
    ImapConnection* last = nullptr;
    std::vector<std::unique_ptr<ImapConnection>> connections;
    const SecretAttempt result = loginWithFreshSecret(
        secretCommandFetch(command),
        [&](const std::string& token) {
            connections.push_back(std::make_unique<ImapConnection>());
            last = connections.back().get();
            last->setBearerToken(true);
            const SecretAttempt attempt = imapLogin(*last, port, "me@example.org", token, {});
            if (attempt != SecretAttempt::Done)
                last->Drop();
            return attempt;
        },
        failure);
    ASSERT_EQ(result, SecretAttempt::Done) << failure;
    EXPECT_TRUE(last->Logout());
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(test::readFile(counter), "2\n");

    // Refused again with the fresh token: the failure is shown, no third try.
    test::ScriptedPeer refusing;
    for (int round = 1; round <= 2; ++round) {
        if (round == 2)
            refusing.acceptNext();
        refusing.reply("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] hi\r\n")
            .expectLine("A1 AUTHENTICATE XOAUTH2 " + payload("tok-" + std::to_string(round + 2)) +
                        "\r\n")
            .reply("A1 NO [AUTHENTICATIONFAILED] Invalid credentials\r\n");
    }
    const int refusingPort = refusing.start();
    EXPECT_EQ(loginWithFreshSecret(
                  secretCommandFetch(command),
                  [&](const std::string& token) {
                      ImapConnection imap;
                      imap.setBearerToken(true);
                      return imapLogin(imap, refusingPort, "me@example.org", token, {});
                  },
                  failure),
              SecretAttempt::Refused);
    EXPECT_EQ(failure, "the server refused the secret twice, the second time a fresh one");
    EXPECT_EQ(refusing.finish(), "");
    EXPECT_EQ(refusing.connections(), 2);
}

}  // namespace
}  // namespace parvola
