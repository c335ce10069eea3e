// The main frame: size and place, menus and their enabling, status bar,
// toolbar, caption buttons and the skinned button.
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>

#include "presentation/view_texts.h"
#include "shell/file_list.h"
#include "shell/skin.h"
#include "shell/task_list_view.h"
#include "shell/toolbar.h"
#include "tests/shell/ui/ui_support.h"

namespace parvola::test {
namespace {

using FrameUi = UiTest;

QStringList menuTexts(QMenuBar* bar) {
    QStringList texts;
    for (QAction* action : bar->actions()) {
        texts << action->text();
        if (action->menu())
            for (QAction* item : action->menu()->actions())
                texts << "  " + item->text();
    }
    return texts;
}

TEST_F(FrameUi, OpensAt150By100With1034By592) {
    auto& f = frame();
    EXPECT_EQ(f.geometry().topLeft(), QPoint(150, 100));
    EXPECT_EQ(f.size(), QSize(1034, 592));
}

TEST_F(FrameUi, MenuBarHasTheLabelsOfTheResource) {
    auto* bar = frame().findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    // The resource's items, and the encryption of the selected account's
    // store after the login.
    const QStringList expected = {"账号(&A)",
                                  "  登录",
                                  "  加密存储(&E)...",
                                  "  更改存储口令(&P)...",
                                  "  退出(&X)",
                                  "存储(&U)",
                                  "  上传",
                                  "读取(&D)",
                                  "  下载",
                                  "设置(&D)",
                                  "帮助(&H)",
                                  "  关于 parvolix(&A)..."};
    EXPECT_EQ(menuTexts(bar), expected);
}

TEST_F(FrameUi, UploadAndDownloadNeedAnAccount) {
    auto& f = frame();
    EXPECT_FALSE(f.uploadAction()->isEnabled());
    EXPECT_FALSE(f.downloadAction()->isEnabled());
    const std::string account = addOfflineAccount();
    // The account node lists the files kept at the user level, which can be
    // read; a store there is refused with its reason by the store dialog.
    select(account, "");
    EXPECT_TRUE(f.uploadAction()->isEnabled());
    EXPECT_TRUE(f.downloadAction()->isEnabled());
    select(account, "我的文档");
    EXPECT_TRUE(f.uploadAction()->isEnabled());
    EXPECT_TRUE(f.downloadAction()->isEnabled());
}

TEST_F(FrameUi, StatusBarShowsReadyTheIndicatorsAndTheSpaceLine) {
    auto& f = frame();
    QStringList labels;
    for (auto* label : f.statusBar()->findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains("就绪"));
    EXPECT_TRUE(labels.contains("大写"));
    EXPECT_TRUE(labels.contains("数字"));
    EXPECT_TRUE(labels.contains("滚动"));
    const std::string account = addOfflineAccount();
    select(account, "我的文档");
    EXPECT_EQ(f.spaceText(), "总空间500M  文件个数0  已用空间0M  可用空间500M");
}

TEST_F(FrameUi, FivePanesInTheirSplitters) {
    auto& f = frame();
    EXPECT_EQ(f.splitter('A')->widget(0), f.splitter('B'));
    EXPECT_EQ(f.splitter('A')->widget(1), static_cast<QWidget*>(ui::panes().notice));
    EXPECT_EQ(f.splitter('B')->widget(0), static_cast<QWidget*>(ui::panes().tree));
    EXPECT_EQ(f.splitter('B')->widget(1), f.splitter('C'));
    EXPECT_EQ(f.splitter('C')->widget(0), static_cast<QWidget*>(ui::panes().toolbar));
    EXPECT_EQ(f.splitter('D')->widget(0), static_cast<QWidget*>(ui::panes().fileList));
    EXPECT_EQ(f.splitter('D')->widget(1), static_cast<QWidget*>(ui::panes().taskList));
    ASSERT_TRUE(waitFor([&] { return ui::panes().tree->width() > 0; }));
    EXPECT_EQ(f.splitter('B')->sizes().front(), 200);
    EXPECT_EQ(f.splitter('C')->sizes().front(), 74);
}

TEST_F(FrameUi, ToolbarHasItsEightButtonsAndTheShareLink) {
    frame();
    auto* toolbar = ui::panes().toolbar;
    const QStringList expected = {"存储", "读取", "删除", "恢复", "设置", "共享", "登录", "暂停"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(toolbar->button(i)->text(), expected[i]);
    EXPECT_NE(toolbar->button(5)->link().find("group_login.php"), std::string::npos);
}

TEST_F(FrameUi, ShareClickOpensTheGroupPageAndPostsTheWebLogin) {
    frame();
    ui::panes().toolbar->button(5)->click();
    ASSERT_TRUE(waitFor([&] { return !opened_.targets().empty(); }));
    EXPECT_NE(opened_.targets().front().find("group_login.php"), std::string::npos);
}

TEST_F(FrameUi, CaptionButtonsSitWhereTheFrameThicknessPutsThem) {
    const int w = 1034, fx = ui::skin::kFrameThickness, fy = fx;
    using ui::CaptionButton;
    EXPECT_EQ(ui::captionButtonRect(CaptionButton::Minimise, w),
              QRect(QPoint(w - fx - 60, fy + 2), QPoint(w - fx - 43, fy + 19)));
    EXPECT_EQ(ui::captionButtonRect(CaptionButton::Maximise, w).left(), w - fx - 42);
    EXPECT_EQ(ui::captionButtonRect(CaptionButton::Close, w).left(), w - fx - 24);
    EXPECT_EQ(ui::captionButtonRect(CaptionButton::Close, w).right(), w - fx - 11);
    auto& f = frame();
    EXPECT_EQ(f.caption()->buttonAt(QPoint(w - fx - 20, fy + 10)), CaptionButton::Close);
    EXPECT_EQ(f.caption()->buttonAt(QPoint(w - fx - 50, fy + 10)), CaptionButton::Minimise);
    EXPECT_EQ(f.caption()->buttonAt(QPoint(w / 2, fy + 10)), CaptionButton::None);
}

TEST_F(FrameUi, WithATrayTheCloseButtonHidesIntoIt) {
    auto& f = frame();
    if (!f.hasTray())
        GTEST_SKIP() << "this desktop has no tray (instance_uitest covers that case)";
    f.caption()->pressButton(ui::CaptionButton::Close);
    EXPECT_FALSE(f.isVisible());
    f.showFromTray();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.size(), QSize(1034, 592));
    EXPECT_TRUE(frame_);  // not destroyed
}

TEST_F(FrameUi, WithoutATrayTheMenusExitRunsTheExitSequence) {
    auto& f = frame();
    if (f.hasTray())
        GTEST_SKIP() << "this desktop has a tray";
    taskList().addTask([] {
        TransferTask task;
        task.user = "demo@parvola.test";
        task.fileName = "a.bin";
        task.fileId = 7;
        return task;
    }());
    f.exitAction()->trigger();
    EXPECT_EQ(messages(), std::vector<std::string>({"有传输任务正在进行中，是否继续"}));
    ASSERT_TRUE(waitFor([&] { return frame_.isNull(); }));
}

TEST_F(FrameUi, ADesktopCloseGoesThroughTheExitSequence) {
    auto& f = frame();
    taskList().addTask([] {
        TransferTask task;
        task.user = "demo@parvola.test";
        task.fileName = "b.bin";
        task.fileId = 8;
        return task;
    }());
    f.close();
    ASSERT_TRUE(waitFor([&] { return frame_.isNull(); }));
    EXPECT_EQ(messages(), std::vector<std::string>({"有传输任务正在进行中，是否继续"}));
}

TEST_F(FrameUi, SkinButtonCheckBoxModeTogglesAndOpensNoLink) {
    ui::SkinButton button("x");
    button.setLink("http://127.0.0.1:9/page.html");
    button.setCheckBoxMode(true);
    button.click();
    EXPECT_TRUE(button.isBoxChecked());
    button.click();
    EXPECT_FALSE(button.isBoxChecked());
    QApplication::processEvents();
    EXPECT_TRUE(opened_.targets().empty());
}

TEST_F(FrameUi, SkinButtonLinkIsClippedAndAFailedOpenIsShown) {
    ui::SkinButton button("x");
    button.setLink(std::string(300, 'a'));
    EXPECT_EQ(button.link().size(), 260u);
    opened_.setAnswer(false);
    button.click();
    ASSERT_TRUE(waitFor([&] { return !messages().empty(); }));
    EXPECT_EQ(messages().front(), "无法打开: " + std::string(260, 'a'));
}

}  // namespace
}  // namespace parvola::test
