// Transfers as the task list pane shows them: a store queued behind a pause
// has its row and is saved at exit, a paused transfer shows paused and the
// pause button says what a click does next, a finished transfer says so.
#include <QLineEdit>
#include <QStatusBar>
#include <thread>

#include "shell/dialogs.h"
#include "shell/icons.h"
#include "shell/task_list_view.h"
#include "shell/toolbar.h"
#include "tests/shell/ui/ui_support.h"
#include "transfer/pause_state.h"
#include "transfer/remaining_tasks.h"

namespace parvola::test {
namespace {

class TransfersUi : public UiTest {
  protected:
    void TearDown() override {
        resumeTransfers();
        UiTest::TearDown();
    }
};

bool sameImage(const QPixmap& a, const QPixmap& b) {
    return a.toImage() == b.toImage();
}

TEST_F(TransfersUi, AStoreStartedWhilePausedHasARowAndIsSavedAtExit) {
    const std::string account = addOfflineAccount();
    select(account, "我的文档");
    const auto source = home_.path() / "报告.pdf";
    writeFile(source, randomBytes(4096, 5));
    auto* pause = ui::panes().toolbar->button(7);
    pause->click();
    ASSERT_EQ(transferState(), kTransfersPaused);

    ui::panes().toolbar->storeCommand();
    auto* dialog = ui::openDialog<ui::StoreDialog>();
    ASSERT_NE(dialog, nullptr);
    dialog->pathField()->setText(QString::fromStdString(source.string()));
    dialog->submit();

    auto* view = ui::panes().taskList;
    ASSERT_TRUE(
        waitFor([&] { return view->rowCount() == 1 && view->lineTexts(0)[7] == "已暂停"; }));
    EXPECT_EQ(view->lineTexts(0)[2], "报告.pdf");
    EXPECT_EQ(view->lineTexts(0)[1], "上传");

    // The exit question is asked for it, and OK keeps it for the next run.
    ui::runDesktopExit();
    EXPECT_EQ(messages(), std::vector<std::string>({"有传输任务正在进行中，是否继续"}));
    const std::vector<TransferTask> saved = parseRemainingTasks(IniSettings().readRemainTask());
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].fileName, "报告.pdf");
    EXPECT_EQ(saved[0].localPath, source.string());
    EXPECT_EQ(saved[0].catalogFolder, "我的文档");
    EXPECT_EQ(saved[0].nextPieceIndex, 1);
    EXPECT_FALSE(saved[0].subject.empty());
    // The queued worker of this test ends quietly.
    ASSERT_TRUE(taskList().cancelTask(account, "报告.pdf"));
}

TEST_F(TransfersUi, APausedTransferShowsPausedAndTheButtonShowsResume) {
    frame();
    auto* view = ui::panes().taskList;
    TransferTask task;
    task.user = "demo@parvola.test";
    task.direction = TransferDirection::Upload;
    task.fileName = "a.bin";
    task.fileSize = 30000000;
    task.pieceSize = 10000000;
    task.fileId = 51;
    taskList().addTask(task);
    taskList().reportSpeed(51, 40.0f, 12 * 1024, false);
    ASSERT_TRUE(
        waitFor([&] { return view->rowCount() == 1 && view->lineTexts(0)[7] == "12KByte/s"; }));

    auto* pause = ui::panes().toolbar->button(7);
    EXPECT_TRUE(sameImage(pause->normalImage(), ui::toolbarImage(7, false)));
    pause->click();
    EXPECT_EQ(pause->text(), "继续");
    EXPECT_TRUE(sameImage(pause->normalImage(), ui::toolbarImage(ui::kResumeImage, false)));

    // The pipeline reaches its next piece and waits there. (Resumed and
    // joined on every way out of the test.)
    struct Pipeline {
        std::thread thread{[] { taskList().waitWhilePaused(51); }};
        ~Pipeline() {
            resumeTransfers();
            thread.join();
        }
    } pipeline;
    ASSERT_TRUE(waitFor([&] { return view->lineTexts(0)[7] == "已暂停"; }));
    taskList().redraw();  // a redraw keeps saying so
    QApplication::processEvents();
    ASSERT_TRUE(waitFor([&] { return view->rowCount() == 1; }));
    EXPECT_EQ(view->lineTexts(0)[7], "已暂停");

    pause->click();
    EXPECT_EQ(pause->text(), "暂停");
    EXPECT_TRUE(sameImage(pause->normalImage(), ui::toolbarImage(7, false)));
    // Running again, but nothing has moved yet: no speed until the next report.
    ASSERT_TRUE(waitFor([&] { return view->lineTexts(0)[7].isEmpty(); }));
}

TEST_F(TransfersUi, AFinishedTransferSaysSoInTheStatusBarAndOnTheDesktop) {
    std::vector<QString> shown;
    ui::setDesktopNotifier([&](const QString&, const QString& text) { shown.push_back(text); });
    auto& f = frame();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    TransferTask task;
    task.user = "demo@parvola.test";
    task.direction = TransferDirection::Download;
    task.fileName = "照片.jpg";
    task.fileId = 52;
    taskList().addTask(task);
    std::thread worker([task] {
        taskList().removeTask(task);
        taskList().reportFinished(task);
    });
    worker.join();
    ASSERT_TRUE(waitFor([&] { return f.finishedText() == "下载完成: 照片.jpg"; }));
    // The window is the one the user looks at: no desktop notification.
    EXPECT_TRUE(shown.empty());

    f.hide();
    task.direction = TransferDirection::Upload;
    task.fileName = "报告.pdf";
    taskList().reportFinished(task);
    ASSERT_TRUE(waitFor([&] { return !shown.empty() && shown.back() == "上传完成: 报告.pdf"; }));
    ui::setDesktopNotifier({});
}

}  // namespace
}  // namespace parvola::test
