// `login --direct ADDRESS` with only a password: the servers are found
// through the mail autoconfiguration served on loopback (Python's
// http.server, the lookup base in deploy.ini), shown with where they came
// from, and the login goes to the real mail server over TLS.
#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"
#include "tests/support/autoconfig_server.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

TEST(CliDiscovery, LoginWithOnlyAnAddressFindsTheServersAndLogsIn) {
    ASSERT_TRUE(MailStack::running());
    AutoconfigServer server;
    ASSERT_NE(server.port(), 0);
    const std::string user = MailStack::uniqueUser("found");
    const std::string password = "Found-pw4";
    ASSERT_TRUE(MailStack::addUser(user, password));
    const std::string address = user + "@autoconf.test";
    server.put(
        "autoconfig.autoconf.test/mail/config-v1.1.xml",
        AutoconfigServer::document(AutoconfigServer::server("incomingServer", "imap", "127.0.0.1",
                                                            MailStack::imapsPort(), "SSL") +
                                   AutoconfigServer::server("outgoingServer", "smtp", "127.0.0.1",
                                                            MailStack::smtpsPort(), "SSL")));
    TempDir home("parvola-found-home");
    writeFile(home / "deploy.ini", "[tls]\nca_file=" + MailStack::caFile() +
                                       "\n[setup]\nautoconfig_base=" + server.base() + "\n");

    // Not accepted: shown, and nothing is logged in.
    CliResult asked =
        runCli(home.str(), {"login", "--direct", address, "--password-stdin"}, password + "\n");
    EXPECT_EQ(asked.exitCode, 2) << asked.err;
    EXPECT_NE(asked.err.find("add --yes to use these servers"), std::string::npos) << asked.err;

    CliResult login = runCli(
        home.str(), {"login", "--direct", address, "--password-stdin", "--yes"}, password + "\n");
    ASSERT_EQ(login.exitCode, 0) << login.out << login.err;
    const std::string imaps = "imaps://127.0.0.1:" + std::to_string(MailStack::imapsPort());
    EXPECT_NE(
        login.out.find("Found from the mail autoconfiguration document (" + server.base() +
                       "/autoconfig.autoconf.test/mail/config-v1.1.xml).\n  imap: " + imaps +
                       "\n  smtp: smtps://127.0.0.1:" + std::to_string(MailStack::smtpsPort())),
        std::string::npos)
        << login.out;
    EXPECT_NE(login.out.find("logged in: " + address), std::string::npos) << login.out;
    EXPECT_NE(login.out.find("imap:      " + imaps), std::string::npos) << login.out;
    EXPECT_NE(login.err.find("searching: Asking " + server.base()), std::string::npos);

    // Remembered: later commands need nothing more.
    CliResult ls = runCli(home.str(), {"ls"});
    EXPECT_EQ(ls.exitCode, 0) << ls.err;
    // A later login of the address starts from the remembered servers, even
    // with the autoconfiguration gone.
    const std::string deployment = readFile(home / "deploy.ini");
    writeFile(home / "deploy.ini", "[tls]\nca_file=" + MailStack::caFile() +
                                       "\n[setup]\nautoconfig_base=http://127.0.0.1:9\n");
    CliResult again = runCli(
        home.str(), {"login", "--direct", address, "--password-stdin", "--yes"}, password + "\n");
    EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
    EXPECT_NE(
        again.out.find("Found from the settings remembered for the account.\n  imap: " + imaps),
        std::string::npos)
        << again.out;

    // The password from a command: asked for at every login, kept nowhere.
    TempDir secrets("parvola-found-secrets");
    const std::string store = (secrets / "store").string();
    writeFile(store, password + "\n");
    TempDir second("parvola-found-second");
    writeFile(second / "deploy.ini", deployment);
    CliResult commanded = runCli(second.str(), {"login", "--direct", address, "--yes",
                                                "--password-command", "head -n 1 '" + store + "'"});
    ASSERT_EQ(commanded.exitCode, 0) << commanded.out << commanded.err;
    const std::string config = readFile(second / "config.ini");
    EXPECT_EQ(config.find(password), std::string::npos) << config;
    EXPECT_NE(config.find("passwordcommand=\"head -n 1 '" + store + "'\""), std::string::npos)
        << config;
    // Storing logs in to the mailbox, with whatever the command prints now.
    writeFile(secrets / "a.bin", randomBytes(3000, 7));
    CliResult stored = runCli(second.str(), {"store", (secrets / "a.bin").string()});
    EXPECT_EQ(stored.exitCode, 0) << stored.err;
    writeFile(store, "not-the-password\n");
    CliResult refused = runCli(second.str(), {"store", (secrets / "a.bin").string()});
    EXPECT_NE(refused.exitCode, 0) << refused.out;
}

}  // namespace
}  // namespace parvola::test
