// The command-line client's store and read while the SMTP or the POP3
// server of the test's own is killed in the middle of the second piece (a
// relay in front of it counts the bytes and drops the session there): the
// network message once, nothing recorded or saved, and the same command
// succeeds once the server is back.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/ini_settings.h"

#include "tests/cli/cli_runner.h"
#include "tests/faults/cutting_relay.h"
#include "tests/faults/private_mail_stack.h"
#include "tests/support/mail_stack.h"
#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

// Three pieces at the "sohu" row; the first piece's mail is about 8.2 MiB.
const std::string kThreePieces = randomBytes(12 * 1024 * 1024 + 1, 65);

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class CliServerStops : public ::testing::Test {
  protected:
    // The server, a relay in front of its SMTP (`smtp`) or POP3 port that cuts
    // once `mark` bytes went through in all, the account, the login.
    void start(int slot, bool smtp, long long mark) {
        stack_ = std::make_unique<PrivateMailStack>(slot);
        ASSERT_TRUE(stack_->start());
        relay_ = std::make_unique<CuttingRelay>(
            "127.0.0.2", "127.0.0.2", smtp ? stack_->smtpPort() : stack_->pop3Port(), 0,
            smtp ? CuttingRelay::Direction::FromClient : CuttingRelay::Direction::FromServer, mark,
            [this, smtp] { EXPECT_TRUE(smtp ? stack_->killSmtp() : stack_->killPop3()); });
        ASSERT_TRUE(site_.started());
        mailUser_ = MailStack::uniqueUser("clistop");
        ASSERT_TRUE(stack_->addUser(mailUser_, "mbpw"));
        address_ = mailUser_ + "@parvola.test";
        ASSERT_TRUE(site_.addUser(address_, "Secret-1", mailUser_ + "@sohu.test", "mbpw", true));
        const int smtpPort = smtp ? relay_->port() : stack_->smtpPort();
        const int pop3Port = smtp ? stack_->pop3Port() : relay_->port();
        writeFile(home_.path() / "deploy.ini", site_.deployIniSection() +
                                                   "[ports]\nsmtp=" + std::to_string(smtpPort) +
                                                   "\npop3=" + std::to_string(pop3Port) +
                                                   "\n[sohu]\nsmtp=127.0.0.2\npop3=127.0.0.2\n");
        CliResult login = cli({"login", address_, "--password-stdin"}, "Secret-1\n");
        ASSERT_EQ(login.exitCode, 0) << login.err;
        // One try more after a pause of about two seconds, then the failure.
        const IniSettings settings((home_.path() / "config.ini").string());
        ASSERT_TRUE(settings.writeRetryTries(1));
        // The relay cuts at a byte count of one connection carrying the
        // pieces one after another.
        ASSERT_TRUE(settings.writeConnections(1));
        writeFile(files_ / "trip.bin", kThreePieces);
    }
    CliResult cli(const std::vector<std::string>& args, const std::string& input = "") {
        return runCli(home_.str(), args, input);
    }
    std::string catalogBytes() { return readFile(home_.path() / (address_ + "_config")); }

    TempDir home_{"parvola-clistop-home"};
    TempDir files_{"parvola-clistop-files"};
    SiteProcess site_;
    std::unique_ptr<PrivateMailStack> stack_;
    std::unique_ptr<CuttingRelay> relay_;  // dies before the server
    std::string mailUser_;
    std::string address_;
};

TEST_F(CliServerStops, StoreWithTheSmtpServerKilled) {
    start(4, true, 12 * 1024 * 1024);
    const std::string before = catalogBytes();
    CliResult store = cli({"store", (files_ / "trip.bin").string()});
    ASSERT_TRUE(relay_->cut());
    EXPECT_EQ(store.exitCode, 1);
    EXPECT_EQ(occurrences(store.err, "网络问题,上传失败.请稍后再试!"), 1u) << store.err;
    EXPECT_EQ(occurrences(store.err, "trip.bin: retrying in "), 1u) << store.err;
    EXPECT_EQ(occurrences(store.err, " (try 1 of 1): SMTP 127.0.0.2:"), 1u) << store.err;
    EXPECT_EQ(store.out.find("stored"), std::string::npos);
    EXPECT_TRUE(catalogBytes() == before);

    ASSERT_TRUE(stack_->restart());
    CliResult again = cli({"store", (files_ / "trip.bin").string()});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    TempDir saves("parvola-clistop-saves");
    ASSERT_EQ(cli({"read", "我的文档/trip.bin", "--to", saves.str()}).exitCode, 0);
    EXPECT_TRUE(readFile(saves / "trip.bin") == kThreePieces);
}

TEST_F(CliServerStops, ReadWithThePop3ServerKilled) {
    start(5, false, 10 * 1024 * 1024);
    ASSERT_EQ(cli({"store", (files_ / "trip.bin").string()}).exitCode, 0);
    const std::string before = catalogBytes();
    TempDir saves("parvola-clistop-saves");
    CliResult read = cli({"read", "我的文档/trip.bin", "--to", saves.str()});
    ASSERT_TRUE(relay_->cut());
    EXPECT_EQ(read.exitCode, 1);
    EXPECT_EQ(occurrences(read.err, "trip.bin网络问题,下载失败.请稍后再试!"), 1u) << read.err;
    EXPECT_EQ(occurrences(read.err, " (try 1 of 1): POP3 127.0.0.2:"), 1u) << read.err;
    EXPECT_TRUE(fs::is_empty(saves.path()));
    EXPECT_TRUE(catalogBytes() == before);

    ASSERT_TRUE(stack_->restart());
    CliResult again = cli({"read", "我的文档/trip.bin", "--to", saves.str()});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(readFile(saves / "trip.bin") == kThreePieces);
}

}  // namespace
}  // namespace parvola::test
