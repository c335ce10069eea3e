// The command-line client never shows a password: not on its command line or
// in its process title, not in what it prints (diagnostics on), not in any
// file it leaves in its application directory, its temporary folder or the
// save folder. Passwords come from standard input, never from arguments.
#include <gtest/gtest.h>

#include "mail/base64.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/mail_stack.h"
#include "tests/support/secret_search.h"
#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

constexpr const char* kPassword = "Pw-7f3a-SECRET-q9";
constexpr const char* kMistyped = "Pw-7f3a-MISTYPED-z4";
constexpr const char* kMailboxPassword = "Mb-5e1c-SECRET-k2";

class CliSecrets : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(site_.started());
        mailUser_ = MailStack::uniqueUser("clisecret");
        ASSERT_TRUE(MailStack::addUser(mailUser_, kMailboxPassword));
        address_ = mailUser_ + "@parvola.test";
        ASSERT_TRUE(
            site_.addUser(address_, kPassword, mailUser_ + "@sohu.test", kMailboxPassword, true));
        writeFile(home_.path() / "deploy.ini",
                  site_.deployIniSection() +
                      "[ports]\nsmtp=" + std::to_string(MailStack::smtpPort()) +
                      "\npop3=" + std::to_string(MailStack::pop3Port()) +
                      "\n[sohu]\nsmtp=127.0.0.2\npop3=127.0.0.2\n");
    }

    // Runs the client and keeps everything it printed and /proc showed of it.
    CliResult cli(const std::vector<std::string>& args, const std::string& input) {
        std::string shown;
        CliResult result = runCliWatched(home_.str(), args, input, shown);
        const std::string what = "parvola-cli " + args.front();
        printed_.push_back({what + " stdout", result.out});
        printed_.push_back({what + " stderr", result.err});
        printed_.push_back({what + " /proc", shown});
        return result;
    }

    TempDir home_{"parvola-cli-home"};
    TempDir files_{"parvola-cli-files"};
    TempDir saves_{"parvola-cli-saves"};
    TempDir temp_{"parvola-cli-tmp"};
    ScopedEnv tmpdir_{"TMPDIR", temp_.str()};  // the client inherits both
    ScopedEnv debug_{"PARVOLA_DEBUG", "1"};
    SiteProcess site_;
    std::string mailUser_;
    std::string address_;
    std::vector<NamedText> printed_;
};

TEST_F(CliSecrets, StoreReadAndAFailedLoginShowNoPasswordAnywhere) {
    const std::string bytes = randomBytes(6 * 1024 * 1024 + 900, 5);  // two pieces
    writeFile(files_ / "账目.bin", bytes);
    const std::string line = std::string(kPassword) + "\n";

    CliResult r = cli({"login", address_, "--password-stdin", "--forget-password"}, line);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = cli({"--password-stdin", "store", (files_ / "账目.bin").string()}, line);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = cli({"--password-stdin", "read", "我的文档/账目.bin", "--to", saves_.str()}, line);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(readFile(saves_ / "账目.bin") == bytes);
    // Without a remembered password or --password-stdin, nothing is read from a pipe.
    r = cli({"sync"}, line);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no password remembered"), std::string::npos) << r.err;

    r = cli({"login", address_, "--password-stdin", "--forget-password"},
            std::string(kMistyped) + "\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(address_ + "的用户名或密码错误,请确认后再次登录。\n"), std::string::npos)
        << r.err;

    // The process was seen running: its command line is there, its password is not.
    EXPECT_NE(printed_.at(2).text.find("--forget-password"), std::string::npos)
        << printed_.at(2).text;
    EXPECT_EQ(findSecrets({kPassword, kMistyped, kMailboxPassword},
                          {home_.path(), temp_.path(), saves_.path()}, printed_),
              std::vector<std::string>{});
    EXPECT_EQ(notOwnerOnly(home_.path(), {"deploy.ini"}), std::vector<std::string>{});
}

TEST_F(CliSecrets, ARememberedPasswordIsKeptInTheSettingsOnly) {
    CliResult r = cli({"login", address_, "--password-stdin"}, std::string(kPassword) + "\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = cli({"ls"}, "");  // the remembered password serves the next command
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(findSecrets({kMailboxPassword}, {home_.path(), temp_.path()}, printed_),
              std::vector<std::string>{});
    EXPECT_EQ(
        findSecrets({kPassword}, {home_.path(), temp_.path()}, printed_),
        std::vector<std::string>{(home_.path() / "config.ini").string() + ": base64 " + kPassword});
    EXPECT_NE(readFile(home_.path() / "config.ini")
                  .find("user=" + address_ + ":" + base64Encode(kPassword) + ";"),
              std::string::npos);
    EXPECT_EQ(notOwnerOnly(home_.path(), {"deploy.ini"}), std::vector<std::string>{});
}

}  // namespace
}  // namespace parvola::test
