#include "shell/shell_context.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QStandardPaths>
#include <QThread>
#include <QVariantMap>
#include <mutex>

#include "app/ini_settings.h"
#include "app/process_state.h"
#include "platform/notice_box.h"
#include "presentation/view_rules.h"
#include "shell/main_frame.h"
#include "shell/my_tree.h"
#include "shell/shell_engine.h"

namespace parvola::ui {

namespace {
std::mutex valuesMutex;
std::string downloadFolder;
std::string openFolder;
DesktopNotifier notifier;  // user-interface thread only

// The freedesktop.org notification service of the session, when there is one.
void notifyThroughSessionBus(const QString& title, const QString& text) {
    QDBusInterface service(QStringLiteral("org.freedesktop.Notifications"),
                           QStringLiteral("/org/freedesktop/Notifications"),
                           QStringLiteral("org.freedesktop.Notifications"),
                           QDBusConnection::sessionBus());
    if (!service.isValid())
        return;
    service.asyncCall(QStringLiteral("Notify"), QApplication::applicationName(), 0u,
                      QStringLiteral("parvola"), title, text, QStringList(), QVariantMap(), -1);
}
}  // namespace

void setDesktopNotifier(DesktopNotifier replacement) {
    notifier = std::move(replacement);
}

void notifyDesktop(const QString& title, const QString& text) {
    if (notifier) {
        notifier(title, text);
        return;
    }
    if (auto* frame = panes().frame; frame && frame->showTrayMessage(title, text))
        return;
    notifyThroughSessionBus(title, text);
}

ShellPanes& panes() {
    static ShellPanes all;
    return all;
}

std::string currentDownloadFolder() {
    std::lock_guard lock(valuesMutex);
    return downloadFolder;
}

void setCurrentDownloadFolder(const std::string& folder) {
    std::lock_guard lock(valuesMutex);
    downloadFolder = folder;
}

std::string temporaryOpenFolder() {
    std::lock_guard lock(valuesMutex);
    if (openFolder.empty()) {
        const QString documents =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        openFolder = openFolderUnder(documents.toStdString());
    }
    return openFolder;
}

void setTemporaryOpenFolder(const std::string& folder) {
    std::lock_guard lock(valuesMutex);
    openFolder = folder;
}

bool runDesktopExit() {
    // A second request while the question is open (the tray's exit, a close
    // from the desktop) is the same request: the open question answers both.
    static bool running = false;
    if (running)
        return false;
    running = true;
    const bool goOn = !shellEngine().exitSteps || shellEngine().exitSteps(temporaryOpenFolder());
    running = false;
    if (!goOn)
        return false;
    if (auto* frame = panes().frame)
        frame->destroyForExit();
    // Ends the program's event loop. Without a loop running (a test drives
    // the windows) there is nothing to end, and an exit asked for then would
    // end the next loop the moment it started.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
    return true;
}

std::string currentAccount() {
    return panes().tree ? panes().tree->currentAccount() : std::string();
}
std::string currentPath() {
    return panes().tree ? panes().tree->currentPath() : std::string();
}

}  // namespace parvola::ui
