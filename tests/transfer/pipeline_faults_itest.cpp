// What goes wrong or is changed midway: purged files, missing pieces,
// cancelling, pausing, a source that shrinks, and the shutdown check of two
// transfers; against the real mail server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>

#include "app/ini_settings.h"
#include "platform/tcp_socket.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/download_pipeline.h"
#include "transfer/piece_search.h"
#include "transfer/remaining_tasks.h"
#include "transfer/resume_tasks.h"
#include "transfer/store_mail.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

const std::string kTwoPieces = randomBytes(static_cast<size_t>(6 * kMiB + 1), 41);

class Faults : public PipelineTest {
  protected:
    // Stores `bytes` as `name` and answers its catalog record.
    CatalogRow store(const MailboxAccount& account, const std::string& name,
                     const std::string& bytes, const char* folder = kDocuments) {
        EXPECT_EQ(runUploadWorker(account.loginAddress, source(name, bytes), folder),
                  UploadOutcome::Stored);
        return fileRecord(account.loginAddress, folder, name);
    }

    static const TransferTask* findRecord(const std::vector<TransferTask>& records,
                                          TransferDirection direction) {
        for (const TransferTask& task : records)
            if (task.direction == direction)
                return &task;
        return nullptr;
    }

    bool saveFolderEmpty() {
        return fs::directory_iterator(saves.path()) == fs::directory_iterator();
    }
};

TEST_F(Faults, PurgeDeletesEveryPieceOfTheFileAndNoneOfAnotherUploadOfItsName) {
    const MailboxAccount account = login("sohu");
    const std::string other = randomBytes(static_cast<size_t>(6 * kMiB + 9), 42);
    const CatalogRow purged = store(account, "dup.bin", kTwoPieces);
    const CatalogRow kept = store(account, "dup.bin", other, kPictures);
    const int purgedId = parseSubject(purged.subject).fileId;
    const int keptId = parseSubject(kept.subject).fileId;
    ASSERT_NE(purgedId, keptId);
    ASSERT_EQ(pieceMails(account, "dup.bin", purgedId).size(), 2u);

    const std::string user = account.loginAddress;
    ASSERT_EQ(Catalog(user).deleteFile(std::string(kDocuments) + "\\dup.bin"), 0);
    ASSERT_EQ(Catalog(user).purgeFile(kDocuments, "dup.bin"), 0);
    ASSERT_TRUE(waitForWorkers(std::chrono::seconds(60)));

    EXPECT_TRUE(pieceMails(account, "dup.bin", purgedId).empty());
    EXPECT_EQ(pieceMails(account, "dup.bin", keptId).size(), 2u);
    ASSERT_EQ(readBack(user, kept, saves.str()), DownloadOutcome::Saved);
    EXPECT_TRUE(readFile(saves / "dup.bin") == other);
    EXPECT_TRUE(notices.messages().empty());
}

TEST_F(Faults, AMissingMiddlePieceFailsTheDownloadAndLeavesNoFile) {
    const MailboxAccount account = login("sohu");
    const CatalogRow record =
        store(account, "three.dat", randomBytes(static_cast<size_t>(12 * kMiB + 1), 43));
    ASSERT_EQ(parseSubject(record.subject).pieceCount, 3);
    ASSERT_TRUE(deletePieceMail(account, "three.dat", 2));

    EXPECT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::PieceMissing);
    // Not a network problem, and no retry helps: the message says which piece is gone.
    EXPECT_EQ(notices.messages(),
              std::vector<std::string>{"文件:three.dat的第2片(共3片)已不在邮箱中,无法下载!"});
    EXPECT_TRUE(saveFolderEmpty());  // neither "three.dat" nor "three.dat.part"
    EXPECT_FALSE(processValues().filesDownloaded.load());
    EXPECT_TRUE(taskList().empty());
}

// A port on which nothing listens: taken from the system, then given back.
int closedPort() {
    TcpSocket probe;
    int port = 0;
    if (probe.create()) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(probe.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(probe.fd(), reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    return port;
}

TEST_F(Faults, ANetworkFailureNamesTheServerTheStepAndTheSystemsWords) {
    const MailboxAccount account = login("sina");
    const CatalogRow record = store(account, "near.txt", "near");
    const std::string path = source("far.txt", "far");
    const int port = closedPort();
    ASSERT_GT(port, 0);
    clearLoggedInAccounts();
    MailboxAccount cut = account;
    cut.smtpPort = cut.pop3Port = port;
    ASSERT_TRUE(addLoggedInAccount(cut));
    const std::string where = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(runUploadWorker(account.loginAddress, path, kDocuments), UploadOutcome::SendFailed);
    EXPECT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Failed);

    // The server answers, but refuses the login.
    clearLoggedInAccounts();
    MailboxAccount refused = account;
    refused.mailboxPassword = "not-the-password";
    ASSERT_TRUE(addLoggedInAccount(refused));
    EXPECT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Failed);

    // The message as before, what failed in its details.
    const std::vector<std::string> shown = notices.messages();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], withNoticeDetails("文件:" + path + "网络问题,上传失败.请稍后再试!",
                                          "SMTP " + where + ", connect: connection refused"));
    EXPECT_EQ(shown[1], withNoticeDetails("文件:near.txt网络问题,下载失败.请稍后再试!",
                                          "POP3 " + where + ", connect: connection refused"));
    std::string text, details;
    splitNoticeDetails(shown[2], text, details);
    EXPECT_EQ(text, "文件:near.txt网络问题,下载失败.请稍后再试!");
    EXPECT_EQ(details.rfind(
                  "POP3 127.0.0.1:" + std::to_string(MailStack::pop3Port()) + ", login: -ERR", 0),
              0u)
        << details;
    EXPECT_EQ(details.find("not-the-password"), std::string::npos);
}

TEST_F(Faults, CancellingAnUploadAfterItsFirstPieceTakesThatPieceBackOut) {
    const MailboxAccount account = login("sohu");
    // Once piece 1 is in (with several connections piece 2 may be too).
    ProgressWatcher cancelAtSecondPiece([&](const std::vector<TransferTask>& records) {
        for (const TransferTask& task : records)
            if (task.nextPieceIndex >= 2)
                taskList().cancelTask(task.user, task.fileName);
    });
    EXPECT_EQ(runUploadWorker(account.loginAddress, source("gone.bin", kTwoPieces), kDocuments),
              UploadOutcome::Cancelled);
    EXPECT_EQ(pieceMailCount(account), 0);
    EXPECT_EQ(fileRecord(account.loginAddress, kDocuments, "gone.bin").name, "");
    EXPECT_TRUE(notices.messages().empty());
    EXPECT_TRUE(taskList().empty());
}

TEST_F(Faults, CancellingAnUploadBeforeItsOnlyPieceIsSentSendsNothing) {
    const MailboxAccount account = login("sina");
    ProgressWatcher cancelOnceShown({}, [&](const std::vector<TransferTask>& records) {
        for (const TransferTask& task : records)
            taskList().cancelTask(task.user, task.fileName);
    });
    EXPECT_EQ(runUploadWorker(account.loginAddress, source("never.bin", randomBytes(2 * kMiB, 44)),
                              kDocuments),
              UploadOutcome::Cancelled);
    EXPECT_EQ(pieceMailCount(account), 0);
    EXPECT_EQ(fileRecord(account.loginAddress, kDocuments, "never.bin").name, "");
    EXPECT_TRUE(notices.messages().empty());
}

TEST_F(Faults, CancellingADownloadRemovesWhatItHadWritten) {
    const MailboxAccount account = login("sohu");
    const CatalogRow record = store(account, "half.bin", kTwoPieces);
    ProgressWatcher cancelAtSecondPiece([&](const std::vector<TransferTask>& records) {
        const TransferTask* download = findRecord(records, TransferDirection::Download);
        if (download != nullptr && download->nextPieceIndex >= 2)
            taskList().cancelTask(download->user, download->fileName);
    });
    EXPECT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Cancelled);
    EXPECT_TRUE(saveFolderEmpty());
    EXPECT_TRUE(notices.messages().empty());
    EXPECT_FALSE(processValues().filesDownloaded.load());
    EXPECT_TRUE(taskList().empty());
}

TEST_F(Faults, APausedUploadWaitsAtThePieceBoundaryAndGoesOnWhenResumed) {
    const MailboxAccount account = login("sohu");
    // One piece more than there are connections.
    const int connections = IniSettings().readConnections();
    const std::string bytes = randomBytes(static_cast<size_t>(connections * 6 * kMiB + 1), 42);
    std::atomic<bool> paused{false};
    // At the first report: no connection has begun a second piece yet.
    ProgressWatcher pauseAtOnce([&](const std::vector<TransferTask>& records) {
        if (!records.empty() && !paused.exchange(true))
            pauseTransfers();
    });
    startUploadWorker(account.loginAddress, source("slow.bin", bytes), kDocuments);
    ASSERT_TRUE(waitFor([&] {
        const std::vector<TaskRowTexts> rows = taskList().rows();
        return paused.load() && rows.size() == 1 && rows[0].speed == kPausedSpeedText &&
               pieceMailCount(account) >= 1;
    }));
    // The pieces under way went on to their end, no piece began after the
    // pause: the last piece is not in the mailbox, and the record keeps its
    // place.
    const int sent = pieceMailCount(account);
    EXPECT_GE(sent, 1);
    EXPECT_LE(sent, connections);
    ASSERT_EQ(taskList().size(), 1u);
    EXPECT_LE(taskList().tasks()[0].nextPieceIndex, connections + 1);

    resumeTransfers();
    ASSERT_TRUE(waitForWorkers(std::chrono::seconds(60)));
    EXPECT_EQ(pieceMailCount(account), connections + 1);
    const CatalogRow record = fileRecord(account.loginAddress, kDocuments, "slow.bin");
    ASSERT_EQ(record.name, "slow.bin");
    ASSERT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Saved);
    EXPECT_TRUE(readFile(saves / "slow.bin") == bytes);
    EXPECT_TRUE(notices.messages().empty());
}

TEST_F(Faults, APausedUploadThatIsCancelledEndsWithoutWaitingForTheResume) {
    const MailboxAccount account = login("sohu");
    // One piece more than there are connections, so that one waits.
    const int connections = IniSettings().readConnections();
    const std::string bytes = randomBytes(static_cast<size_t>(connections * 6 * kMiB + 1), 44);
    std::atomic<bool> paused{false};
    ProgressWatcher pauseAtOnce([&](const std::vector<TransferTask>& records) {
        if (!records.empty() && !paused.exchange(true))
            pauseTransfers();
    });
    startUploadWorker(account.loginAddress, source("stop.bin", bytes), kDocuments);
    ASSERT_TRUE(waitFor([&] {
        const std::vector<TaskRowTexts> rows = taskList().rows();
        return paused.load() && rows.size() == 1 && rows[0].speed == kPausedSpeedText;
    }));
    ASSERT_TRUE(taskList().cancelTask(account.loginAddress, "stop.bin"));
    ASSERT_TRUE(waitForWorkers(std::chrono::seconds(60)));
    EXPECT_EQ(transferState(), kTransfersPaused);
    EXPECT_EQ(pieceMailCount(account), 0);
    EXPECT_EQ(fileRecord(account.loginAddress, kDocuments, "stop.bin").name, "");
    EXPECT_TRUE(notices.messages().empty());
    EXPECT_TRUE(taskList().empty());
}

TEST_F(Faults, ASourceThatShrinksWhileCutIsASplitFailureAndLeavesNoRecord) {
    const MailboxAccount account = login("sohu");
    // One piece more than there are connections: the last is cut only after
    // a piece has gone.
    const int connections = IniSettings().readConnections();
    const std::string path =
        source("shrinks.bin", randomBytes(static_cast<size_t>(connections * 6 * kMiB + 1), 43));
    std::atomic<bool> shrunk{false};
    ProgressWatcher truncateAtOnce([&](const std::vector<TransferTask>& records) {
        if (!records.empty() && !shrunk.exchange(true))
            fs::resize_file(path, 100);
    });
    EXPECT_EQ(runUploadWorker(account.loginAddress, path, kDocuments), UploadOutcome::SplitFailed);
    EXPECT_EQ(notices.messages(),
              (std::vector<std::string>{"分割文件失败",
                                        "文件:" + path + "网络问题,上传失败.请稍后再试!"}));
    EXPECT_TRUE(taskList().empty());
    EXPECT_EQ(fileRecord(account.loginAddress, kDocuments, "shrinks.bin").name, "");
    EXPECT_FALSE(fs::exists(home.path() / "temp" / "shrinks"));
}

TEST_F(Faults, ShutdownFollowsTheLastOfTwoParallelTransfersOnly) {
    const MailboxAccount account = login("sina");
    const std::string user = account.loginAddress;
    const std::string bytes = randomBytes(70000, 45);
    const CatalogRow stored = store(account, "d.txt", bytes);

    // A saved download of d.txt, resumed while the upload below runs.
    TransferTask saved;
    saved.user = user;
    saved.direction = TransferDirection::Download;
    saved.fileName = "d.txt";
    saved.localPath = saves.str();
    saved.fileSize = stored.size;
    saved.catalogFolder = kDocuments;
    saved.startTime = 1256450000;
    saved.pieceSize = stored.size;
    saved.fileId = parseSubject(stored.subject).fileId;
    saved.subject = stored.subject;
    ASSERT_TRUE(saveRemainingTasks(IniSettings(), {saved}, false));
    processValues().shutdownWhenDone.store(true);

    // Once the upload's row leaves (its mail went out, its shutdown check is
    // still to come), pause and resume the download: its record is in the
    // list before the upload ends, and the download waits.
    // `started` is set only once the download is resumed: set before, it
    // would let the wait below pass while the upload is still the one worker.
    std::atomic<bool> handled{false};
    std::atomic<bool> started{false};
    ProgressWatcher startDownload({}, {}, [&](const std::vector<TransferTask>&) {
        if (handled.exchange(true))
            return;
        pauseTransfers();
        resumeRemainingTasks(user, IniSettings());
        started.store(true);
    });
    startUploadWorker(user, source("a.txt", "first"), kDocuments);
    ASSERT_TRUE(waitFor([&] { return started.load() && runningWorkers() == 1; }));
    EXPECT_EQ(fileRecord(user, kDocuments, "a.txt").name, "a.txt");
    EXPECT_EQ(shutdowns.load(), 0);
    ASSERT_EQ(taskList().size(), 1u);

    resumeTransfers();
    ASSERT_TRUE(waitForWorkers(std::chrono::seconds(60)));
    EXPECT_EQ(shutdowns.load(), 1);
    EXPECT_TRUE(readFile(saves / "d.txt") == bytes);
    EXPECT_TRUE(notices.messages().empty());
}

// A sink that stops every transfer, counting how often it was asked.
class StoppingSink : public ProgressSink {
  public:
    explicit StoppingSink(bool goOn) : goOn_(goOn) {}
    void report(int, float, long, bool) override {}
    bool shouldContinue(int) override {
        ++asked;
        return goOn_;
    }
    std::atomic<int> asked{0};

  private:
    bool goOn_;
};

TEST_F(Faults, TheTransportsEndACancelledTransferAtOnce) {
    const MailboxAccount account = login("sina");
    const std::string bytes = randomBytes(3 * kMiB, 46);
    const std::string path = source("1", bytes);
    StoreMail mail;
    mail.subject = mail.bodyText = "PARVOL:;t.bin;9;1256450000;3145728;0000000000;1;1";
    mail.attachmentPath = path;
    mail.taskId = 9;

    StoppingSink stop(false);
    mail.progress = &stop;
    EXPECT_EQ(SendStoreMail(account, mail), kTransferCancelledCode);
    EXPECT_EQ(stop.asked.load(), 1);  // at the first progress step
    EXPECT_EQ(mailboxSubjects(account).size(), 0u);

    StoppingSink goOn(true);
    mail.progress = &goOn;
    ASSERT_EQ(SendStoreMail(account, mail), 0);
    EXPECT_GT(goOn.asked.load(), 1);

    StoppingSink stopReading(false);
    EXPECT_EQ(FetchPiece(account, mail.subject, saves.str(), 9, &stopReading),
              kTransferCancelledCode);
    EXPECT_GE(stopReading.asked.load(), 1);
    EXPECT_TRUE(saveFolderEmpty());

    StoppingSink keepReading(true);
    EXPECT_EQ(FetchPiece(account, mail.subject, saves.str(), 9, &keepReading), 0);
    EXPECT_TRUE(readFile(saves / "1") == bytes);
}

}  // namespace
}  // namespace parvola::test
