// Questions on the desktop: the real notice box offers OK and Cancel for every
// question, and Cancel, Escape and the close box decline. Declining the exit
// question returns to the program with its transfers; declining the purge
// question purges nothing.
#include <QPlainTextEdit>
#include <QTimer>
#include <functional>

#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "shell/qt_notice_box.h"
#include "shell/task_list_view.h"
#include "tests/shell/ui/ui_support.h"

namespace parvola::test {
namespace {

// Puts the desktop's own notice box in place of the recording one.
class QtBoxInstalled {
  public:
    QtBoxInstalled() : previous_(installNoticeBox(std::make_shared<ui::QtNoticeBox>())) {}
    ~QtBoxInstalled() { installNoticeBox(previous_); }

  private:
    std::shared_ptr<NoticeBox> previous_;
};

// Answers the next notice box that opens, once it is on screen: `how` gets
// the dialog (and records what it saw).
void answerNextBox(std::function<void(ui::NoticeDialog*)> how) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [how, poll] {
        if (auto* dialog = ui::openDialog<ui::NoticeDialog>()) {
            how(dialog);
            *poll = nullptr;  // ends the cycle
            return;
        }
        QTimer::singleShot(10, [poll] {
            if (*poll)
                (*poll)();
        });
    };
    QTimer::singleShot(0, [poll] { (*poll)(); });
}

// Cancel, when the box has it; else the close box, so that a box without
// Cancel still ends and the test can say what was missing.
void decline(ui::NoticeDialog* dialog) {
    if (auto* cancel = dialog->cancelButton())
        cancel->click();
    else
        dialog->reject();
}

TransferTask runningUpload(const std::string& name, int fileId) {
    TransferTask task;
    task.user = "demo@parvola.test";
    task.direction = TransferDirection::Upload;
    task.fileName = name;
    task.localPath = "/tmp/" + name;
    task.fileSize = 100;
    task.pieceSize = 100;
    task.catalogFolder = "我的文档";
    task.startTime = 1700000000 + fileId;
    task.fileId = fileId;
    return task;
}

using QuestionsUi = UiTest;

TEST_F(QuestionsUi, AQuestionHasOkAndCancelAndEveryWayOfClosingDeclines) {
    ui::QtNoticeBox box;
    QString okText, cancelText;
    answerNextBox([&](ui::NoticeDialog* dialog) {
        okText = dialog->okButton()->text();
        cancelText = dialog->cancelButton() ? dialog->cancelButton()->text() : QString();
        decline(dialog);
    });
    EXPECT_EQ(box.ask("是否继续"), NoticeAnswer::Cancel);
    EXPECT_EQ(okText, "确    定");
    EXPECT_EQ(cancelText, "取    消");

    answerNextBox([](ui::NoticeDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_EQ(box.ask("是否继续"), NoticeAnswer::Cancel);

    answerNextBox(
        [](ui::NoticeDialog* dialog) { dialog->caption()->pressButton(ui::CaptionButton::Close); });
    EXPECT_EQ(box.ask("是否继续"), NoticeAnswer::Cancel);

    // Enter takes the default button, OK.
    answerNextBox([](ui::NoticeDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
    EXPECT_EQ(box.ask("是否继续"), NoticeAnswer::Ok);

    // A message keeps its one button.
    bool single = false;
    answerNextBox([&](ui::NoticeDialog* dialog) {
        single = dialog->cancelButton() == nullptr;
        dialog->okButton()->click();
    });
    EXPECT_EQ(box.show("文件读取错误"), NoticeAnswer::Ok);
    EXPECT_TRUE(single);
}

TEST_F(QuestionsUi, DetailsOfAMessageShowBehindTheirButton) {
    ui::QtNoticeBox box;
    const std::string message = withNoticeDetails("文件:a.bin网络问题,上传失败.请稍后再试!",
                                                  "SMTP 127.0.0.1:25 连接被拒绝");
    bool hiddenFirst = false, shownAfter = false;
    QString shownDetails;
    answerNextBox([&](ui::NoticeDialog* dialog) {
        ASSERT_NE(dialog->detailsButton(), nullptr);
        EXPECT_EQ(dialog->detailsButton()->text(), "详细信息");
        hiddenFirst = !dialog->detailsField()->isVisible();
        dialog->detailsButton()->click();
        shownAfter = dialog->detailsField()->isVisible();
        shownDetails = dialog->detailsField()->toPlainText();
        dialog->okButton()->click();
    });
    EXPECT_EQ(box.show(message), NoticeAnswer::Ok);
    EXPECT_TRUE(hiddenFirst);
    EXPECT_TRUE(shownAfter);
    EXPECT_EQ(shownDetails, "SMTP 127.0.0.1:25 连接被拒绝");
    std::string text, details;
    splitNoticeDetails(message, text, details);
    EXPECT_EQ(text, "文件:a.bin网络问题,上传失败.请稍后再试!");
    // Without details, no button.
    answerNextBox([&](ui::NoticeDialog* dialog) {
        EXPECT_EQ(dialog->detailsButton(), nullptr);
        dialog->okButton()->click();
    });
    box.show(text);
}

TEST_F(QuestionsUi, DecliningTheExitQuestionKeepsTheProgramAndItsTransfers) {
    QtBoxInstalled desktopBox;
    frame();
    taskList().addTask(runningUpload("a.bin", 41));
    IniSettings().writeRemainTask("");
    bool hadCancel = false;
    answerNextBox([&](ui::NoticeDialog* dialog) {
        hadCancel = dialog->cancelButton() != nullptr;
        EXPECT_EQ(dialog->text(), "有传输任务正在进行中，是否继续");
        decline(dialog);
    });
    EXPECT_FALSE(ui::runDesktopExit());
    EXPECT_TRUE(hadCancel);
    QApplication::processEvents();
    ASSERT_FALSE(frame_.isNull());
    EXPECT_TRUE(frame_->isVisible());
    EXPECT_TRUE(taskList().hasRunningTasks());
    EXPECT_EQ(IniSettings().readRemainTask(), "");

    // Closing the box from its caption declines as well.
    answerNextBox(
        [](ui::NoticeDialog* dialog) { dialog->caption()->pressButton(ui::CaptionButton::Close); });
    EXPECT_FALSE(ui::runDesktopExit());
    EXPECT_FALSE(frame_.isNull());

    // OK saves the transfer and quits.
    answerNextBox([](ui::NoticeDialog* dialog) { dialog->okButton()->click(); });
    EXPECT_TRUE(ui::runDesktopExit());
    EXPECT_NE(IniSettings().readRemainTask().find("a.bin"), std::string::npos);
    ASSERT_TRUE(waitFor([&] { return frame_.isNull(); }));
}

TEST_F(QuestionsUi, PurgeAndCancelTaskAskWithBothButtonsAndCancelChangesNothing) {
    QtBoxInstalled desktopBox;
    const std::string account = addOfflineAccount();
    {
        Catalog catalog(account);
        ASSERT_EQ(
            catalog.addFileRecord("我的媒体", "a.txt", "PARVOL:;a.txt;3;1;5;0000000000;1;1", 5), 0);
        ASSERT_EQ(catalog.deleteFile("我的媒体\\a.txt"), 0);
    }
    select(account, "回收站");
    auto* list = ui::panes().fileList;
    ASSERT_EQ(list->rowCount(), 1);
    list->selectRow(0);
    bool bothButtons = false;
    answerNextBox([&](ui::NoticeDialog* dialog) {
        bothButtons = dialog->cancelButton() != nullptr;
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    list->deleteCommand();
    EXPECT_TRUE(bothButtons);
    EXPECT_EQ(list->rowCount(), 1);
    std::vector<CatalogRow> bin;
    Catalog(account).listRecycleBin(bin);
    EXPECT_EQ(bin.size(), 1u);

    auto* tasks = ui::panes().taskList;
    taskList().addTask(runningUpload("b.bin", 42));
    ASSERT_TRUE(waitFor([&] { return tasks->rowCount() == 1; }));
    tasks->selectLine(0);
    bothButtons = false;
    answerNextBox([&](ui::NoticeDialog* dialog) {
        bothButtons = dialog->cancelButton() != nullptr;
        decline(dialog);
    });
    tasks->cancelCommand();
    EXPECT_TRUE(bothButtons);
    EXPECT_FALSE(taskList().isCancelled(42));
}

}  // namespace
}  // namespace parvola::test
