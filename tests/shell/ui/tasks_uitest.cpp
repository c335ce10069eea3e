// The task list pane as a view of the engine's task list, cancel and pause,
// the exit sequence's one question, and the notice box across threads.
#include <QHeaderView>
#include <thread>

#include <QTimer>

#include "app/ini_settings.h"
#include "shell/dialogs.h"
#include "shell/qt_notice_box.h"
#include "shell/task_list_view.h"
#include "shell/toolbar.h"
#include "tests/shell/ui/ui_support.h"
#include "transfer/pause_state.h"

namespace parvola::test {
namespace {

using TasksUi = UiTest;

TransferTask runningTask(const std::string& name, int fileId, const char* direction) {
    TransferTask task;
    task.user = "demo@parvola.test";
    task.direction = directionFromText(direction);
    task.fileName = name;
    task.localPath = "/tmp/" + name;
    task.fileSize = 30000000;
    task.catalogFolder = "我的文档";
    task.startTime = 1256450000 + fileId;
    task.pieceSize = 30000000;  // one piece: the piece percent is the file percent
    task.fileId = fileId;
    return task;
}

TEST_F(TasksUi, EightColumnsWithTheirHeadersAndWidths) {
    frame();
    auto* view = ui::panes().taskList;
    const QStringList headers = {" 账号",      " 动作",    "  文件名", "  文件大小",
                                 "  保存位置", "    时间", "  进度",   "    速度"};
    const int widths[8] = {50, 50, 100, 100, 100, 100, 70, 100};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(view->horizontalHeaderItem(i)->text(), headers[i]);
        if (i < 7)
            EXPECT_EQ(view->columnWidth(i), widths[i]);
        else
            EXPECT_GE(view->columnWidth(i), widths[i]);  // fills the rest of the width
    }
}

TEST_F(TasksUi, LinesFollowTheListFromWorkerThreads) {
    frame();
    auto* view = ui::panes().taskList;
    std::thread worker([] {
        taskList().addTask(runningTask("a.bin", 11, "下载"));
        taskList().addTask(runningTask("b.bin", 12, "上传"));
        taskList().redraw();
        taskList().reportSpeed(12, 37.5f, 12 * 1024 + 5, false);
    });
    worker.join();
    ASSERT_TRUE(
        waitFor([&] { return view->rowCount() == 2 && view->lineTexts(1)[7] == "12KByte/s"; }));
    EXPECT_EQ(view->lineTexts(0)[7], "发送请求...");
    EXPECT_EQ(view->lineTexts(1)[6], "37.50%");
    EXPECT_EQ(view->lineTexts(1)[0], "demo@parvola.test");
    EXPECT_EQ(view->lineTexts(1)[1], "上传");
    EXPECT_EQ(view->lineTexts(1)[3], "30000000");
    EXPECT_EQ(view->lineTexts(1)[4], "我的文档");
    taskList().redraw();
    ASSERT_TRUE(waitFor([&] { return view->lineTexts(1)[6] == "37%"; }));
    EXPECT_EQ(view->lineTexts(1)[7], "12KByte");
}

TEST_F(TasksUi, CancelAsksAndOnlyOkCancels) {
    frame();
    auto* view = ui::panes().taskList;
    taskList().addTask(runningTask("a.bin", 21, "上传"));
    taskList().addTask(runningTask("b.bin", 22, "上传"));
    ASSERT_TRUE(waitFor([&] { return view->rowCount() == 2; }));
    notices_.box().setAnswer(NoticeAnswer::Cancel);
    view->selectLine(1);
    view->cancelCommand();
    QApplication::processEvents();
    EXPECT_EQ(view->rowCount(), 2);
    EXPECT_FALSE(taskList().isCancelled(22));
    notices_.box().setAnswer(NoticeAnswer::Ok);
    view->selectLine(1);
    view->cancelCommand();
    ASSERT_TRUE(waitFor([&] { return view->rowCount() == 1; }));
    EXPECT_EQ(view->lineTexts(0)[2], "a.bin");
    EXPECT_TRUE(taskList().isCancelled(22));
    EXPECT_EQ(messages(), std::vector<std::string>({"您是否确认取消任务!", "您是否确认取消任务!"}));
}

TEST_F(TasksUi, PauseButtonPausesAndResumes) {
    frame();
    auto* pause = ui::panes().toolbar->button(7);
    ASSERT_EQ(transferState(), kTransfersRunning);
    pause->click();
    EXPECT_EQ(transferState(), kTransfersPaused);
    EXPECT_EQ(pause->text(), "继续");
    pause->click();
    EXPECT_EQ(transferState(), kTransfersRunning);
    EXPECT_EQ(pause->text(), "暂停");
}

TEST_F(TasksUi, ExitAsksOnceWithTwoRunningTasksAndSavesBoth) {
    frame();
    taskList().addTask(runningTask("a.bin", 31, "上传"));
    taskList().addTask(runningTask("b.bin", 32, "下载"));
    std::filesystem::create_directories(ui::temporaryOpenFolder() + "/sub");
    writeFile(ui::temporaryOpenFolder() + "/sub/x.txt", "x");
    ui::runDesktopExit();
    EXPECT_EQ(messages(), std::vector<std::string>({"有传输任务正在进行中，是否继续"}));
    const std::string saved = IniSettings().readRemainTask();
    EXPECT_NE(saved.find("a.bin"), std::string::npos);
    EXPECT_NE(saved.find("b.bin"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(ui::temporaryOpenFolder()));
    ASSERT_TRUE(waitFor([&] { return frame_.isNull(); }));
}

TEST_F(TasksUi, ExitWithoutTasksOrDownloadsAsksNothing) {
    frame();
    ui::runDesktopExit();
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(IniSettings().readRemainTask(), "");
}

TEST_F(TasksUi, ExitAfterADownloadRemindsOfTheDefaultFolder) {
    frame();
    IniSettings().writeDefPath("/srv/下载");
    processValues().filesDownloaded = true;
    ui::runDesktopExit();
    EXPECT_EQ(messages(), std::vector<std::string>({"请妥善处理下载目录: /srv/下载 中的文件!"}));
}

TEST_F(TasksUi, NoticeFromAWorkerWaitsForTheUserOnTheUiThread) {
    ui::QtNoticeBox box;
    NoticeAnswer answer = NoticeAnswer::Cancel;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        answer = box.show("文件读取错误");
        done = true;
    });
    ui::NoticeDialog* dialog = nullptr;
    ASSERT_TRUE(waitFor([&] { return (dialog = ui::openDialog<ui::NoticeDialog>()) != nullptr; }));
    EXPECT_EQ(dialog->text(), "文件读取错误");
    EXPECT_FALSE(done);
    auto* ok = dialog->findChild<ui::SkinButton*>();
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "确    定");
    ok->click();
    worker.join();
    EXPECT_EQ(answer, NoticeAnswer::Ok);

    std::thread closer([&] { answer = box.show("再试"); });
    ASSERT_TRUE(waitFor([&] { return (dialog = ui::openDialog<ui::NoticeDialog>()) != nullptr; }));
    dialog->reject();  // the close button, Escape
    closer.join();
    EXPECT_EQ(answer, NoticeAnswer::Cancel);
}

TEST_F(TasksUi, NoticeOnTheUiThreadAnswersCancelWhenClosed) {
    ui::QtNoticeBox box;
    QTimer::singleShot(0, [] {
        if (auto* dialog = ui::openDialog<ui::NoticeDialog>())
            dialog->reject();
    });
    EXPECT_EQ(box.show("问题"), NoticeAnswer::Cancel);
}

}  // namespace
}  // namespace parvola::test
