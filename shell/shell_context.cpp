#include "shell/shell_context.h"

#include <QApplication>
#include <QStandardPaths>
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
}  // namespace

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

void runDesktopExit() {
    if (shellEngine().exitSteps)
        shellEngine().exitSteps(temporaryOpenFolder());
    if (auto* frame = panes().frame)
        frame->destroyForExit();
    QCoreApplication::exit(0);
}

std::string currentAccount() {
    return panes().tree ? panes().tree->currentAccount() : std::string();
}
std::string currentPath() {
    return panes().tree ? panes().tree->currentPath() : std::string();
}

}  // namespace parvola::ui
