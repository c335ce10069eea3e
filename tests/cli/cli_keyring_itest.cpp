// A direct account's remembered password goes to the desktop keyring when
// one answers: run by the `cli_keyring` test inside a private D-Bus session
// with gnome-keyring (tests/platform/keyring_session.sh); skipped elsewhere.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/keyring.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

bool anyFileHolds(const std::filesystem::path& root, const std::string& text) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file() && readFile(entry.path()).find(text) != std::string::npos)
            return true;
    return false;
}

TEST(CliKeyring, TheDirectAccountsPasswordIsKeptInTheKeyringAndInNoFile) {
    const char* keyringFiles = std::getenv("PARVOLA_KEYRING_FILES");
    if (keyringFiles == nullptr)
        GTEST_SKIP() << "needs the keyring session (ctest -R cli_keyring)";
    ASSERT_TRUE(MailStack::running());
    const std::string user = MailStack::uniqueUser("kr");
    const std::string password = "Keyring-pw8";
    ASSERT_TRUE(MailStack::addUser(user, password));
    const std::string address = user + "@sina.test";
    TempDir home("parvola-kr-home");
    writeFile(home / "deploy.ini", "[tls]\nca_file=" + MailStack::caFile() + "\n");
    CliResult login = runCli(home.str(),
                             {"login", "--direct", address, "--password-stdin", "--imap",
                              "imaps://127.0.0.1:" + std::to_string(MailStack::imapsPort())},
                             password + "\n");
    ASSERT_EQ(login.exitCode, 0) << login.out << login.err;
    EXPECT_NE(login.out.find("password:  kept in the desktop keyring"), std::string::npos)
        << login.out;
    std::string kept;
    std::string failure;
    EXPECT_EQ(keyringLookup(address, kept, failure), KeyringResult::Ok) << failure;
    EXPECT_EQ(kept, password);
    EXPECT_FALSE(anyFileHolds(home.path(), password));
    EXPECT_FALSE(anyFileHolds(keyringFiles, password));
    // Later commands take it from the keyring: nothing is asked.
    CliResult ls = runCli(home.str(), {"ls"});
    EXPECT_EQ(ls.exitCode, 0) << ls.err;
}

TEST(CliKeyring, ARememberedPassphraseIsReadBackFromTheKeyringAndKeptInNoFile) {
    const char* keyringFiles = std::getenv("PARVOLA_KEYRING_FILES");
    if (keyringFiles == nullptr)
        GTEST_SKIP() << "needs the keyring session (ctest -R cli_keyring)";
    ASSERT_TRUE(MailStack::running());
    const std::string user = MailStack::uniqueUser("krp");
    const std::string password = "Keyring-pw9";
    const std::string passphrase = "竹影扫阶尘不动";
    const std::string renewed = "月穿潭底水无痕";
    ASSERT_TRUE(MailStack::addUser(user, password));
    const std::string address = user + "@sina.test";
    TempDir home("parvola-krp-home");
    writeFile(home / "deploy.ini", "[tls]\nca_file=" + MailStack::caFile() + "\n");
    CliResult login = runCli(home.str(),
                             {"login", "--direct", address, "--password-stdin", "--imap",
                              "imaps://127.0.0.1:" + std::to_string(MailStack::imapsPort()),
                              "--encrypt", "--yes", "--passphrase-stdin", "--remember-passphrase"},
                             password + "\n" + passphrase + "\n");
    ASSERT_EQ(login.exitCode, 0) << login.out << login.err;
    EXPECT_NE(login.out.find("passphrase: kept in the desktop keyring"), std::string::npos)
        << login.out;
    std::string kept;
    std::string failure;
    EXPECT_EQ(keyringLookup("passphrase:" + address, kept, failure), KeyringResult::Ok) << failure;
    EXPECT_EQ(kept, passphrase);
    EXPECT_FALSE(anyFileHolds(home.path(), passphrase));
    EXPECT_FALSE(anyFileHolds(keyringFiles, passphrase));

    // Later commands read it from the keyring: nothing is asked, no terminal needed.
    CliResult mkdir = runCli(home.str(), {"mkdir", "钥匙圈"});
    EXPECT_EQ(mkdir.exitCode, 0) << mkdir.err;
    // A new passphrase replaces the kept one.
    CliResult changed = runCli(home.str(), {"passphrase", "--passphrase-stdin"},
                               passphrase + "\n" + renewed + "\n");
    ASSERT_EQ(changed.exitCode, 0) << changed.err;
    EXPECT_NE(changed.out.find("the one kept in the desktop keyring is the new one"),
              std::string::npos)
        << changed.out;
    EXPECT_EQ(keyringLookup("passphrase:" + address, kept, failure), KeyringResult::Ok);
    EXPECT_EQ(kept, renewed);
    CliResult after = runCli(home.str(), {"mkdir", "钥匙圈二"});
    EXPECT_EQ(after.exitCode, 0) << after.err;
}

// Last of the keyring tests: it locks the session's keyring. A keyring that
// answers but refuses the password (locked, and no one to unlock it) leaves
// it in config.ini, and the login says so with the keyring's words.
TEST(CliKeyring, ALockedKeyringThatRefusesThePasswordIsSaidToHaveRefusedIt) {
    if (std::getenv("PARVOLA_KEYRING_FILES") == nullptr)
        GTEST_SKIP() << "needs the keyring session (ctest -R cli_keyring)";
    ASSERT_TRUE(MailStack::running());
    ASSERT_EQ(std::system("dbus-send --session --print-reply --dest=org.freedesktop.secrets "
                          "/org/freedesktop/secrets org.freedesktop.Secret.Service.Lock "
                          "array:objpath:/org/freedesktop/secrets/collection/login >/dev/null"),
              0);
    const std::string user = MailStack::uniqueUser("krl");
    const std::string password = "Keyring-pw10";
    ASSERT_TRUE(MailStack::addUser(user, password));
    TempDir home("parvola-krl-home");
    writeFile(home / "deploy.ini", "[tls]\nca_file=" + MailStack::caFile() + "\n");
    CliResult login =
        runCli(home.str(),
               {"login", "--direct", user + "@sina.test", "--password-stdin", "--imap",
                "imaps://127.0.0.1:" + std::to_string(MailStack::imapsPort())},
               password + "\n");
    ASSERT_EQ(login.exitCode, 0) << login.out << login.err;
    EXPECT_NE(login.out.find(
                  "kept in config.ini (readable by you only; the desktop keyring refused it: "),
              std::string::npos)
        << login.out;
    // The locked keyring gives nothing back: a later command finds the
    // password where the login said it went.
    CliResult ls = runCli(home.str(), {"ls"});
    EXPECT_EQ(ls.exitCode, 0) << ls.err;
}

}  // namespace
}  // namespace parvola::test
