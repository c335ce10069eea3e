// Drives the desktop client through a login, a store and a read against the
// servers that scripts/screenshots.sh starts, and writes screenshots of the
// login dialog, the task list while a transfer runs, the exit question and
// the main window.
//
// usage: parvola-screenshot-tour OUTPUT_FOLDER ADDRESS PASSWORD
// (PARVOLA_HOME must hold a deploy.ini that points at the servers.)
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "app/ini_settings.h"
#include "platform/app_dir.h"
#include "platform/notice_box.h"
#include "platform/worker_threads.h"
#include "presentation/view_texts.h"
#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "shell/main_frame.h"
#include "shell/my_tree.h"
#include "shell/qt_notice_box.h"
#include "shell/shell_context.h"
#include "shell/shell_engine.h"
#include "shell/task_list_view.h"
#include "shell/toolbar.h"

using namespace parvola;

namespace {

bool waitFor(const std::function<bool()>& condition, int ms) {
    return QTest::qWaitFor(condition, ms);
}

bool save(const QPixmap& pixmap, const std::string& path) {
    const bool ok = pixmap.save(QString::fromStdString(path), "PNG");
    std::cout << (ok ? "wrote " : "could not write ") << path << std::endl;
    return ok;
}

QPixmap screenAround(QWidget* window) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = window->frameGeometry().adjusted(-20, -20, 20, 20);
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
}

int fail(const std::string& why) {
    std::cerr << "screenshot tour: " << why << std::endl;
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4)
        return fail("usage: parvola-screenshot-tour OUTPUT_FOLDER ADDRESS PASSWORD");
    const std::string out = argv[1], address = argv[2], password = argv[3];
    std::filesystem::create_directories(out);
    QApplication::setQuitOnLastWindowClosed(false);
    // Messages go to the console here: a tour must not wait for a click.
    installNoticeBox(std::make_shared<ConsoleNoticeBox>());
    installRealEngineHooks();
    auto* frame = new ui::CMainFrame;
    frame->setWindowTitle(QString::fromUtf8(ui::kAppTitle));
    frame->showNormal();
    frame->openLoginDialog(true);
    auto* login = ui::openDialog<ui::LoginDialog>();
    if (!login)
        return fail("no login dialog");
    QTest::qWait(300);
    QTest::keyClicks(login->mailboxField()->lineEdit(), QString::fromStdString(address));
    QTest::keyClicks(login->passwordField(), QString::fromStdString(password));
    QTest::qWait(300);
    save(screenAround(frame), out + "/login.png");
    QTest::mouseClick(login->loginButton(), Qt::LeftButton);
    auto* tree = ui::panes().tree;
    if (!waitFor([&] { return tree->findNode(address, "") != nullptr; }, 30000))
        return fail("the login did not show the account");
    tree->setCurrentItem(tree->findNode(address, "我的文档"));
    if (!shellEngine().startUpload || !shellEngine().startDownload) {
        save(frame->grab(), out + "/main.png");
        return fail("the transfer workers are not wired into this build");
    }

    // A store of two pieces, long enough to be seen while it runs.
    const std::string source = appPath("演示视频.avi");
    {
        std::ofstream file(source, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>((i * 2654435761u) >> 13);
        for (int i = 0; i < 14; ++i)
            file << block;
    }
    ui::panes().toolbar->storeCommand();
    auto* store = ui::openDialog<ui::StoreDialog>();
    if (!store)
        return fail("no store dialog");
    store->pathField()->setText(QString::fromStdString(source));
    store->submit();
    auto* tasks = ui::panes().taskList;
    // Progress follows the bytes: wait until the row shows a figure inside a piece.
    if (!waitFor(
            [&] {
                return tasks->rowCount() > 0 && !tasks->lineTexts(0)[7].isEmpty() &&
                       !tasks->lineTexts(0)[6].startsWith("0") &&
                       !tasks->lineTexts(0)[6].startsWith("100");
            },
            60000))
        return fail("the store never showed its task");
    save(frame->grab(), out + "/tasks.png");
    // The exit question while it runs: OK or Cancel.
    {
        ui::NoticeDialog question(QString::fromUtf8(ui::kTransfersRunningQuestion), frame,
                                  ui::NoticeDialog::Kind::Question);
        question.show();
        question.move(frame->geometry().center() - question.rect().center());
        QTest::qWait(300);
        save(screenAround(frame), out + "/question.png");
    }
    if (!waitFor([&] { return runningWorkers() == 0 && taskList().empty(); }, 300000))
        return fail("the store did not end");

    // A read of the stored file into a default download folder.
    IniSettings().writeDefPath(appPath("downloads"));
    tree->setCurrentItem(tree->rootNode());
    tree->setCurrentItem(tree->findNode(address, "我的文档"));
    auto* list = ui::panes().fileList;
    int row = -1;
    for (int i = 0; i < list->rowCount(); ++i)
        if (list->item(i, 0)->text() == "演示视频.avi")
            row = i;
    if (row < 0)
        return fail("the stored file is not listed");
    list->selectRow(row);
    list->downloadCommand();
    if (!waitFor([&] { return tasks->rowCount() > 0; }, 30000))
        return fail("the read never showed its task");
    if (!waitFor([&] { return runningWorkers() == 0 && taskList().empty(); }, 300000))
        return fail("the read did not end");
    const auto read = appPath("downloads") + "/演示视频.avi";
    auto bytesOf = [](const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    if (!std::filesystem::exists(read) || bytesOf(read) != bytesOf(source))
        return fail("the read file differs from the stored one");
    list->selectRow(row);
    // The status bar says the read finished.
    if (!waitFor([&] { return frame->finishedText().contains("完成"); }, 10000))
        return fail("the finished read was not announced");
    QTest::qWait(300);
    save(frame->grab(), out + "/main.png");
    return 0;
}
