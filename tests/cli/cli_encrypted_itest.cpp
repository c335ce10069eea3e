// An encrypted store end to end through parvola-cli and the real mail
// server: the login that makes it encrypted, a file with a Chinese name
// stored and read back in a second application directory with only the
// passphrase, a wrong passphrase that is refused with nothing written, the
// passphrase change, and a Maildir in which neither the names nor the
// content can be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "tests/cli/cli_runner.h"
#include "tests/crypto/maildir_text.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

const std::string kPassphrase = "松风水月 quiet river 7";
const std::string kFolder = "二〇二六年度机密项目";
const std::string kFileName = "董事会季度预算草案.bin";

class CliEncryptedTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(MailStack::running());
        user_ = MailStack::uniqueUser("sealed");
        ASSERT_TRUE(MailStack::addUser(user_, password_));
        address_ = user_ + "@sina.test";
        for (const TempDir* home : {&first_, &second_, &third_})
            writeFile(*home / "deploy.ini", "[tls]\nca_file=" + MailStack::caFile() + "\n");
    }
    std::vector<std::string> login(std::vector<std::string> extra = {}) const {
        std::vector<std::string> args = {
            "login",
            "--direct",
            address_,
            "--password-stdin",
            "--pop3",
            "pop3s://127.0.0.1:" + std::to_string(MailStack::pop3sPort()),
            "--smtp",
            "smtps://127.0.0.1:" + std::to_string(MailStack::smtpsPort()),
            "--passphrase-stdin"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    TempDir first_{"parvola-sealed-first"};
    TempDir second_{"parvola-sealed-second"};
    TempDir third_{"parvola-sealed-third"};
    TempDir files_{"parvola-sealed-files"};
    std::string user_;
    std::string password_ = "Mailbox-pw1";
    std::string address_;
};

TEST_F(CliEncryptedTest, SecondDirectoryReadsWithOnlyThePassphraseAndTheMaildirShowsNothing) {
    // Without a terminal, --encrypt needs --yes and stores nothing without it.
    CliResult unasked = runCli(first_.str(), login({"--encrypt"}), password_ + "\n");
    EXPECT_EQ(unasked.exitCode, 2);
    EXPECT_NE(unasked.err.find("can no longer be read by clients"), std::string::npos)
        << unasked.err;

    CliResult made =
        runCli(first_.str(), login({"--encrypt", "--yes"}), password_ + "\n" + kPassphrase + "\n");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_NE(made.out.find("encrypted: " + address_), std::string::npos) << made.out;

    const std::string bytes = randomBytes(300 * 1024 + 5, 11);
    writeFile(files_ / kFileName, bytes);
    CliResult folder =
        runCli(first_.str(), {"mkdir", kFolder, "--passphrase-stdin"}, kPassphrase + "\n");
    ASSERT_EQ(folder.exitCode, 0) << folder.err;
    CliResult store =
        runCli(first_.str(),
               {"store", (files_ / kFileName).string(), "--folder", kFolder, "--passphrase-stdin"},
               kPassphrase + "\n");
    ASSERT_EQ(store.exitCode, 0) << store.err;
    // A later command without the passphrase and no terminal to ask on is refused.
    CliResult locked =
        runCli(first_.str(), {"store", (files_ / kFileName).string(), "--folder", "其他"});
    EXPECT_EQ(locked.exitCode, 1);
    EXPECT_NE(locked.err.find("--passphrase-stdin"), std::string::npos) << locked.err;

    // Another computer: only the mailbox password and the passphrase.
    CliResult joined = runCli(second_.str(), login(), password_ + "\n" + kPassphrase + "\n");
    ASSERT_EQ(joined.exitCode, 0) << joined.err;
    EXPECT_NE(joined.out.find("the passphrase opened the store's key"), std::string::npos)
        << joined.out;
    TempDir saves("parvola-sealed-saves");
    CliResult read =
        runCli(second_.str(),
               {"read", kFolder + "/" + kFileName, "--to", saves.str(), "--passphrase-stdin"},
               kPassphrase + "\n");
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_TRUE(readFile(saves / kFileName) == bytes);
    // On a terminal the passphrase is asked for, and not echoed.
    CliResult typed = runCliOnTerminal(second_.str(), {"mkdir", "终端"},
                                       "Passphrase for the encrypted store", kPassphrase + "\n");
    EXPECT_EQ(typed.exitCode, 0) << typed.out;
    EXPECT_EQ(typed.out.find(kPassphrase), std::string::npos) << typed.out;

    // A third with a wrong passphrase: told so, and nothing written, neither
    // in its directory nor in the mailbox.
    const auto homeBefore = contentsBelow(third_.path());
    const size_t mailsBefore = readableMaildir(user_).size();
    std::vector<std::string> unguided = login();
    unguided.pop_back();  // no --passphrase-stdin, and no terminal to ask on
    CliResult untold = runCli(third_.str(), unguided, password_ + "\n");
    EXPECT_EQ(untold.exitCode, 1);
    EXPECT_NE(untold.err.find("keeps its store encrypted"), std::string::npos) << untold.err;
    CliResult wrong = runCli(third_.str(), login(), password_ + "\nnot the passphrase\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("wrong passphrase for " + address_), std::string::npos) << wrong.err;
    EXPECT_EQ(contentsBelow(third_.path()), homeBefore);
    EXPECT_EQ(readableMaildir(user_).size(), mailsBefore);

    // The provider reads neither the names nor any 64-byte run of the content.
    const auto messages = readableMaildir(user_);
    ASSERT_GE(messages.size(), 3u);  // the key mail, catalogs, the piece
    EXPECT_TRUE(findReadable(messages, kFileName).empty());
    EXPECT_TRUE(findReadable(messages, kFolder).empty());
    size_t readableRuns = 0;
    for (size_t at = 0; at + 64 <= bytes.size(); at += 64)
        readableRuns += findReadable(messages, bytes.substr(at, 64)).size();
    EXPECT_EQ(readableRuns, 0u);

    // A new passphrase: the old one no longer opens the store, the new one does.
    CliResult changed = runCli(first_.str(), {"passphrase", "--passphrase-stdin"},
                               kPassphrase + "\nanother passphrase 8\n");
    ASSERT_EQ(changed.exitCode, 0) << changed.err;
    EXPECT_NE(changed.out.find("nothing was stored again"), std::string::npos) << changed.out;
    CliResult oldOne = runCli(third_.str(), login(), password_ + "\n" + kPassphrase + "\n");
    EXPECT_EQ(oldOne.exitCode, 1) << oldOne.out;
    CliResult newOne = runCli(third_.str(), login(), password_ + "\nanother passphrase 8\n");
    ASSERT_EQ(newOne.exitCode, 0) << newOne.err;
    TempDir again("parvola-sealed-again");
    CliResult reread =
        runCli(third_.str(),
               {"read", kFolder + "/" + kFileName, "--to", again.str(), "--passphrase-stdin"},
               "another passphrase 8\n");
    ASSERT_EQ(reread.exitCode, 0) << reread.err;
    EXPECT_TRUE(readFile(again / kFileName) == bytes);
}

TEST_F(CliEncryptedTest, EncryptLaterKeepsWhatWasStoredAndSealsWhatComesNext) {
    ASSERT_EQ(runCli(first_.str(), login(), password_ + "\n").exitCode, 0);
    const std::string before = randomBytes(70 * 1024, 3);
    const std::string after = randomBytes(90 * 1024, 4);
    writeFile(files_ / "旧账本.bin", before);
    writeFile(files_ / "新账本.bin", after);
    ASSERT_EQ(runCli(first_.str(), {"mkdir", kFolder}).exitCode, 0);
    ASSERT_EQ(runCli(first_.str(), {"store", (files_ / "旧账本.bin").string(), "--folder", kFolder})
                  .exitCode,
              0);
    const size_t mailsBefore = readableMaildir(user_).size();

    CliResult refused = runCli(first_.str(), {"encrypt"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("add --yes"), std::string::npos) << refused.err;
    CliResult encrypt =
        runCli(first_.str(), {"encrypt", "--yes", "--passphrase-stdin"}, kPassphrase + "\n");
    ASSERT_EQ(encrypt.exitCode, 0) << encrypt.err;
    EXPECT_NE(encrypt.out.find("files stored before stay as they were"), std::string::npos)
        << encrypt.out;
    // Only the key mail and the sealed catalog were added: nothing re-stored.
    EXPECT_EQ(readableMaildir(user_).size(), mailsBefore + 2);
    CliResult twice =
        runCli(first_.str(), {"encrypt", "--yes", "--passphrase-stdin"}, kPassphrase + "\n");
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_NE(twice.err.find("encrypted already"), std::string::npos) << twice.err;

    CliResult store = runCli(
        first_.str(),
        {"store", (files_ / "新账本.bin").string(), "--folder", kFolder, "--passphrase-stdin"},
        kPassphrase + "\n");
    ASSERT_EQ(store.exitCode, 0) << store.err;
    const auto messages = readableMaildir(user_);
    EXPECT_FALSE(findReadable(messages, "旧账本.bin").empty());  // stored before, as it was
    EXPECT_TRUE(findReadable(messages, "新账本.bin").empty());
    EXPECT_TRUE(findReadable(messages, after.substr(1024, 64)).empty());

    // Another directory loads the sealed catalog and reads both files.
    ASSERT_EQ(runCli(second_.str(), login(), password_ + "\n" + kPassphrase + "\n").exitCode, 0);
    TempDir saves("parvola-sealed-later");
    for (const auto& [name, bytes] : {std::pair{"旧账本.bin", before}, {"新账本.bin", after}}) {
        CliResult read =
            runCli(second_.str(),
                   {"read", kFolder + "/" + name, "--to", saves.str(), "--passphrase-stdin"},
                   kPassphrase + "\n");
        ASSERT_EQ(read.exitCode, 0) << name << read.err;
        EXPECT_TRUE(readFile(saves / name) == bytes) << name;
    }
}

TEST_F(CliEncryptedTest, ALoginOnATerminalAsksBeforeEncryptingAndTakesThePassphraseTwice) {
    std::vector<std::string> typed = login({"--encrypt"});
    typed.erase(std::remove(typed.begin(), typed.end(), "--password-stdin"), typed.end());
    typed.erase(std::remove(typed.begin(), typed.end(), "--passphrase-stdin"), typed.end());
    const std::string prompt = "New passphrase for the store of " + address_;
    const std::string again = "The same passphrase again";

    // Declined: no login, nothing encrypted.
    CliResult declined = runCliOnTerminal(first_.str(), typed,
                                          {{"Password for", password_ + "\n"}, {"[y/N]", "n\n"}});
    EXPECT_EQ(declined.exitCode, 1) << declined.out;
    EXPECT_NE(declined.out.find("not encrypted, and not logged in"), std::string::npos)
        << declined.out;
    EXPECT_NE(declined.out.find("can no longer be read"), std::string::npos) << declined.out;
    EXPECT_TRUE(findReadable(readableMaildir(user_), "PARVOLCONFIGKEY").empty());

    // Two passphrases that differ: refused before anything is stored.
    CliResult differ = runCliOnTerminal(first_.str(), typed,
                                        {{"Password for", password_ + "\n"},
                                         {"[y/N]", "y\n"},
                                         {prompt, kPassphrase + "\n"},
                                         {again, kPassphrase + "x\n"}});
    EXPECT_EQ(differ.exitCode, 1) << differ.out;
    EXPECT_NE(differ.out.find("the two passphrases differ"), std::string::npos) << differ.out;
    EXPECT_TRUE(findReadable(readableMaildir(user_), "PARVOLCONFIGKEY").empty());

    CliResult accepted = runCliOnTerminal(first_.str(), typed,
                                          {{"Password for", password_ + "\n"},
                                           {"[y/N]", "y\n"},
                                           {prompt, kPassphrase + "\n"},
                                           {again, kPassphrase + "\n"}});
    ASSERT_EQ(accepted.exitCode, 0) << accepted.out;
    EXPECT_NE(accepted.out.find("encrypted: " + address_), std::string::npos) << accepted.out;
    EXPECT_EQ(accepted.out.find(kPassphrase), std::string::npos) << accepted.out;
    EXPECT_EQ(accepted.out.find(password_), std::string::npos) << accepted.out;

    // What was typed is the passphrase: another directory opens the store with it.
    CliResult joined = runCli(second_.str(), login(), password_ + "\n" + kPassphrase + "\n");
    ASSERT_EQ(joined.exitCode, 0) << joined.err;
    EXPECT_NE(joined.out.find("the passphrase opened the store's key"), std::string::npos)
        << joined.out;
}

}  // namespace
}  // namespace parvola::test
