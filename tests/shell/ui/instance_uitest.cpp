// One client per application directory and user, and a close that never
// leaves an invisible client running: a second start raises the first
// window; without a tray the close is the exit, with its question.
#include <QRandomGenerator>
#include <atomic>
#include <thread>

#include "shell/single_instance.h"
#include "shell/skin.h"
#include "tests/shell/ui/ui_support.h"

namespace parvola::test {
namespace {

using InstanceUi = UiTest;

QString freshKey() {
    return QStringLiteral("parvola-test-%1").arg(QRandomGenerator::global()->generate());
}

TEST_F(InstanceUi, ASecondStartRaisesTheRunningWindowInsteadOfStaying) {
    const QString key = freshKey();
    ui::SingleInstance first(key);
    ASSERT_TRUE(first.isPrimary());
    auto& f = frame();
    QObject::connect(&first, &ui::SingleInstance::showRequested, &f, &ui::CMainFrame::showFromTray);
    f.showMinimized();
    ASSERT_TRUE(waitFor([&] { return f.isMinimized(); }));
    {
        ui::SingleInstance second(key);
        EXPECT_FALSE(second.isPrimary());
        std::atomic<bool> done{false};
        bool answered = false;
        // The later start waits for the answer without an event loop of its own.
        std::thread start([&] {
            answered = second.askRunningToShow(10000);
            done = true;
        });
        ASSERT_TRUE(waitFor([&] { return done.load(); }, 15000));
        start.join();
        EXPECT_TRUE(answered);
    }
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.isMinimized());
}

TEST_F(InstanceUi, TheLockEndsWithTheClientAndIsKeyedByTheApplicationDirectory) {
    const QString key = freshKey();
    {
        ui::SingleInstance first(key);
        ASSERT_TRUE(first.isPrimary());
    }
    ui::SingleInstance again(key);
    EXPECT_TRUE(again.isPrimary());
    // Nobody listens under a key no client holds: a later start gives up.
    ui::SingleInstance stranger(freshKey());
    EXPECT_TRUE(stranger.isPrimary());

    const QString here = ui::instanceKey();
    TempDir otherHome;
    ScopedEnv home("PARVOLA_HOME", otherHome.str());
    EXPECT_NE(ui::instanceKey(), here);
}

TEST_F(InstanceUi, WithoutATrayTheCloseButtonIsTheExitAndCancelKeepsTheWindow) {
    auto& f = frame();
    if (f.hasTray())
        GTEST_SKIP() << "this desktop has a tray";
    TransferTask task;
    task.user = "demo@parvola.test";
    task.fileName = "a.bin";
    task.fileId = 61;
    taskList().addTask(task);
    notices_.box().setAnswer(NoticeAnswer::Cancel);
    f.caption()->pressButton(ui::CaptionButton::Close);
    EXPECT_EQ(notices_.questions(), std::vector<std::string>({"有传输任务正在进行中，是否继续"}));
    QApplication::processEvents();
    ASSERT_FALSE(frame_.isNull());
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.isMinimized());

    notices_.box().setAnswer(NoticeAnswer::Ok);
    f.exitAction()->trigger();
    ASSERT_TRUE(waitFor([&] { return frame_.isNull(); }));
    EXPECT_NE(IniSettings().readRemainTask().find("a.bin"), std::string::npos);
}

}  // namespace
}  // namespace parvola::test
