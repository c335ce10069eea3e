// Two processes change config.ini at once: one appends unfinished-transfer
// records and remembers accounts, the other takes records and remembers its
// own accounts. Every read-modify-write must be whole across processes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "app/ini_settings.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/task_list_support.h"
#include "transfer/remaining_tasks.h"

namespace parvola {
namespace {

constexpr int kRecordsEach = 40;
constexpr int kAccountsEach = 5;

TransferTask numbered(const std::string& user, int i) {
    return test::makeTask(user, "file" + std::to_string(i) + ".bin", i);
}

// Appends records of `appendUser`, taking `takeUser`'s records between the
// appends, and remembers accounts; returns the names of the records taken.
std::vector<int> churn(const std::string& appendUser, const std::string& takeUser,
                       const std::string& accountPrefix) {
    IniSettings settings;
    std::vector<int> taken;
    for (int i = 0; i < kRecordsEach; ++i) {
        saveRemainingTasks(settings, {numbered(appendUser, i)}, false);
        for (const auto& task : takeRemainingTasks(settings, takeUser))
            taken.push_back(task.fileId);
        if (i % (kRecordsEach / kAccountsEach) == 0)
            settings.rememberAccount(accountPrefix + std::to_string(i), "pw");
    }
    return taken;
}

TEST(SettingsAcrossProcesses, NoRecordOrAccountIsLost) {
    test::AppHome home;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child appends "a" records and takes the parent's "b" records,
        // writing what it took to a file of its own.
        const std::vector<int> taken = churn("a", "b", "c");
        std::string list;
        for (int id : taken)
            list += std::to_string(id) + "\n";
        test::writeFile(home.path() / "child-took", list);
        _exit(0);
    }
    std::vector<int> takenByParent = churn("b", "a", "p");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // What is still stored joins what was taken: each record exactly once.
    IniSettings settings;
    for (const auto& task : takeRemainingTasks(settings, "a"))
        takenByParent.push_back(task.fileId);
    std::vector<int> takenByChild;
    for (const auto& task : takeRemainingTasks(settings, "b"))
        takenByChild.push_back(task.fileId);
    const std::string childList = test::readFile(home.path() / "child-took");
    for (size_t start = 0, end; (end = childList.find('\n', start)) != std::string::npos;
         start = end + 1)
        takenByChild.push_back(std::stoi(childList.substr(start, end - start)));

    std::sort(takenByParent.begin(), takenByParent.end());
    std::sort(takenByChild.begin(), takenByChild.end());
    std::vector<int> all(kRecordsEach);
    for (int i = 0; i < kRecordsEach; ++i)
        all[i] = i;
    EXPECT_EQ(takenByParent, all);  // every "a" record, none twice
    EXPECT_EQ(takenByChild, all);   // every "b" record, none twice
    EXPECT_EQ(settings.readRemainTask(), "");

    std::vector<std::string> accounts;
    const IniSettings reread;
    for (const auto& pair : reread.accounts())
        accounts.push_back(pair.account);
    std::sort(accounts.begin(), accounts.end());
    EXPECT_EQ(accounts, (std::vector<std::string>{"c0", "c16", "c24", "c32", "c8", "p0", "p16",
                                                  "p24", "p32", "p8"}));
}

}  // namespace
}  // namespace parvola
