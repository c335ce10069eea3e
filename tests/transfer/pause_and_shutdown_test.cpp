#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "app/process_state.h"
#include "platform/system_hooks.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/task_list_support.h"
#include "transfer/pause_state.h"
#include "transfer/shutdown_check.h"
#include "transfer/task_list.h"

namespace parvola {
namespace {

using namespace std::chrono_literals;
using test::makeTask;

class PauseTest : public ::testing::Test {
  protected:
    test::TempDir runtime_{"parvola-run"};
    test::ScopedEnv lockFolder_{"XDG_RUNTIME_DIR", runtime_.str()};
    TaskList list_;
    void TearDown() override { resumeTransfers(); }
};

TEST_F(PauseTest, RunningTransfersDoNotWait) {
    EXPECT_EQ(transferState(), kTransfersRunning);
    EXPECT_TRUE(waitWhilePaused());
    EXPECT_TRUE(list_.waitWhilePaused(1));
}

TEST_F(PauseTest, ResumeWakesAWaitingPipeline) {
    pauseTransfers();
    EXPECT_EQ(transferState(), kTransfersPaused);
    std::promise<void> looked;
    std::atomic<bool> first{true};
    auto waiter = std::async(std::launch::async, [&] {
        return waitWhilePaused([&] {
            if (first.exchange(false))
                looked.set_value();
            return false;
        });
    });
    // The waiter has looked at the state and found it paused.
    ASSERT_EQ(looked.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_NE(waiter.wait_for(0s), std::future_status::ready);

    resumeTransfers();
    EXPECT_EQ(transferState(), kTransfersRunning);
    // Well within the once-a-second look: woken by the resume itself.
    ASSERT_EQ(waiter.wait_for(900ms), std::future_status::ready);
    EXPECT_TRUE(waiter.get());
}

TEST_F(PauseTest, CancellingAPausedTaskEndsItsWait) {
    list_.addTask(makeTask("u", "a.bin", 7));
    list_.addTask(makeTask("u", "b.bin", 8));
    pauseTransfers();
    auto cancelled = std::async(std::launch::async, [&] { return list_.waitWhilePaused(7); });
    auto other = std::async(std::launch::async, [&] { return list_.waitWhilePaused(8); });
    ASSERT_TRUE(list_.cancelTask("u", "a.bin"));
    ASSERT_EQ(cancelled.wait_for(900ms), std::future_status::ready);
    EXPECT_FALSE(cancelled.get());
    EXPECT_NE(other.wait_for(0s), std::future_status::ready);  // still paused
    resumeTransfers();
    ASSERT_EQ(other.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(other.get());
}

TEST_F(PauseTest, AWaitingTaskShowsPausedUntilItGoesOnAndARedrawKeepsIt) {
    test::MirrorListener view;
    list_.addListener(&view);
    list_.addTask(makeTask("u", "a.bin", 9));
    list_.reportSpeed(9, 5.0f, 0, false);  // within the first second: no speed known yet
    EXPECT_EQ(view.rows.at(0).speed, "");
    list_.reportSpeed(9, 10.0f, 20 * 1024, false);
    ASSERT_EQ(view.rows.at(0).speed, "20KByte/s");
    pauseTransfers();
    auto waiting = std::async(std::launch::async, [&] { return list_.waitWhilePaused(9); });
    // The row says paused, not the speed it had before the pause.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (list_.rows().at(0).speed != kPausedSpeedText &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(list_.rows().at(0).speed, kPausedSpeedText);
    list_.redraw();
    EXPECT_EQ(view.rows.at(0).speed, kPausedSpeedText);
    resumeTransfers();
    ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(waiting.get());
    // Going on, with nothing moved yet: no speed (an upload), as at its start.
    EXPECT_EQ(view.rows.at(0).speed, "");
    EXPECT_EQ(view.rows, list_.rows());
    list_.removeListener(&view);
}

class ShutdownCheckTest : public ::testing::Test {
  protected:
    test::TempDir runtime_{"parvola-run"};
    test::ScopedEnv lockFolder_{"XDG_RUNTIME_DIR", runtime_.str()};
    TaskList list_;
    std::atomic<int> shutdowns_{0};
    void SetUp() override {
        setShutdownRoutine([this] {
            ++shutdowns_;
            return true;
        });
        processValues().shutdownWhenDone = true;
    }
    void TearDown() override {
        processValues().shutdownWhenDone = false;
        setShutdownRoutine({});
    }
};

TEST_F(ShutdownCheckTest, FiresOnlyAfterTheLastOfTwoTransfers) {
    const TransferTask first = makeTask("u", "a.bin", 1);
    const TransferTask second = makeTask("u", "b.bin", 2);
    list_.addTask(first);
    list_.addTask(second);

    list_.removeTask(first);
    EXPECT_FALSE(runShutdownCheck(list_));
    EXPECT_EQ(shutdowns_, 0);

    list_.removeTask(second);
    EXPECT_TRUE(runShutdownCheck(list_));
    EXPECT_EQ(shutdowns_, 1);
}

TEST_F(ShutdownCheckTest, CancelledRecordsCountUntilTheyLeave) {
    list_.addTask(makeTask("u", "a.bin", 1));
    list_.cancelTask("u", "a.bin");
    EXPECT_FALSE(runShutdownCheck(list_));
    list_.reportSpeed(1, 1, 1, false);  // the cancelled record leaves
    EXPECT_TRUE(runShutdownCheck(list_));
    EXPECT_EQ(shutdowns_, 1);
}

TEST_F(ShutdownCheckTest, NothingHappensUnlessAsked) {
    processValues().shutdownWhenDone = false;
    EXPECT_FALSE(runShutdownCheck(list_));
    EXPECT_EQ(shutdowns_, 0);
}

}  // namespace
}  // namespace parvola
