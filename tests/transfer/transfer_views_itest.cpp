// What the task list shows of real transfers against the real mail server: a
// store queued behind a pause has its row from the start, a store whose
// folder went away meanwhile says so (not "network problem"), progress moves
// with the bytes inside a piece, and a finished transfer is announced.
#include <mutex>
#include <set>

#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/upload_pipeline.h"

namespace parvola::test {
namespace {

// Records every progress figure, every speed text and every finished transfer.
class Recorder : public TaskListListener {
  public:
    Recorder() { taskList().addListener(this); }
    ~Recorder() override { taskList().removeListener(this); }
    void rowAdded(int, const TaskRowTexts& row) override { speed(row.speed); }
    void rowRemoved(int) override {}
    void progressTextChanged(int, const std::string&) override {
        std::lock_guard lock(mutex_);
        for (const TransferTask& task : taskList().tasks())
            progress_.insert(task.progress);
    }
    void speedTextChanged(int, const std::string& text) override { speed(text); }
    void rowsRebuilt(const std::vector<TaskRowTexts>&) override {}
    void transferFinished(const TaskRowTexts& row) override {
        std::lock_guard lock(mutex_);
        finished_.push_back(row.direction + " " + row.fileName);
    }

    std::set<float> progress() const {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    std::vector<std::string> speeds() const {
        std::lock_guard lock(mutex_);
        return speeds_;
    }
    std::vector<std::string> finished() const {
        std::lock_guard lock(mutex_);
        return finished_;
    }

  private:
    void speed(const std::string& text) {
        std::lock_guard lock(mutex_);
        speeds_.push_back(text);
    }
    mutable std::mutex mutex_;
    std::set<float> progress_;
    std::vector<std::string> speeds_;
    std::vector<std::string> finished_;
};

using TransferViews = PipelineTest;

TEST_F(TransferViews, AStoreQueuedBehindAPauseShowsPausedAndAGoneFolderIsNamed) {
    const MailboxAccount account = login("sina");
    const std::string user = account.loginAddress;
    ASSERT_EQ(Catalog(user).addFolder(kDocuments, "合同"), 0);
    const std::string folder = std::string(kDocuments) + "\\合同";
    Recorder recorder;
    pauseTransfers();
    startUploadWorker(user, source("租约.pdf", randomBytes(5000, 61)), folder);
    // Its row is there before anything moved, and says why nothing moves.
    ASSERT_TRUE(waitFor([&] {
        const auto speeds = recorder.speeds();
        return !speeds.empty() && speeds.back() == kPausedSpeedText;
    }));
    ASSERT_EQ(taskList().size(), 1u);
    EXPECT_EQ(pieceMailCount(account), 0);

    // The folder is renamed while the store waits; the store then goes on.
    ASSERT_TRUE(Catalog(user).renameFolder(folder, "合同", "租房"));
    resumeTransfers();
    ASSERT_TRUE(waitForWorkers(std::chrono::seconds(60)));
    EXPECT_EQ(notices.messages(), std::vector<std::string>{folderGoneText(folder)});
    // Nothing of it is left: no record, no piece mail.
    EXPECT_EQ(fileRecord(user, std::string(kDocuments) + "\\租房", "租约.pdf").name, "");
    EXPECT_EQ(pieceMailCount(account), 0);
    EXPECT_TRUE(recorder.finished().empty());
}

TEST_F(TransferViews, ProgressFollowsTheBytesAndAFinishedTransferIsAnnounced) {
    const MailboxAccount account = login("sohu");  // 6 MiB pieces
    const std::string user = account.loginAddress;
    const std::string bytes = randomBytes(static_cast<size_t>(12 * kMiB), 62);
    Recorder recorder;
    ASSERT_EQ(runUploadWorker(user, source("影片.mkv", bytes), kDocuments), UploadOutcome::Stored);
    // Two pieces: besides 50 and 100 at their ends, figures inside a piece.
    std::set<float> inside;
    for (float figure : recorder.progress())
        if (figure > 0 && figure < 100 && figure != 50)
            inside.insert(figure);
    EXPECT_GE(inside.size(), 2u) << "only whole pieces were shown";
    EXPECT_EQ(recorder.finished(), std::vector<std::string>{"上传 影片.mkv"});

    const CatalogRow record = fileRecord(user, kDocuments, "影片.mkv");
    Recorder reading;
    ASSERT_EQ(readBack(user, record, saves.str()), DownloadOutcome::Saved);
    std::set<float> read;
    for (float figure : reading.progress())
        if (figure > 0 && figure < 100 && figure != 50)
            read.insert(figure);
    EXPECT_GE(read.size(), 2u) << "only whole pieces were shown";
    EXPECT_EQ(reading.finished(), std::vector<std::string>{"下载 影片.mkv"});
    EXPECT_TRUE(notices.messages().empty());
}

}  // namespace
}  // namespace parvola::test
