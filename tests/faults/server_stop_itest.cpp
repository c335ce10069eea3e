// The SMTP server, and apart from it the POP3 server, stopped by its pid in
// the middle of a store or a read of several pieces: the piece is tried
// again after each of five growing pauses, then the user is told once,
// the catalog and the save folder are as before, and the same store or read
// succeeds once the server is back. Each test has a server of its own.
#include <filesystem>

#include "tests/faults/cutting_relay.h"
#include "tests/faults/private_mail_stack.h"
#include "tests/transfer/fake_retry_clock.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/download_pipeline.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

// sohu cuts pieces of 6 MiB: three pieces, the second of them whole.
const std::string kThreePieces = randomBytes(static_cast<size_t>(12 * kMiB + 1), 61);

class ServerStops : public PipelineTest {
  protected:
    // A server that stays down is tried again after each pause, five times,
    // before the transfer fails: the pauses pass on this clock at once.
    FakeRetryClock clock;
    void expectEveryRetryTaken() {
        EXPECT_EQ(clock.waits(),
                  (std::vector<std::chrono::seconds>{
                      std::chrono::seconds(2), std::chrono::seconds(4), std::chrono::seconds(8),
                      std::chrono::seconds(16), std::chrono::seconds(32)}));
    }

    // A fresh user of the private server on the "sohu" row (127.0.0.2), logged
    // in with a new catalog; `smtpPort`/`pop3Port` default to the server's.
    MailboxAccount loginAt(PrivateMailStack& stack, int smtpPort = 0, int pop3Port = 0) {
        writeFile(home.path() / "deploy.ini", "[ports]\nsmtp=" + std::to_string(stack.smtpPort()) +
                                                  "\npop3=" + std::to_string(stack.pop3Port()) +
                                                  "\n[sohu]\nsmtp=127.0.0.2\npop3=127.0.0.2\n");
        // The server stops between pieces or in the second: one connection
        // carries them one after another.
        EXPECT_TRUE(IniSettings().writeConnections(1));
        const std::string name = MailStack::uniqueUser("stop");
        EXPECT_TRUE(stack.addUser(name, "pw"));
        const std::string address = name + "@sohu.test";
        MailboxAccount account(address, "secret");
        account.loginAddress = account.mailboxAddress = address;
        account.mailboxUser = name;
        account.mailboxPassword = "pw";
        account.smtpHost = account.pop3Host = "127.0.0.2";
        account.smtpPort = smtpPort != 0 ? smtpPort : stack.smtpPort();
        account.pop3Port = pop3Port != 0 ? pop3Port : stack.pop3Port();
        EXPECT_TRUE(addLoggedInAccount(account));
        EXPECT_EQ(Catalog(address).createNew(address), 0);
        return account;
    }

    std::string catalogBytes(const std::string& user) {
        return readFile(home.path() / (user + "_config"));
    }
    std::vector<std::string> saveFolderNames() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(saves.path()))
            names.push_back(entry.path().filename().string());
        return names;
    }
    // No piece file or piece folder of the transfer is left in "temp".
    bool noPiecesLeft(const std::string& stem) { return !fs::exists(home.path() / "temp" / stem); }

    static std::string uploadFailed(const std::string& path) {
        return "文件:" + path + "网络问题,上传失败.请稍后再试!";
    }
    static std::string downloadFailed(const std::string& name) {
        return "文件:" + name + "网络问题,下载失败.请稍后再试!";
    }
    // One message, `text`, whose details name the server and the step.
    void expectOneFailure(const std::string& text, const std::string& protocol) {
        const std::vector<std::string> shown = notices.messages();
        ASSERT_EQ(shown.size(), 1u);
        std::string said, details;
        splitNoticeDetails(shown[0], said, details);
        EXPECT_EQ(said, text);
        EXPECT_EQ(details.rfind(protocol + " 127.0.0.", 0), 0u) << details;
    }

    // Stores kThreePieces as `name` while everything runs; its record.
    CatalogRow storeWhole(const MailboxAccount& account, const std::string& name) {
        EXPECT_EQ(runUploadWorker(account.loginAddress, source(name, kThreePieces), kDocuments),
                  UploadOutcome::Stored);
        return fileRecord(account.loginAddress, kDocuments, name);
    }

    // After the failure: the server back, the same store goes through and
    // reads back whole, with no further message.
    void expectStoreSucceedsAgain(PrivateMailStack& stack, const MailboxAccount& account,
                                  const std::string& path, const std::string& name) {
        ASSERT_TRUE(stack.restart());
        ASSERT_EQ(runUploadWorker(account.loginAddress, path, kDocuments), UploadOutcome::Stored);
        const CatalogRow record = fileRecord(account.loginAddress, kDocuments, name);
        ASSERT_EQ(record.name, name);
        ASSERT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Saved);
        EXPECT_TRUE(readFile(saves / name) == kThreePieces);
        EXPECT_EQ(notices.messages().size(), 1u);
    }

    void expectReadSucceedsAgain(PrivateMailStack& stack, const MailboxAccount& account,
                                 const CatalogRow& record) {
        ASSERT_TRUE(stack.restart());
        ASSERT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Saved);
        EXPECT_EQ(saveFolderNames(), std::vector<std::string>{record.name});
        EXPECT_TRUE(readFile(saves / record.name) == kThreePieces);
        EXPECT_EQ(notices.messages().size(), 1u);
    }
};

TEST_F(ServerStops, SmtpServerKilledAfterTheFirstPieceOfAStore) {
    PrivateMailStack stack(0);
    ASSERT_TRUE(stack.start());
    const MailboxAccount account = loginAt(stack);
    const std::string before = catalogBytes(account.loginAddress);
    const std::string path = source("boundary.bin", kThreePieces);
    std::atomic<bool> killed{false};
    ProgressWatcher killAfterFirstPiece([&](const std::vector<TransferTask>& records) {
        for (const TransferTask& task : records) {
            if (task.isUpload() && task.nextPieceIndex == 2 && !killed.exchange(true)) {
                EXPECT_TRUE(stack.killSmtp());
            }
        }
    });

    EXPECT_EQ(runUploadWorker(account.loginAddress, path, kDocuments), UploadOutcome::SendFailed);
    ASSERT_TRUE(killed.load());
    expectEveryRetryTaken();
    expectOneFailure(uploadFailed(path), "SMTP");
    EXPECT_EQ(catalogBytes(account.loginAddress), before);
    EXPECT_TRUE(taskList().empty());
    EXPECT_TRUE(noPiecesLeft("boundary"));
    expectStoreSucceedsAgain(stack, account, path, "boundary.bin");
}

TEST_F(ServerStops, SmtpServerKilledWhileTheSecondPieceIsSent) {
    PrivateMailStack stack(1);
    ASSERT_TRUE(stack.start());
    // Session 2 carries piece 2: the server dies after 2 MiB of its mail.
    CuttingRelay relay("127.0.0.2", "127.0.0.2", stack.smtpPort(), 2,
                       CuttingRelay::Direction::FromClient, 2 * kMiB,
                       [&] { EXPECT_TRUE(stack.killSmtp()); });
    const MailboxAccount account = loginAt(stack, relay.port());
    const std::string before = catalogBytes(account.loginAddress);
    const std::string path = source("midway.bin", kThreePieces);

    EXPECT_EQ(runUploadWorker(account.loginAddress, path, kDocuments), UploadOutcome::SendFailed);
    ASSERT_TRUE(relay.cut());
    expectEveryRetryTaken();
    expectOneFailure(uploadFailed(path), "SMTP");
    EXPECT_EQ(catalogBytes(account.loginAddress), before);
    EXPECT_TRUE(taskList().empty());
    EXPECT_TRUE(noPiecesLeft("midway"));
    expectStoreSucceedsAgain(stack, account, path, "midway.bin");
}

TEST_F(ServerStops, Pop3ServerKilledAfterTheFirstPieceOfARead) {
    PrivateMailStack stack(2);
    ASSERT_TRUE(stack.start());
    const MailboxAccount account = loginAt(stack);
    const CatalogRow record = storeWhole(account, "far.bin");
    ASSERT_EQ(record.name, "far.bin");
    const std::string before = catalogBytes(account.loginAddress);
    std::atomic<bool> killed{false};
    ProgressWatcher killAfterFirstPiece([&](const std::vector<TransferTask>& records) {
        for (const TransferTask& task : records) {
            if (!task.isUpload() && task.nextPieceIndex == 2 && !killed.exchange(true)) {
                EXPECT_TRUE(stack.killPop3());
            }
        }
    });

    EXPECT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Failed);
    ASSERT_TRUE(killed.load());
    expectEveryRetryTaken();
    expectOneFailure(downloadFailed("far.bin"), "POP3");
    EXPECT_TRUE(saveFolderNames().empty());  // neither "far.bin" nor "far.bin.part"
    EXPECT_EQ(catalogBytes(account.loginAddress), before);
    EXPECT_TRUE(taskList().empty());
    EXPECT_TRUE(noPiecesLeft("far"));
    EXPECT_FALSE(processValues().filesDownloaded.load());
    expectReadSucceedsAgain(stack, account, record);
}

TEST_F(ServerStops, Pop3ServerKilledWhileTheSecondPieceIsRead) {
    PrivateMailStack stack(3);
    ASSERT_TRUE(stack.start());
    // The read takes one session for every piece; piece 1's mail is about
    // 8.2 MiB of text, so at 10 MiB the second one is on its way.
    CuttingRelay relay("127.0.0.2", "127.0.0.2", stack.pop3Port(), 1,
                       CuttingRelay::Direction::FromServer, 10 * kMiB,
                       [&] { EXPECT_TRUE(stack.killPop3()); });
    const MailboxAccount account = loginAt(stack, 0, relay.port());
    const CatalogRow record = storeWhole(account, "near.bin");
    ASSERT_EQ(record.name, "near.bin");
    const std::string before = catalogBytes(account.loginAddress);

    EXPECT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Failed);
    ASSERT_TRUE(relay.cut());
    expectEveryRetryTaken();
    expectOneFailure(downloadFailed("near.bin"), "POP3");
    EXPECT_TRUE(saveFolderNames().empty());
    EXPECT_EQ(catalogBytes(account.loginAddress), before);
    EXPECT_TRUE(taskList().empty());
    EXPECT_TRUE(noPiecesLeft("near"));
    expectReadSucceedsAgain(stack, account, record);
}

}  // namespace
}  // namespace parvola::test
