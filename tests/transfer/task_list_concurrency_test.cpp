#include <gtest/gtest.h>

#include <barrier>
#include <set>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/transfer/task_list_support.h"
#include "transfer/task_list.h"

namespace parvola {
namespace {

// Eight workers add, report on and remove their own tasks all at once, the
// way parallel uploads and downloads do; a listener mirrors the rows from the
// events alone.
TEST(TaskListConcurrency, EightThreadsLoseAndDuplicateNothing) {
    test::TempDir runtime{"parvola-run"};
    test::ScopedEnv lockFolder{"XDG_RUNTIME_DIR", runtime.str()};
    TaskList list;
    test::MirrorListener view;
    list.addListener(&view);

    constexpr int kThreads = 8;
    constexpr int kTasksEach = 40;
    // The main thread joins both barriers: it counts while the workers wait.
    std::barrier allAdded(kThreads + 1);
    std::barrier allChecked(kThreads + 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::vector<TransferTask> mine;
            std::vector<FileIdLease> leases;
            for (int i = 0; i < kTasksEach; ++i) {
                leases.push_back(list.leaseFileId());
                TransferTask task =
                    test::makeTask("user" + std::to_string(t), "f" + std::to_string(i) + ".bin",
                                   leases.back().id());
                list.addTask(task);
                mine.push_back(task);
                list.reportSpeed(task.fileId, 50, 4096, false);
                list.reportPieceDone(task.fileId, 33, 2);
            }
            allAdded.arrive_and_wait();
            allChecked.arrive_and_wait();  // the main thread counts in between
            for (size_t i = 0; i < mine.size(); ++i) {
                if (i % 4 == 0)
                    list.cancelTask(mine[i].user, mine[i].fileName);
                list.reportSpeed(mine[i].fileId, 75, 8192, false);
                if (i % 4 != 0)
                    list.removeTask(mine[i]);
            }
        });
    }
    allAdded.arrive_and_wait();
    const auto all = list.tasks();
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kTasksEach));
    std::set<int> ids;
    for (const auto& task : all) {
        ids.insert(task.fileId);
        EXPECT_EQ(task.nextPieceIndex, 2);
        EXPECT_FLOAT_EQ(task.progress, 33.0f);
    }
    EXPECT_EQ(ids.size(), all.size());  // file ids distinct across threads
    EXPECT_EQ(view.rows, list.rows());
    allChecked.arrive_and_wait();
    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ(list.size(), 0u);  // cancelled ones left at their next report
    EXPECT_TRUE(view.rows.empty());
    list.removeListener(&view);
}

}  // namespace
}  // namespace parvola
