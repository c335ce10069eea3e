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

}  // namespace
}  // namespace parvola::test
