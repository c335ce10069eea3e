// The exit sequence without its window: one question while transfers run,
// the save of the unfinished ones on OK only, a share notification for every
// logged-in account, the open folder removed, the reminder.
#include "transfer/exit_sequence.h"

#include <gtest/gtest.h>

#include "app/ini_settings.h"
#include "app/process_state.h"
#include "catalog/catalog.h"
#include "platform/notice_box.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/catalog_sync_support.h"
#include "tests/transfer/task_list_support.h"
#include "transfer/remaining_tasks.h"

namespace parvola {
namespace {

class ExitSequenceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clearLoggedInAccounts();
        processValues().filesDownloaded = false;
        for (const char* user : {"甲@sina.test", "乙@sohu.test"}) {
            Catalog(user).createNew(user);
            MailboxAccount account(user, "pw");
            account.loginAddress = user;
            ASSERT_TRUE(addLoggedInAccount(account));
        }
        list_.addTask(test::makeTask("甲@sina.test", "a.doc", 1));
        list_.addTask(test::makeTask("乙@sohu.test", "b.doc", 2));
        list_.addTask(test::makeTask("甲@sina.test", "c.doc", 3));
        ASSERT_TRUE(list_.cancelTask("甲@sina.test", "c.doc"));
        std::filesystem::create_directories(openFolder_ / "sub" / "deeper");
        test::writeFile(openFolder_ / "sub" / "deeper" / "x.txt", "x");
        test::writeFile(openFolder_ / "y.txt", "y");
    }
    void TearDown() override {
        clearLoggedInAccounts();
        processValues().filesDownloaded = false;
    }

    std::vector<std::string> shareForms() const {
        std::vector<std::string> shares;
        for (const std::string& form : hooks_.forms())
            if (form.rfind("action=share&", 0) == 0)
                shares.push_back(form.substr(0, form.find("&share=")));
        return shares;
    }
    std::vector<std::string> savedNames() const {
        std::vector<std::string> names;
        for (const TransferTask& task : parseRemainingTasks(IniSettings().readRemainTask()))
            names.push_back(task.fileName);
        return names;
    }

    test::AppHome home_;
    test::RecordingCatalogHooks hooks_;
    test::TempDir scratch_;
    std::filesystem::path openFolder_ = scratch_ / "open";
    TaskList list_;
};

TEST_F(ExitSequenceTest, AsksOnceAndOnOkSavesOnlyTheRunningTasks) {
    ScopedRecordingNoticeBox notices(NoticeAnswer::Ok);
    ExitReport report = runExitSequence({openFolder_.string()}, list_);
    EXPECT_TRUE(report.asked);
    EXPECT_TRUE(report.tasksSaved);
    EXPECT_EQ(notices.messages(), std::vector<std::string>{kExitQuestionText});
    EXPECT_EQ(savedNames(), (std::vector<std::string>{"a.doc", "b.doc"}));
    EXPECT_EQ(report.sharesPosted, 2);
    EXPECT_EQ(shareForms(), (std::vector<std::string>{"action=share&email=甲@sina.test",
                                                      "action=share&email=乙@sohu.test"}));
    EXPECT_FALSE(std::filesystem::exists(openFolder_));
    EXPECT_FALSE(report.filesDownloaded);
    EXPECT_EQ(report.reminder, "");
}

TEST_F(ExitSequenceTest, AnyOtherAnswerSavesNothingAndTheExitGoesOn) {
    IniSettings().writeRemainTask("");
    ScopedRecordingNoticeBox notices(NoticeAnswer::Cancel);
    ExitReport report = runExitSequence({openFolder_.string()}, list_);
    EXPECT_TRUE(report.asked);
    EXPECT_FALSE(report.tasksSaved);
    EXPECT_EQ(notices.messages(), std::vector<std::string>{kExitQuestionText});
    EXPECT_EQ(IniSettings().readRemainTask(), "");
    // What is not saved is cancelled, so its pipeline removes what it sent.
    EXPECT_EQ(report.tasksCancelled, 2);
    EXPECT_FALSE(list_.hasRunningTasks());
    EXPECT_TRUE(list_.isCancelled(1));
    EXPECT_TRUE(list_.isCancelled(2));
    EXPECT_EQ(shareForms().size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(openFolder_));
}

TEST_F(ExitSequenceTest, ADeclinedQuestionStopsTheExitWhereTheProgramCanGoOn) {
    IniSettings().writeRemainTask("");
    processValues().filesDownloaded = true;
    ScopedRecordingNoticeBox notices(NoticeAnswer::Cancel);
    ExitInputs inputs{openFolder_.string()};
    inputs.cancelKeepsRunning = true;
    ExitReport report = runExitSequence(inputs, list_);
    EXPECT_TRUE(report.declined);
    EXPECT_FALSE(report.tasksSaved);
    // Asked as a question (with a Cancel to choose), and nothing after it.
    EXPECT_EQ(notices.questions(), std::vector<std::string>{kExitQuestionText});
    EXPECT_EQ(notices.messages(), std::vector<std::string>{kExitQuestionText});
    EXPECT_EQ(IniSettings().readRemainTask(), "");
    EXPECT_TRUE(shareForms().empty());
    EXPECT_TRUE(std::filesystem::exists(openFolder_));
    EXPECT_TRUE(list_.hasRunningTasks());
}

TEST_F(ExitSequenceTest, OnlyCancelledTasksAskNothingAndSavedRecordsStay) {
    ASSERT_TRUE(list_.cancelTask("甲@sina.test", "a.doc"));
    ASSERT_TRUE(list_.cancelTask("乙@sohu.test", "b.doc"));
    // A record kept from an earlier run is not touched.
    ASSERT_TRUE(
        saveRemainingTasks(IniSettings(), {test::makeTask("甲@sina.test", "old.doc", 9)}, true));
    ScopedRecordingNoticeBox notices(NoticeAnswer::Ok);
    ExitReport report = runExitSequence({}, list_);
    EXPECT_FALSE(report.asked);
    EXPECT_TRUE(notices.messages().empty());
    EXPECT_EQ(savedNames(), std::vector<std::string>{"old.doc"});
    EXPECT_EQ(report.sharesPosted, 2);
    EXPECT_TRUE(std::filesystem::exists(openFolder_));  // none was named
}

TEST_F(ExitSequenceTest, OkAppendsToRecordsOfAnEarlierRun) {
    ASSERT_TRUE(
        saveRemainingTasks(IniSettings(), {test::makeTask("甲@sina.test", "old.doc", 9)}, true));
    ScopedRecordingNoticeBox notices(NoticeAnswer::Ok);
    runExitSequence({}, list_);
    EXPECT_EQ(savedNames(), (std::vector<std::string>{"old.doc", "a.doc", "b.doc"}));
}

TEST_F(ExitSequenceTest, RemindsOfDownloadedFilesWithTheDefaultFolderOrWithout) {
    list_.clear();
    processValues().filesDownloaded = true;
    {
        ScopedRecordingNoticeBox notices(NoticeAnswer::Ok);
        ExitReport report = runExitSequence({}, list_);
        EXPECT_TRUE(report.filesDownloaded);
        EXPECT_EQ(report.reminder, kChosenFolderReminderText);
        EXPECT_EQ(notices.messages(), std::vector<std::string>{kChosenFolderReminderText});
    }
    ASSERT_TRUE(IniSettings().writeDefPath("/home/u/下载"));
    ScopedRecordingNoticeBox notices(NoticeAnswer::Ok);
    ExitReport report = runExitSequence({}, list_);
    EXPECT_EQ(report.reminder, "请妥善处理下载目录: /home/u/下载 中的文件!");
    EXPECT_EQ(notices.messages(), std::vector<std::string>{report.reminder});
}

TEST_F(ExitSequenceTest, AnAccountWithoutCatalogPostsNothing) {
    list_.clear();
    clearLoggedInAccounts();
    MailboxAccount account("丙@sina.test", "pw");
    account.loginAddress = "丙@sina.test";
    ASSERT_TRUE(addLoggedInAccount(account));
    ScopedRecordingNoticeBox notices(NoticeAnswer::Ok);
    EXPECT_EQ(runExitSequence({}, list_).sharesPosted, 0);
    EXPECT_TRUE(shareForms().empty());
}

}  // namespace
}  // namespace parvola
