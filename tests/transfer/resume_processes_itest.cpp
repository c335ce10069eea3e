// Unfinished transfers survive the end of the process: an upload and a
// download, each paused in a process of its own and saved by the exit's save,
// are resumed by the next process that logs the user in, from their next
// piece, and the files read back byte for byte; for an encrypted account
// too, once the next process has the key. With several connections the
// pieces under way when the process ends are cut off as at a real exit.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "app/ini_settings.h"
#include "platform/ini_file.h"
#include "tests/crypto/maildir_text.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/account_keys.h"
#include "transfer/key_mail.h"
#include "transfer/piece_encryption.h"
#include "transfer/remaining_tasks.h"
#include "transfer/resume_tasks.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPassphrase = "断点续传 resume 9";

class ResumeAcrossProcesses : public PipelineTest {
  protected:
    // Runs `start` in a child process, pauses the transfers at the first
    // report of a record of `direction` (no connection has begun a second
    // piece then), and once a connection waits at a piece boundary and a
    // piece is done, saves the task list as the exit does and ends the child.
    // True when the child got that far.
    static bool interruptAfterFirstPiece(TransferDirection direction,
                                         const std::function<void()>& start) {
        const pid_t child = fork();
        if (child < 0)
            return false;
        if (child == 0) {
            std::atomic<bool> paused{false};
            ProgressWatcher pauseAtOnce([&](const std::vector<TransferTask>& records) {
                for (const TransferTask& task : records)
                    if (task.direction == direction && !paused.exchange(true))
                        pauseTransfers();
            });
            start();
            const bool stopped = waitFor([&] {
                const auto records = taskList().tasks();
                const auto rows = taskList().rows();
                return paused.load() && records.size() == 1 && rows.size() == 1 &&
                       rows[0].speed == kPausedSpeedText && records[0].nextPieceIndex >= 2;
            });
            const bool saved = stopped && saveUnfinishedTasksAtExit();
            // The workers end with the process, as at a real exit.
            _exit(saved ? 0 : 1);
        }
        int status = 0;
        if (waitpid(child, &status, 0) != child)
            return false;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // Interrupts an upload and a download in processes of their own and
    // resumes both in this one, as the next run after an exit.
    void resumeBothWays(bool encrypted) {
        const MailboxAccount account = login("sohu");
        const std::string user = account.loginAddress;
        if (encrypted) {
            ASSERT_EQ(enableEncryption(account, kPassphrase, KdfParams::fastest()),
                      KeyMailResult::Ok);
        }
        // Names long enough that sealed bytes do not hold them by chance.
        const std::string upName = encrypted ? "续传中断的上行文件.bin" : "up.bin";
        const std::string downName = encrypted ? "续传中断的下行文件.bin" : "down.bin";
        std::string upSubjectName;
        ASSERT_TRUE(subjectFileName(user, upName, upSubjectName));
        // Two pieces more than there are connections: the pause leaves some.
        const int connections = IniSettings().readConnections();
        const int count = connections + 2;
        const long long piece = pieceSizeForSealing(user, 6 * kMiB);
        const std::string uploadBytes =
            randomBytes(static_cast<size_t>((count - 1) * piece + 5), 51);
        const std::string downloadBytes =
            randomBytes(static_cast<size_t>((count - 1) * piece + 7), 52);
        // Stored on this thread: no worker thread exists when the children fork.
        ASSERT_EQ(runUploadWorker(user, source(downName, downloadBytes), kDocuments),
                  UploadOutcome::Stored);
        const CatalogRow stored = fileRecord(user, kDocuments, downName);
        ASSERT_EQ(parseSubject(stored.subject).pieceCount, count);
        const std::string uploadPath = source(upName, uploadBytes);

        ASSERT_TRUE(interruptAfterFirstPiece(
            TransferDirection::Upload, [&] { startUploadWorker(user, uploadPath, kPictures); }));
        DownloadInputs inputs;
        inputs.saveFolder = saves.str();
        inputs.storedSubject = stored.subject;
        inputs.fileName = stored.name;
        inputs.fileSize = stored.size;
        inputs.catalogFolder = kDocuments;
        ASSERT_TRUE(interruptAfterFirstPiece(TransferDirection::Download,
                                             [&] { startDownloadWorker(user, inputs); }));

        // What the two exits left: both records past piece 1 and short of the
        // end, no more pieces of the upload in the mailbox than there were
        // connections, the download's pieces before its next one in its ".part"
        // file. One connection stops exactly at piece 2.
        const auto records = savedRecords();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].direction, TransferDirection::Upload);
        EXPECT_EQ(records[1].direction, TransferDirection::Download);
        for (const TransferTask& task : records) {
            EXPECT_GE(task.nextPieceIndex, 2);
            EXPECT_LE(task.nextPieceIndex, connections + 1);
            if (connections == 1) {
                EXPECT_EQ(task.nextPieceIndex, 2);
            }
        }
        const int uploadId = records[0].fileId;
        const size_t uploadSent = pieceMails(account, upSubjectName, uploadId).size();
        EXPECT_GE(uploadSent, static_cast<size_t>(records[0].nextPieceIndex - 1));
        EXPECT_LE(uploadSent, static_cast<size_t>(connections));
        EXPECT_GE(fs::file_size(saves / (downName + ".part")),
                  static_cast<uintmax_t>((records[1].nextPieceIndex - 1) * piece));
        EXPECT_FALSE(fs::exists(saves / downName));

        // This process is the next run: nothing in memory, the user logs in
        // (and gives the passphrase) and the resume starter runs.
        forgetAllAccountKeys();
        clearLoggedInAccounts();
        ASSERT_TRUE(addLoggedInAccount(account));
        if (encrypted) {
            ASSERT_EQ(unlockEncryption(account, kPassphrase), KeyMailResult::Ok);
        }
        EXPECT_EQ(resumeRemainingTasks(user, IniSettings()), 1);
        ASSERT_TRUE(waitForWorkers(std::chrono::seconds(120)));
        EXPECT_TRUE(savedRecords().empty());
        EXPECT_TRUE(taskList().empty());

        EXPECT_TRUE(readFile(saves / downName) == downloadBytes);
        EXPECT_FALSE(fs::exists(saves / (downName + ".part")));

        // No piece that was in the mailbox was sent again.
        auto pieces = pieceMails(account, upSubjectName, uploadId);
        ASSERT_EQ(pieces.size(), static_cast<size_t>(count));
        std::sort(pieces.begin(), pieces.end(), [](const PieceSubject& a, const PieceSubject& b) {
            return a.pieceIndex < b.pieceIndex;
        });
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(pieces[i].pieceIndex, i + 1);
        const CatalogRow uploaded = fileRecord(user, kPictures, upName);
        ASSERT_EQ(uploaded.name, upName);
        EXPECT_EQ(parseSubject(uploaded.subject).fileId, uploadId);
        ASSERT_EQ(readBack(user, uploaded, (saves / "again").string()), DownloadOutcome::Saved);
        EXPECT_TRUE(readFile(saves / "again" / upName) == uploadBytes);
        EXPECT_TRUE(notices.messages().empty());
        if (!encrypted)
            return;
        // Neither name, nor a run of either file, anywhere in the mailbox.
        const auto messages = readableMaildir(account.mailboxUser);
        for (const std::string& name : {upName, downName}) {
            EXPECT_EQ(findReadable(messages, name.substr(0, name.find('.'))),
                      std::vector<std::string>())
                << name;
        }
        for (const std::string* bytes : {&uploadBytes, &downloadBytes}) {
            for (size_t at = 0; at + 64 <= bytes->size(); at += 3 * kMiB)
                EXPECT_EQ(findReadable(messages, bytes->substr(at, 64)),
                          std::vector<std::string>());
        }
    }

    static std::vector<TransferTask> savedRecords() {
        return parseRemainingTasks(
            readProfileString(kSettingsSection, kRemainTaskKey, "", IniSettings().path()));
    }
};

TEST_F(ResumeAcrossProcesses, AnUploadAndADownloadGoOnFromTheirNextPiece) {
    resumeBothWays(false);
}

// The same for an encrypted account: the next process holds no key until
// the passphrase opens the key mail, then both go on from their next piece
// with the sealed pieces and the mailbox never shows a name.
TEST_F(ResumeAcrossProcesses, EncryptedTransfersGoOnOnceTheNextProcessHasTheKey) {
    resumeBothWays(true);
}

TEST_F(ResumeAcrossProcesses, ADownloadWhosePartFileIsGoneEndsQuietly) {
    const MailboxAccount account = login("sohu");
    const std::string user = account.loginAddress;
    TransferTask task;
    task.user = user;
    task.direction = TransferDirection::Download;
    task.fileName = "lost.bin";
    task.localPath = saves.str();
    task.fileSize = 12 * kMiB + 1;
    task.startTime = 1256450000;
    task.pieceSize = 6 * kMiB;
    task.nextPieceIndex = 2;
    task.fileId = 77;
    task.subject = "PARVOL:;lost.bin;77;1256450000;6291456;0000000000;3;1";
    ASSERT_TRUE(saveRemainingTasks(IniSettings(), {task}, false));
    EXPECT_EQ(resumeRemainingTasks(user, IniSettings()), 1);
    ASSERT_TRUE(waitForWorkers(std::chrono::seconds(60)));
    EXPECT_TRUE(taskList().empty());
    EXPECT_TRUE(fs::directory_iterator(saves.path()) == fs::directory_iterator());
    EXPECT_TRUE(notices.messages().empty());
}

}  // namespace
}  // namespace parvola::test
