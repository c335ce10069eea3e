#include "platform/named_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

// Each test gets its own lock file folder, so tests running side by side do
// not contend for the real one.
class NamedLockTest : public ::testing::Test {
  protected:
    test::TempDir runtime_{"parvola-run"};
    test::ScopedEnv env_{"XDG_RUNTIME_DIR", runtime_.str()};
};

TEST_F(NamedLockTest, RolesNestInOneThread) {
    RoleGuard tasks(LockRole::Tasks);
    RoleGuard accounts(LockRole::Accounts);
    EXPECT_TRUE(tryLockRole(LockRole::FileList));
    unlockRole(LockRole::FileList);
}

TEST_F(NamedLockTest, WorkerHoldingTasksBlocksAccountsOfAnotherThread) {
    std::promise<void> held, release;
    std::thread worker([&] {
        RoleGuard tasks(LockRole::Tasks);
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    EXPECT_FALSE(tryLockRole(LockRole::Accounts));
    EXPECT_FALSE(tryLockRole(LockRole::Tasks));
    release.set_value();
    worker.join();
    EXPECT_TRUE(tryLockRole(LockRole::Accounts));
    unlockRole(LockRole::Accounts);
}

TEST_F(NamedLockTest, ExcludesAnotherProcess) {
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        lockRole(LockRole::Transfers);
        char c = 'h';
        if (write(toParent[1], &c, 1) != 1)
            _exit(1);
        if (read(toChild[0], &c, 1) != 1)
            _exit(1);  // hold until told
        unlockRole(LockRole::Transfers);
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    EXPECT_FALSE(tryLockRole(LockRole::Accounts));
    ASSERT_EQ(write(toChild[1], "r", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    RoleGuard accounts(LockRole::Accounts);  // the child let go, so this returns
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]})
        close(fd);
}

// A counter in a file, read and rewritten under the lock by two processes with
// two threads each: any lapse in exclusion loses increments.
TEST_F(NamedLockTest, CountsStayExactAcrossProcessesAndThreads) {
    const std::string counter = runtime_.str() + "/counter";
    test::writeFile(counter, "0");
    auto work = [&] {
        for (int i = 0; i < 100; ++i) {
            RoleGuard guard(LockRole::Tasks);
            int value = std::stoi(test::readFile(counter));
            test::writeFile(counter, std::to_string(value + 1));
        }
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::thread a(work), b(work);
        a.join();
        b.join();
        _exit(0);
    }
    std::thread a(work), b(work);
    a.join();
    b.join();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(test::readFile(counter), "400");
}

}  // namespace
}  // namespace parvola
