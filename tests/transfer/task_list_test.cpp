#include "transfer/task_list.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/local_time.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/task_list_support.h"

namespace parvola {
namespace {

using test::makeTask;

class TaskListTest : public ::testing::Test {
  protected:
    test::TempDir runtime_{"parvola-run"};
    test::ScopedEnv lockFolder_{"XDG_RUNTIME_DIR", runtime_.str()};
    test::AppHome home_;
    TaskList list_;
    test::MirrorListener view_;
    void SetUp() override { list_.addListener(&view_); }
    void TearDown() override { list_.removeListener(&view_); }
};

TEST_F(TaskListTest, ProgressDuringAndAfterPieceTwoOfThree) {
    list_.addTask(makeTask("user1", "f.txt", 4711));  // 30000000 bytes in 10 MiB pieces: 3
    list_.reportPieceDone(4711, 33, 2);
    EXPECT_EQ(view_.rows.at(0).progress, "33.00%");

    list_.reportSpeed(4711, 50.0f, 12345, false);
    EXPECT_EQ(view_.rows.at(0).progress, "49.67%");
    EXPECT_EQ(view_.rows.at(0).speed, "12KByte/s");
    EXPECT_NEAR(list_.tasks().at(0).progress, 49.6667, 0.001);
    EXPECT_EQ(list_.tasks().at(0).speed, 12345);

    list_.reportPieceDone(4711, 2 * 100 / 3, 3);
    EXPECT_EQ(view_.rows.at(0).progress, "66.00%");
    EXPECT_EQ(list_.tasks().at(0).nextPieceIndex, 3);
    EXPECT_EQ(view_.rows, list_.rows());
}

TEST_F(TaskListTest, RedrawShowsWholeNumbersAndTheRequestText) {
    TransferTask upload = makeTask("u", "a.bin", 1);
    upload.progress = 37.5f;
    upload.speed = 2048;
    TransferTask download = makeTask("u", "b.bin", 2);
    download.direction = TransferDirection::Download;
    TransferTask resumed = makeTask("u", "c.bin", 3);  // saved at piece 3 of 3
    resumed.nextPieceIndex = 3;
    TransferTask empty = makeTask("u", "d.bin", 4, 0, 0);
    list_.addTask(upload);
    list_.addTask(download);
    list_.addTask(resumed);
    list_.addTask(empty);
    list_.redraw();

    ASSERT_EQ(view_.rows.size(), 4u);
    EXPECT_EQ(view_.rows[0].progress, "37%");
    EXPECT_EQ(view_.rows[0].speed, "2KByte");
    EXPECT_EQ(view_.rows[1].progress, "0%");
    EXPECT_EQ(view_.rows[1].speed, "发送请求...");
    EXPECT_EQ(view_.rows[2].progress, "66%");
    EXPECT_EQ(view_.rows[2].speed, "");
    EXPECT_EQ(view_.rows[3].progress, "0%");  // no piece count: nothing completed

    EXPECT_EQ(view_.rows[0].user, "u");
    EXPECT_EQ(view_.rows[0].direction, "上传");
    EXPECT_EQ(view_.rows[0].fileName, "a.bin");
    EXPECT_EQ(view_.rows[0].fileSize, "30000000");
    EXPECT_EQ(view_.rows[0].catalogFolder, "我的文档");
    EXPECT_EQ(view_.rows[0].startTime, localTimeText(1256450000, YearDigits::Four));
    EXPECT_EQ(view_.rows[0].startTime.size(), 19u);
    EXPECT_EQ(view_.rows[0].fileId, 1);
}

TEST_F(TaskListTest, LiveTextsKeepTwoDecimalsAndRedrawCutsThem) {
    TransferTask task = makeTask("u", "a.bin", 9, 100, 100);
    list_.addTask(task);
    list_.reportSpeed(9, 37.5f, 0, false);
    EXPECT_EQ(view_.rows.at(0).progress, "37.50%");
    list_.redraw();
    EXPECT_EQ(view_.rows.at(0).progress, "37%");
}

TEST_F(TaskListTest, UnknownFileIdChangesNothing) {
    list_.addTask(makeTask("u", "a.bin", 1));
    const auto before = list_.tasks();
    view_.events.clear();
    list_.reportSpeed(999, 50, 1000, false);
    list_.reportSpeed(999, 50, 1000, true);
    list_.reportPieceDone(999, 50, 2);
    list_.report(-1, 10, 10, false);
    EXPECT_TRUE(view_.events.empty());
    ASSERT_EQ(list_.tasks().size(), 1u);
    EXPECT_EQ(list_.tasks()[0].progress, before[0].progress);
    EXPECT_EQ(list_.tasks()[0].nextPieceIndex, before[0].nextPieceIndex);
    EXPECT_TRUE(list_.shouldContinue(999));
}

TEST_F(TaskListTest, FinishedReportAndRemoveTaskTakeRecordsOut) {
    list_.addTask(makeTask("u", "a.bin", 1));
    list_.addTask(makeTask("u", "b.bin", 2));
    list_.addTask(makeTask("u", "a.bin", 3));           // same identity as the first
    list_.addTask(makeTask("u", "a.bin", 4, 1, 1, 7));  // other start time
    list_.reportSpeed(2, 100, 5000, true);
    EXPECT_EQ(list_.size(), 3u);
    EXPECT_EQ(view_.rows, list_.rows());

    EXPECT_EQ(list_.removeTask(makeTask("u", "a.bin", 0)), 2);
    ASSERT_EQ(list_.size(), 1u);
    EXPECT_EQ(list_.tasks()[0].fileId, 4);
    EXPECT_EQ(view_.rows, list_.rows());
    EXPECT_EQ(list_.removeTask(makeTask("x", "a.bin", 0, 1, 1, 7)), 0);  // other user
}

TEST_F(TaskListTest, CancelHidesTheRowAtOnceAndStopsTheTransfer) {
    list_.addTask(makeTask("u", "a.bin", 1));
    list_.addTask(makeTask("u", "b.bin", 2));
    ASSERT_TRUE(list_.shouldContinue(1));

    ASSERT_TRUE(list_.cancelTask("u", "a.bin"));
    ASSERT_EQ(view_.rows.size(), 1u);  // the row went at once
    EXPECT_EQ(view_.rows[0].fileName, "b.bin");
    EXPECT_EQ(view_.events.back(), "remove 0");
    EXPECT_EQ(list_.size(), 2u);  // the record stays until its next report
    EXPECT_TRUE(list_.hasRunningTasks());
    EXPECT_TRUE(list_.isCancelled(1));
    EXPECT_FALSE(list_.shouldContinue(1));  // the transport ends with the cancelled code
    EXPECT_TRUE(list_.shouldContinue(2));

    list_.redraw();  // cancelled records get no row
    EXPECT_EQ(view_.rows.size(), 1u);

    view_.events.clear();
    list_.report(1, 10, 100, false);  // its next speed report removes the record quietly
    EXPECT_TRUE(view_.events.empty());
    EXPECT_EQ(list_.size(), 1u);
    EXPECT_TRUE(list_.isCancelled(1));  // still answered after the record left
    EXPECT_FALSE(list_.cancelTask("u", "a.bin"));

    // A new task under the id is a new transfer.
    list_.addTask(makeTask("u", "c.bin", 1));
    EXPECT_FALSE(list_.isCancelled(1));
    EXPECT_EQ(view_.rows, list_.rows());
}

TEST_F(TaskListTest, CancelPicksTheFirstRecordNotYetCancelled) {
    list_.addTask(makeTask("u", "same.bin", 1, 1, 1, 100));
    list_.addTask(makeTask("u", "same.bin", 2, 1, 1, 200));
    ASSERT_TRUE(list_.cancelTask("u", "same.bin"));
    ASSERT_TRUE(list_.cancelTask("u", "same.bin"));
    EXPECT_TRUE(list_.isCancelled(1));
    EXPECT_TRUE(list_.isCancelled(2));
    EXPECT_TRUE(view_.rows.empty());
    EXPECT_FALSE(list_.hasRunningTasks());

    list_.addTask(makeTask("u", "x.bin", 3));
    list_.addTask(makeTask("u", "y.bin", 4));
    ASSERT_TRUE(list_.cancelTaskAtRow(1));
    EXPECT_TRUE(list_.isCancelled(4));
    EXPECT_FALSE(list_.isCancelled(3));
    EXPECT_FALSE(list_.cancelTaskAtRow(1));
    EXPECT_FALSE(list_.cancelTaskAtRow(-1));
    EXPECT_EQ(view_.rows, list_.rows());
}

TEST_F(TaskListTest, LeasedFileIdsStayDistinctAndInRange) {
    list_.addTask(makeTask("u", "a.bin", 5));
    std::vector<FileIdLease> leases;
    std::set<int> seen{5};
    for (int i = 0; i < 32767; ++i) {
        leases.push_back(list_.leaseFileId());
        ASSERT_TRUE(leases.back().valid());
        ASSERT_GE(leases.back().id(), 0);
        ASSERT_LE(leases.back().id(), kMaxFileId);
        ASSERT_TRUE(seen.insert(leases.back().id()).second) << leases.back().id();
    }
    EXPECT_FALSE(list_.leaseFileId().valid());  // all 32768 in use

    const int freed = leases[100].id();
    leases[100] = FileIdLease();  // ends the lease
    FileIdLease again = list_.leaseFileId();
    EXPECT_EQ(again.id(), freed);

    FileIdLease moved = std::move(again);
    EXPECT_FALSE(again.valid());
    EXPECT_EQ(moved.id(), freed);
    EXPECT_FALSE(list_.leaseFileId().valid());
}

}  // namespace
}  // namespace parvola
