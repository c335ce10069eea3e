// A direct IMAP account end to end through parvola-cli against the real
// Dovecot over TLS: one `login --direct` command, then store (appended to
// the mail folder), ls, read, rm and purge with nothing more; a second
// application directory logs in the same way and sees the same store.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "tests/cli/cli_runner.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

struct ImapWay {
    const char* name;
    bool implicitTls;    // imaps:// (else imap:// upgraded with STARTTLS)
    const char* folder;  // empty: INBOX
};

void PrintTo(const ImapWay& way, std::ostream* out) {
    *out << way.name;
}

// Mails in the inbox of the user's Maildir (what POP3 sees).
size_t inboxMails(const std::string& user) {
    size_t count = 0;
    for (const char* sub : {"/new", "/cur"}) {
        std::error_code error;
        for (std::filesystem::directory_iterator it(MailStack::maildir(user) + sub, error), end;
             !error && it != end; it.increment(error))
            ++count;
    }
    return count;
}

class CliDirectImap : public ::testing::TestWithParam<ImapWay> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(MailStack::running());
        user_ = MailStack::uniqueUser("dimap");
        ASSERT_TRUE(MailStack::addUser(user_, password_));
        address_ = user_ + "@sina.test";
    }
    static void trustTestCa(const TempDir& home) {
        writeFile(home / "deploy.ini", "[tls]\nca_file=" + MailStack::caFile() + "\n");
    }
    std::vector<std::string> loginArgs() const {
        const ImapWay way = GetParam();
        const std::string url =
            way.implicitTls ? "imaps://127.0.0.1:" + std::to_string(MailStack::imapsPort())
                            : "imap://127.0.0.1:" + std::to_string(MailStack::imapStartTlsPort());
        // Two pieces for the file below: a piece size of the user's own,
        // remembered with the account.
        std::vector<std::string> args = {"login",  "--direct", address_,       "--password-stdin",
                                         "--imap", url,        "--piece-size", "2M"};
        if (*way.folder != '\0') {
            args.push_back("--mail-folder");
            args.push_back(way.folder);
        }
        return args;
    }
    std::string user_;
    std::string password_ = "Imap-pw-1";
    std::string address_;
};

TEST_P(CliDirectImap, StoreListReadDeletePurgeAndASecondDirectorySeesTheStore) {
    TempDir home("parvola-dimap-home");
    TempDir files("parvola-dimap-files");
    trustTestCa(home);
    CliResult login = runCli(home.str(), loginArgs(), password_ + "\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
    EXPECT_NE(login.out.find("store:     append to "), std::string::npos) << login.out;

    const std::string bytes = randomBytes(3 * 1024 * 1024 + 11, 17);
    writeFile(files / "影像.bin", bytes);
    CliResult store =
        runCli(home.str(), {"store", (files / "影像.bin").string(), "--folder", "我的文档"});
    ASSERT_EQ(store.exitCode, 0) << store.err;
    // The pieces and the catalog went into the chosen folder only: the
    // inbox holds them when it is the folder, and nothing otherwise.
    if (*GetParam().folder == '\0')
        EXPECT_GE(inboxMails(user_), 2u);
    else
        EXPECT_EQ(inboxMails(user_), 0u);
    CliResult ls = runCli(home.str(), {"ls", "我的文档"});
    ASSERT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_NE(ls.out.find("影像.bin"), std::string::npos) << ls.out;
    TempDir saves("parvola-dimap-saves");
    CliResult read = runCli(home.str(), {"read", "我的文档/影像.bin", "--to", saves.str()});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_TRUE(readFile(saves / "影像.bin") == bytes);

    TempDir second("parvola-dimap-second");
    trustTestCa(second);
    CliResult login2 = runCli(second.str(), loginArgs(), password_ + "\n");
    ASSERT_EQ(login2.exitCode, 0) << login2.err;
    CliResult ls2 = runCli(second.str(), {"ls", "我的文档"});
    EXPECT_NE(ls2.out.find("影像.bin"), std::string::npos) << ls2.out << ls2.err;
    TempDir saves2("parvola-dimap-saves2");
    CliResult read2 = runCli(second.str(), {"read", "我的文档/影像.bin", "--to", saves2.str()});
    ASSERT_EQ(read2.exitCode, 0) << read2.err;
    EXPECT_TRUE(readFile(saves2 / "影像.bin") == bytes);

    EXPECT_EQ(runCli(home.str(), {"rm", "我的文档/影像.bin"}).exitCode, 0);
    CliResult purge = runCli(home.str(), {"purge", "我的文档/影像.bin", "--yes"});
    EXPECT_EQ(purge.exitCode, 0) << purge.err;
    EXPECT_EQ(runCli(home.str(), {"ls", "我的文档"}).out.find("影像.bin"), std::string::npos);
    // The second directory, refreshed from the mailbox, no longer lists it.
    CliResult ls3 = runCli(second.str(), {"ls", "我的文档", "--refresh"});
    EXPECT_EQ(ls3.exitCode, 0) << ls3.err;
    EXPECT_EQ(ls3.out.find("影像.bin"), std::string::npos) << ls3.out;
}

INSTANTIATE_TEST_SUITE_P(Ways, CliDirectImap,
                         ::testing::Values(ImapWay{"ImapsInbox", true, ""},
                                           ImapWay{"StartTlsOwnFolder", false, "Parvola store"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parvola::test
