#include "transfer/remaining_tasks.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ini_file.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/task_list_support.h"

namespace parvola {
namespace {

const std::string kRecord =
    "user1$上传$f.txt$C:\\f.txt$1256450000$30000000$3$10485760$4711$我的文档$"
    "PARVOL:;f.txt;4711;1256449000;10485760;0000000000;3;1#";

TransferTask recordTask() {
    TransferTask task;
    task.user = "user1";
    task.direction = TransferDirection::Upload;
    task.fileName = "f.txt";
    task.localPath = "C:\\f.txt";
    task.startTime = 1256450000;
    task.fileSize = 30000000;
    task.nextPieceIndex = 3;
    task.pieceSize = 10485760;
    task.fileId = 4711;
    task.catalogFolder = "我的文档";
    task.subject = "PARVOL:;f.txt;4711;1256449000;10485760;0000000000;3;1";
    task.progress = 42;  // not kept
    task.speed = 9000;   // not kept
    return task;
}

TransferTask taskOf(const std::string& user, const std::string& name, int fileId) {
    TransferTask task = test::makeTask(user, name, fileId);
    task.nextPieceIndex = 2;
    return task;
}

std::vector<std::string> names(const std::vector<TransferTask>& tasks) {
    std::vector<std::string> result;
    for (const auto& task : tasks)
        result.push_back(task.user + "/" + task.fileName);
    return result;
}

class RemainingTasksTest : public ::testing::Test {
  protected:
    test::TempDir runtime_{"parvola-run"};
    test::ScopedEnv lockFolder_{"XDG_RUNTIME_DIR", runtime_.str()};
    test::AppHome home_;
    IniSettings settings_;
    std::string stored() const {
        return readProfileString("Generic", "RemainTask", "<missing>", settings_.path());
    }
    void store(const std::string& value) { ASSERT_TRUE(settings_.writeRemainTask(value)); }
};

TEST_F(RemainingTasksTest, OneRecordIsOneLineOfElevenFields) {
    EXPECT_EQ(formatRemainingTask(recordTask()), kRecord);
    ASSERT_TRUE(saveRemainingTasks(settings_, {recordTask()}, true));
    EXPECT_EQ(stored(), kRecord);
    EXPECT_NE(test::readFile(settings_.path()).find("[Generic]\nRemainTask=" + kRecord + "\n"),
              std::string::npos);
}

TEST_F(RemainingTasksTest, TakingItsUsersRecordEmptiesTheValue) {
    store(kRecord);
    const auto taken = takeRemainingTasks(settings_, "user1");
    ASSERT_EQ(taken.size(), 1u);
    const TransferTask& task = taken[0];
    EXPECT_EQ(task.user, "user1");
    EXPECT_TRUE(task.isUpload());
    EXPECT_EQ(task.fileName, "f.txt");
    EXPECT_EQ(task.localPath, "C:\\f.txt");
    EXPECT_EQ(task.startTime, 1256450000);
    EXPECT_EQ(task.fileSize, 30000000);
    EXPECT_EQ(task.nextPieceIndex, 3);
    EXPECT_EQ(task.pieceSize, 10485760);
    EXPECT_EQ(task.fileId, 4711);
    EXPECT_EQ(task.catalogFolder, "我的文档");
    EXPECT_EQ(task.subject, "PARVOL:;f.txt;4711;1256449000;10485760;0000000000;3;1");
    EXPECT_EQ(task.progress, 0);
    EXPECT_EQ(task.speed, 0);
    EXPECT_FALSE(task.cancelled);
    EXPECT_EQ(task.threadId, currentThreadId());
    EXPECT_EQ(stored(), "");
}

TEST_F(RemainingTasksTest, AnotherUsersTakeLeavesTheValueAsItWas) {
    store(kRecord);
    EXPECT_TRUE(takeRemainingTasks(settings_, "user2").empty());
    EXPECT_TRUE(takeRemainingTasks(settings_, "USER1").empty());  // case-sensitive
    EXPECT_EQ(stored(), kRecord);
}

TEST_F(RemainingTasksTest, TwoUsersRecordsKeepTheOthersInOrder) {
    ASSERT_TRUE(saveRemainingTasks(
        settings_,
        {taskOf("a", "1.bin", 1), taskOf("b", "2.bin", 2), taskOf("a", "3.bin", 3),
         taskOf("b", "4.bin", 4), taskOf("b", "5.bin", 5)},
        false));
    const std::string bRecords = formatRemainingTask(taskOf("b", "2.bin", 2)) +
                                 formatRemainingTask(taskOf("b", "4.bin", 4)) +
                                 formatRemainingTask(taskOf("b", "5.bin", 5));
    EXPECT_EQ(names(takeRemainingTasks(settings_, "a")),
              (std::vector<std::string>{"a/1.bin", "a/3.bin"}));
    EXPECT_EQ(stored(), bRecords);

    // Saved at exit after the take: behind the kept records of the other user.
    ASSERT_TRUE(saveRemainingTasks(settings_, {taskOf("a", "6.bin", 6)}, false));
    EXPECT_EQ(stored(), bRecords + formatRemainingTask(taskOf("a", "6.bin", 6)));
    EXPECT_EQ(names(takeRemainingTasks(settings_, "b")),
              (std::vector<std::string>{"b/2.bin", "b/4.bin", "b/5.bin"}));
    EXPECT_EQ(names(takeRemainingTasks(settings_, "a")), (std::vector<std::string>{"a/6.bin"}));
    EXPECT_EQ(stored(), "");
}

TEST_F(RemainingTasksTest, PiecesOfTenOrTwelveFieldsAreDroppedForGood) {
    const std::string ten = "user1$上传$f.txt$C:\\f.txt$1$2$3$4$5$folder#";
    const std::string twelve = "user1$上传$f.txt$C:\\f.txt$1$2$3$4$5$folder$subject$extra#";
    const std::string other = formatRemainingTask(taskOf("user2", "k.bin", 9));
    store(ten + kRecord + twelve + other + "##user1$unterminated");
    EXPECT_EQ(parseRemainingTasks(ten + twelve).size(), 0u);

    EXPECT_EQ(names(takeRemainingTasks(settings_, "user1")),
              (std::vector<std::string>{"user1/f.txt"}));
    EXPECT_EQ(stored(), other);  // malformed pieces and the tail are gone
    EXPECT_TRUE(takeRemainingTasks(settings_, "user1").empty());
}

TEST_F(RemainingTasksTest, CancelledTasksAreNeverSaved) {
    TransferTask cancelled = taskOf("u", "gone.bin", 1);
    cancelled.cancelled = true;
    ASSERT_TRUE(saveRemainingTasks(settings_, {cancelled, taskOf("u", "kept.bin", 2)}, true));
    EXPECT_EQ(names(takeRemainingTasks(settings_, "u")), (std::vector<std::string>{"u/kept.bin"}));
    ASSERT_TRUE(saveRemainingTasks(settings_, {cancelled}, true));
    EXPECT_EQ(stored(), "");
}

TEST_F(RemainingTasksTest, ExitSavesOnlyRunningTasksBehindTheStoredOnes) {
    store(kRecord);
    TaskList list;
    list.addTask(taskOf("u", "cancelled.bin", 1));
    list.addTask(taskOf("u", "running.bin", 2));
    ASSERT_TRUE(list.cancelTask("u", "cancelled.bin"));
    ASSERT_TRUE(saveUnfinishedTasksAtExit(list));
    EXPECT_EQ(stored(), kRecord + formatRemainingTask(taskOf("u", "running.bin", 2)));
}

TEST_F(RemainingTasksTest, TextsWithSeparatorsAndPercentReadBackWhole) {
    TransferTask task = recordTask();
    task.fileName = "50% off $5 #1.txt";
    task.localPath = "/home/u/$HOME/#tmp/50%/50% off $5 #1.txt";
    task.catalogFolder = "a\\b#c$d%e";
    task.user = "u$er#1%";
    task.subject = "PARVOL:;50% off $5 #1.txt;4711;1;2;0000000000;3;1";
    const std::string record = formatRemainingTask(task);
    EXPECT_EQ(record.find('#'), record.size() - 1);
    EXPECT_EQ(std::count(record.begin(), record.end(), '$'), 10);
    EXPECT_NE(record.find("50%25 off %245 %231.txt"), std::string::npos);

    store(record + kRecord);
    const auto taken = takeRemainingTasks(settings_, "u$er#1%");
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].fileName, task.fileName);
    EXPECT_EQ(taken[0].localPath, task.localPath);
    EXPECT_EQ(taken[0].catalogFolder, task.catalogFolder);
    EXPECT_EQ(taken[0].subject, task.subject);
    EXPECT_EQ(stored(), kRecord);

    // Line breaks would split the settings line; they travel escaped too.
    task.fileName = "two\r\nlines";
    ASSERT_TRUE(saveRemainingTasks(settings_, {task}, true));
    EXPECT_EQ(takeRemainingTasks(settings_, task.user).at(0).fileName, "two\r\nlines");

    EXPECT_EQ(unescapeRecordText("100%"), "100%");
    EXPECT_EQ(unescapeRecordText("%41%2"), "%41%2");  // only our own escapes are undone
    EXPECT_EQ(unescapeRecordText("%0a%0D%2525"), "\n\r%25");
    EXPECT_EQ(escapeRecordText("plain 文本 \\ ; :"), "plain 文本 \\ ; :");
}

TEST_F(RemainingTasksTest, LongValuesAreReadAndWrittenWhole) {
    std::vector<TransferTask> tasks;
    for (int i = 0; i < 500; ++i)
        tasks.push_back(taskOf(i % 2 ? "odd" : "even", "file" + std::to_string(i) + ".bin", i));
    ASSERT_TRUE(saveRemainingTasks(settings_, tasks, false));
    ASSERT_GT(stored().size(), 65536u);
    const auto odd = takeRemainingTasks(settings_, "odd");
    ASSERT_EQ(odd.size(), 250u);
    EXPECT_EQ(odd.back().fileName, "file499.bin");
    const auto even = takeRemainingTasks(settings_, "even");
    ASSERT_EQ(even.size(), 250u);
    EXPECT_EQ(even.back().fileId, 498);
}

TEST_F(RemainingTasksTest, NumbersAreReadFromTheirLeadingDigits) {
    const auto tasks = parseRemainingTasks("u$下载$n$p$12abc$-5$x$ 7$4711z$f$s#");
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].startTime, 12);
    EXPECT_EQ(tasks[0].fileSize, -5);
    EXPECT_EQ(tasks[0].nextPieceIndex, 0);
    EXPECT_EQ(tasks[0].pieceSize, 7);
    EXPECT_EQ(tasks[0].fileId, 4711);
    EXPECT_FALSE(tasks[0].isUpload());
}

TEST_F(RemainingTasksTest, DirectionIsStoredAsItsTextAndAnyOtherTextReadsAsUnset) {
    const auto tasks = parseRemainingTasks(
        "u$上传$a$p$1$1$1$1$1$f$s#u$下载$b$p$1$1$1$1$1$f$s#"
        "u$upload$c$p$1$1$1$1$1$f$s#");
    ASSERT_EQ(tasks.size(), 3u);
    EXPECT_EQ(tasks[0].direction, TransferDirection::Upload);
    EXPECT_EQ(tasks[1].direction, TransferDirection::Download);
    EXPECT_EQ(tasks[2].direction, TransferDirection::Unset);
    EXPECT_EQ(formatRemainingTask(tasks[0]), "u$上传$a$p$1$1$1$1$1$f$s#");
    EXPECT_EQ(formatRemainingTask(tasks[1]), "u$下载$b$p$1$1$1$1$1$f$s#");
    EXPECT_EQ(formatRemainingTask(tasks[2]), "u$upload$c$p$1$1$1$1$1$f$s#");
}

}  // namespace
}  // namespace parvola
