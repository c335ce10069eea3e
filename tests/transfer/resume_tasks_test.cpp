#include "transfer/resume_tasks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <mutex>

#include "app/process_state.h"
#include "platform/ini_file.h"
#include "platform/system_hooks.h"
#include "platform/worker_threads.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/task_list_support.h"
#include "transfer/remaining_tasks.h"

namespace parvola {
namespace {

using namespace std::chrono_literals;

struct Call {
    std::string hook;
    TransferTask task;
    MailboxAccount account;
};

class ResumeTest : public ::testing::Test {
  protected:
    test::TempDir runtime_{"parvola-run"};
    test::ScopedEnv lockFolder_{"XDG_RUNTIME_DIR", runtime_.str()};
    test::AppHome home_;
    IniSettings settings_;
    TaskList list_;
    test::MirrorListener view_;
    std::mutex callsMutex_;
    std::vector<Call> calls_;
    std::latch release_{1};
    std::atomic<int> shutdowns_{0};
    std::atomic<int> shutdownsWithTasksLeft_{0};

    void SetUp() override {
        clearLoggedInAccounts();
        MailboxAccount account("user1", "typed");
        account.mailboxUser = "box1";
        account.smtpHost = "127.0.0.1";
        ASSERT_TRUE(addLoggedInAccount(account));
        list_.addListener(&view_);
        setShutdownRoutine([this] {
            ++shutdowns_;
            if (!list_.empty())
                ++shutdownsWithTasksLeft_;
            return true;
        });
    }
    void TearDown() override {
        release_.count_down();
        EXPECT_TRUE(waitForWorkers(30s));
        list_.removeListener(&view_);
        setResumeHooks({});
        setShutdownRoutine({});
        processValues().shutdownWhenDone = false;
        clearLoggedInAccounts();
    }

    // A resumed pipeline that records its call, waits for the test, then
    // ends the way a pipeline does: its task leaves the list.
    ResumedTransfer recorder(const std::string& name, bool completed) {
        return [this, name, completed](const TransferTask& task, const MailboxAccount& account) {
            {
                std::lock_guard<std::mutex> guard(callsMutex_);
                calls_.push_back(Call{name, task, account});
            }
            release_.wait();
            list_.removeTask(task);
            return completed;
        };
    }

    static TransferTask record(const std::string& user, TransferDirection direction,
                               const std::string& name, int fileId, int nextPiece) {
        TransferTask task = test::makeTask(user, name, fileId);
        task.direction = direction;
        task.nextPieceIndex = nextPiece;
        return task;
    }
};

TEST_F(ResumeTest, StarterShowsTheRecordsAndHandsEachToItsOwnWorker) {
    setResumeHooks({recorder("upload", true), recorder("download", true)});
    processValues().shutdownWhenDone = true;
    const TransferTask upload = record("user1", TransferDirection::Upload, "f.txt", 4711, 3);
    const TransferTask download = record("user1", TransferDirection::Download, "g.bin", 815, 2);
    const TransferTask otherUser = record("user2", TransferDirection::Upload, "h.txt", 99, 1);
    ASSERT_TRUE(saveRemainingTasks(settings_, {upload, otherUser, download}, true));

    EXPECT_EQ(resumeRemainingTasks("user1", settings_, list_), 1);

    // Both rows show the pieces already done while the workers wait.
    ASSERT_EQ(view_.rows.size(), 2u);
    EXPECT_EQ(view_.rows[0].fileName, "f.txt");
    EXPECT_EQ(view_.rows[0].progress, "66%");
    EXPECT_EQ(view_.rows[1].fileName, "g.bin");
    EXPECT_EQ(view_.rows[1].progress, "33%");
    EXPECT_EQ(view_.rows[1].speed, "发送请求...");
    EXPECT_EQ(readProfileString("Generic", "RemainTask", "", settings_.path()),
              formatRemainingTask(otherUser));

    release_.count_down();
    ASSERT_TRUE(waitForWorkers(30s));
    ASSERT_EQ(calls_.size(), 2u);
    for (const Call& call : calls_) {
        const TransferTask& expected = call.hook == "upload" ? upload : download;
        EXPECT_EQ(call.task.fileName, expected.fileName);
        EXPECT_EQ(call.task.direction, expected.direction);
        EXPECT_EQ(call.task.fileId, expected.fileId);
        EXPECT_EQ(call.task.nextPieceIndex, expected.nextPieceIndex);
        EXPECT_EQ(call.task.subject, expected.subject);
        EXPECT_EQ(call.account.mailboxUser, "box1");
    }
    EXPECT_NE(calls_[0].hook, calls_[1].hook);
    EXPECT_TRUE(list_.empty());
    EXPECT_GE(shutdowns_, 1);  // the check ran after the last one
    EXPECT_EQ(shutdownsWithTasksLeft_, 0);
}

TEST_F(ResumeTest, NoRecordsNoWorkers) {
    setResumeHooks({recorder("upload", true), recorder("download", true)});
    EXPECT_EQ(resumeRemainingTasks("user1", settings_, list_), 1);
    EXPECT_TRUE(list_.empty());
    release_.count_down();
    ASSERT_TRUE(waitForWorkers(30s));
    EXPECT_TRUE(calls_.empty());
}

TEST_F(ResumeTest, WorkerRunsWithAnEmptyAccountWhenItsUserIsNotLoggedIn) {
    setResumeHooks({recorder("upload", false), {}});
    release_.count_down();
    const TransferTask task = record("stranger", TransferDirection::Upload, "s.txt", 5, 2);
    list_.addTask(task);
    EXPECT_FALSE(runResumeWorker(task, list_));
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].account.typedAddress, "");
    EXPECT_EQ(calls_[0].account.mailboxUser, "");
    EXPECT_TRUE(list_.empty());
}

TEST_F(ResumeTest, ARecordNothingCanResumeLeavesTheList) {
    setResumeHooks({recorder("upload", true), {}});
    processValues().shutdownWhenDone = true;
    const TransferTask task = record("user1", TransferDirection::Download, "d.bin", 6, 2);
    list_.addTask(task);
    EXPECT_FALSE(runResumeWorker(task, list_));
    EXPECT_TRUE(list_.empty());
    EXPECT_TRUE(calls_.empty());
    EXPECT_EQ(shutdowns_, 1);
}

}  // namespace
}  // namespace parvola
