// Accounts that name their own servers, end to end through parvola-cli:
// one `login --direct` command, then the usual commands with nothing more;
// POP3 and SMTP against the real server, in plain text when allowed and
// over TLS with the test CA; the guard that keeps a password off a server
// without TLS; and pieces cut below a server's announced size limit.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/cli_runner.h"
#include "tests/faults/private_mail_stack.h"
#include "tests/support/mail_stack.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

std::string url(const char* scheme, int port) {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
}

class CliDirectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(MailStack::running());
        user_ = MailStack::uniqueUser("direct");
        ASSERT_TRUE(MailStack::addUser(user_, password_));
        // The whole address is the mailbox user of a direct account.
        address_ = user_ + "@sina.test";
        trustTestCa(home_);
    }
    // No web service at all: deploy.ini names only the CA to trust.
    static void trustTestCa(const TempDir& home) {
        writeFile(home / "deploy.ini", "[tls]\nca_file=" + MailStack::caFile() + "\n");
    }
    CliResult cli(const std::vector<std::string>& args, const std::string& input = "") {
        return runCli(home_.str(), args, input);
    }
    std::vector<std::string> tlsLogin() const {
        return {"login",  "--direct",
                address_, "--password-stdin",
                "--pop3", url("pop3s", MailStack::pop3sPort()),
                "--smtp", url("smtps", MailStack::smtpsPort())};
    }

    TempDir home_{"parvola-direct-home"};
    TempDir files_{"parvola-direct-files"};
    std::string user_;
    std::string password_ = "Mailbox-pw1";
    std::string address_;
};

TEST_F(CliDirectTest, TlsAccountStoresListsReadsDeletesAndASecondDirectorySeesTheStore) {
    CliResult login = cli(tlsLogin(), password_ + "\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
    EXPECT_NE(login.out.find("logged in: " + address_), std::string::npos) << login.out;
    EXPECT_NE(login.out.find("pop3:      " + url("pop3s", MailStack::pop3sPort())),
              std::string::npos)
        << login.out;
    // The settings are remembered in config.ini, the password only where
    // every account's is (the "user" list), never in the account's section.
    const std::string config = readFile(home_.path() / "config.ini");
    const size_t section = config.find("[direct " + address_ + "]");
    ASSERT_NE(section, std::string::npos) << config;
    EXPECT_EQ(config.find(password_, section), std::string::npos);

    // Later commands need nothing more: no site, no password.
    const std::string bytes = randomBytes(200 * 1024 + 17, 5);
    writeFile(files_ / "notes.bin", bytes);
    CliResult store = cli({"store", (files_ / "notes.bin").string(), "--folder", "我的文档"});
    ASSERT_EQ(store.exitCode, 0) << store.err;
    CliResult ls = cli({"ls", "我的文档"});
    ASSERT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_NE(ls.out.find("notes.bin"), std::string::npos) << ls.out;

    TempDir saves("parvola-direct-saves");
    CliResult read = cli({"read", "我的文档/notes.bin", "--to", saves.str()});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_TRUE(readFile(saves / "notes.bin") == bytes);

    // A second application directory: the same one command finds the store
    // the first one mailed (same catalog mail, keyed by the address).
    TempDir second("parvola-direct-second");
    trustTestCa(second);
    std::vector<std::string> args = tlsLogin();
    CliResult login2 = runCli(second.str(), args, password_ + "\n");
    ASSERT_EQ(login2.exitCode, 0) << login2.err;
    CliResult ls2 = runCli(second.str(), {"ls", "我的文档"});
    EXPECT_NE(ls2.out.find("notes.bin"), std::string::npos) << ls2.out << ls2.err;

    EXPECT_EQ(cli({"rm", "我的文档/notes.bin"}).exitCode, 0);
    CliResult purge = cli({"purge", "我的文档/notes.bin", "--yes"});
    EXPECT_EQ(purge.exitCode, 0) << purge.err;
    EXPECT_EQ(cli({"ls", "我的文档"}).out.find("notes.bin"), std::string::npos);
    EXPECT_EQ(cli({"bin"}).out, "");
}

TEST_F(CliDirectTest, WrongPasswordIsTheMailboxsRefusalInClearWords) {
    CliResult login = cli(tlsLogin(), "not-the-password\n");
    EXPECT_EQ(login.exitCode, 1);
    EXPECT_NE(login.err.find(address_ + "的用户名或密码错误"), std::string::npos) << login.err;
    EXPECT_NE(login.err.find("login: -ERR"), std::string::npos) << login.err;
    EXPECT_EQ(login.err.find("not-the-password"), std::string::npos);
    // Nothing is remembered of a login that failed.
    EXPECT_EQ(readFile(home_.path() / "config.ini").find("[direct "), std::string::npos);
}

TEST_F(CliDirectTest, PlainSmtpNeedsAllowPlaintextAndNothingSecretGoesOutWithoutIt) {
    // Exim's plaintext port offers no STARTTLS. Without --allow-plaintext
    // the login works (POP3 is upgraded with STLS) but a store is refused
    // before AUTH, with the guard's words.
    const std::vector<std::string> plain = {"login",  "--direct",
                                            address_, "--password-stdin",
                                            "--pop3", url("pop3", MailStack::pop3StartTlsPort()),
                                            "--smtp", url("smtp", MailStack::smtpPort())};
    CliResult login = cli(plain, password_ + "\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
    writeFile(files_ / "a.txt", "small file\n");
    CliResult refused = cli({"store", (files_ / "a.txt").string(), "--folder", "我的文档"});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("offers no TLS: the password was not sent in plain text"),
              std::string::npos)
        << refused.err;

    std::vector<std::string> allowed = plain;
    allowed.push_back("--allow-plaintext");
    TempDir other("parvola-direct-plain");
    trustTestCa(other);
    ASSERT_EQ(runCli(other.str(), allowed, password_ + "\n").exitCode, 0);
    CliResult stored =
        runCli(other.str(), {"store", (files_ / "a.txt").string(), "--folder", "我的文档"});
    EXPECT_EQ(stored.exitCode, 0) << stored.err;
    EXPECT_NE(runCli(other.str(), {"ls", "我的文档"}).out.find("a.txt"), std::string::npos);
}

TEST_F(CliDirectTest, PlainPop3ServerGetsNoPasswordAndTheLoginSaysWhy) {
    // A server that offers neither TLS nor STLS, where the test sees every
    // byte: the client asks CAPA and leaves.
    ScriptedPeer peer;
    peer.reply("+OK ready\r\n")
        .expectLine("CAPA\r\n")
        .reply("+OK\r\nUSER\r\nUIDL\r\n.\r\n")
        .expectLine("QUIT\r\n")
        .reply("+OK bye\r\n");
    const int port = peer.start();
    CliResult login = cli({"login", "--direct", address_, "--password-stdin", "--pop3",
                           url("pop3", port), "--smtp", url("smtps", MailStack::smtpsPort())},
                          password_ + "\n");
    EXPECT_EQ(login.exitCode, 1);
    EXPECT_NE(login.err.find("POP3 server 127.0.0.1:" + std::to_string(port) +
                             " offers no TLS: the password was not sent in plain text"),
              std::string::npos)
        << login.err;
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(peer.transcript().find(password_), std::string::npos);
    EXPECT_EQ(peer.transcript().find("USER"), std::string::npos);
}

TEST_F(CliDirectTest, AProvidersAppPasswordRefusalIsExplainedWithItsOwnWordsKept) {
    // A provider's own refusal text, which the real test server cannot say.
    const std::string refusal =
        "-ERR [AUTH] Application-specific password required: "
        "https://support.google.com/accounts/answer/185833\r\n";
    ScriptedPeer peer;
    peer.reply("+OK ready\r\n")
        .expectLine("CAPA\r\n")
        .reply("+OK\r\nUSER\r\nUIDL\r\n.\r\n")
        .expectLine("USER someone@gmail.com\r\n")
        .reply("+OK\r\n")
        .expectLine("PASS web-site-pw\r\n")
        .reply(refusal)
        .expectLine("QUIT\r\n")
        .reply("+OK bye\r\n");
    const int port = peer.start();
    CliResult login =
        cli({"login", "--direct", "someone@gmail.com", "--password-stdin", "--allow-plaintext",
             "--pop3", url("pop3", port), "--smtp", url("smtps", MailStack::smtpsPort())},
            "web-site-pw\n");
    EXPECT_EQ(login.exitCode, 1);
    EXPECT_NE(login.err.find("Gmail does not take the password of its web site from mail "
                             "programs: create an app password"),
              std::string::npos)
        << login.err;
    EXPECT_NE(login.err.find("The server said: \"-ERR [AUTH] Application-specific password "
                             "required: https://support.google.com/accounts/answer/185833"),
              std::string::npos)
        << login.err;
    EXPECT_EQ(peer.finish(), "");
}

TEST_F(CliDirectTest, UsageErrorsAreExplained) {
    CliResult both = cli(
        {"login", "--direct", address_, "--imap", "imaps://a.test", "--pop3", "pop3s://b.test"});
    EXPECT_EQ(both.exitCode, 2);
    EXPECT_NE(both.err.find("not both"), std::string::npos) << both.err;
    CliResult append = cli({"login", "--direct", address_, "--pop3", "pop3s://b.test", "--smtp",
                            "smtps://c.test", "--store-with", "append"});
    EXPECT_EQ(append.exitCode, 2);
    EXPECT_NE(append.err.find("only to an IMAP mailbox"), std::string::npos) << append.err;
    CliResult scheme = cli({"login", "--direct", address_, "--imap", "https://a.test"});
    EXPECT_EQ(scheme.exitCode, 2);
    EXPECT_NE(scheme.err.find("unknown scheme \"https\""), std::string::npos) << scheme.err;
    CliResult none = cli({"login", "--direct", "me@nowhere.test"});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("--imap URL or --pop3 URL"), std::string::npos) << none.err;
}

// A server that takes only small mails and says so in its EHLO reply: every
// piece mail goes under its limit, and the file reads back whole.
TEST(CliDirectSizeLimit, PiecesStayUnderTheLimitTheServerAnnounced) {
    PrivateMailStack stack(6);
    stack.setEnvironment("MAILSTACK_MAX_SIZE=300K");
    ASSERT_TRUE(stack.start());
    const std::string user = "limited";
    const std::string password = "Limited-pw1";
    ASSERT_TRUE(stack.addUser(user, password));
    TempDir home("parvola-direct-limit");
    TempDir files("parvola-direct-limit-files");
    CliResult login = runCli(home.str(),
                             {"login", "--direct", user + "@sina.test", "--password-stdin",
                              "--pop3", url("pop3", stack.pop3Port()), "--smtp",
                              url("smtp", stack.smtpPort()), "--allow-plaintext"},
                             password + "\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
    const std::string bytes = randomBytes(1024 * 1024 + 3, 9);
    writeFile(files / "big.bin", bytes);
    CliResult store =
        runCli(home.str(), {"store", (files / "big.bin").string(), "--folder", "我的文档"});
    ASSERT_EQ(store.exitCode, 0) << store.err;
    // 1 MiB in pieces below 300 KiB of mail: more than three pieces, each
    // mail (as Exim delivered it, its own headers added) within the limit.
    EXPECT_NE(store.err.find("piece 4/"), std::string::npos) << store.err;
    size_t mails = 0;
    for (const char* sub : {"/new", "/cur"}) {
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(stack.maildir(user) + sub, error)) {
            ++mails;
            EXPECT_LE(entry.file_size(), 300u * 1024) << entry.path();
        }
    }
    EXPECT_GE(mails, 4u);
    TempDir saves("parvola-direct-limit-saves");
    CliResult read = runCli(home.str(), {"read", "我的文档/big.bin", "--to", saves.str()});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_TRUE(readFile(saves / "big.bin") == bytes);
}

}  // namespace
}  // namespace parvola::test
