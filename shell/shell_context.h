#pragma once
// The application object's share of the desktop client: the panes every
// command reaches, the current download folder, the temporary open folder and
// the exit sequence.
#include <QString>
#include <functional>
#include <string>

namespace parvola::ui {

class CMainFrame;
class CMyTree;
class CFileList;
class CTaskList;
class CToolbar;
class CHtmlForm;

struct ShellPanes {
    CMainFrame* frame = nullptr;
    CMyTree* tree = nullptr;
    CFileList* fileList = nullptr;
    CTaskList* taskList = nullptr;
    CToolbar* toolbar = nullptr;
    CHtmlForm* notice = nullptr;
};

ShellPanes& panes();

// The folder the next download is written to (set by the download commands).
std::string currentDownloadFolder();
void setCurrentDownloadFolder(const std::string& folder);

// Where files opened from the list are put; deleted at exit. Defaults to a
// folder under the user's documents folder.
std::string temporaryOpenFolder();
void setTemporaryOpenFolder(const std::string& folder);

// The exit: the engine's exit steps, then the end of the program. False when
// the user declined the question about running transfers: nothing ended.
bool runDesktopExit();

// A desktop notification (the tray's balloon, or the desktop's notification
// service). Replaceable, so tests can record what would have been shown.
using DesktopNotifier = std::function<void(const QString& title, const QString& text)>;
void setDesktopNotifier(DesktopNotifier notifier);  // empty: the desktop's own
void notifyDesktop(const QString& title, const QString& text);

// The current account and folder of the tree (empty without a tree).
std::string currentAccount();
std::string currentPath();

}  // namespace parvola::ui
