#pragma once
// The rules of the folder tree and the file list that are not drawing: what a
// selection means, which menu a right click gets, which commands are enabled,
// and the texts the commands build.
#include <functional>
#include <string>
#include <vector>

#include "catalog/catalog.h"

namespace parvola {

inline constexpr const char* kRecycleLabel = "回收站";

// What a tree selection means for the commands.
struct TreeSelection {
    bool accountReached = false;
    std::string account;   // the account node's label, when reached
    std::string path;      // folder path below the account node ("\" between names)
    bool recycle = false;  // the topmost level under the account is the recycle bin
};

// `labelsUpward`: the labels from the selected node up to, not including, the
// account node (or up to the root inclusive when no account node lies above).
// `accountLabel`: the account node's label, or null when none was reached.
TreeSelection resolveTreeSelection(const std::vector<std::string>& labelsUpward,
                                   const std::string* accountLabel);

// The logged-in typed address an account label stands for ("_config" removed).
std::string accountNameOfLabel(const std::string& label);

// "上传" and "下载" of the menu bar: enabled once an account is selected. At
// the account node the list shows the files kept at the user level, which can
// be read; a store there is refused with its message by the store check.
bool transferMenusEnabled(const std::string& currentAccount, const std::string& currentPath);

enum class TreeMenu { None, Account, Folder };
enum class TreeNodeKind { Root, Account, Folder, Recycle };
TreeMenu treeMenuFor(TreeNodeKind selected);

enum class FileListMenu { None, FileCommands, AskForSelection };
// Right click on the file list: `selectedType` is the selected row's type.
FileListMenu fileListMenuFor(bool recycle, int selectedRow, const std::string& selectedType);

// The file list's columns, left to right.
enum class FileListColumn { Name, Size, Type, Time, Path };
// Orders listing rows by a column, as a click on its header does: sizes as
// numbers, names, types and paths byte by byte, times as written (which is
// time order). Rows with equal keys keep their catalog order.
void sortCatalogRows(std::vector<CatalogRow>& rows, FileListColumn column, bool ascending);

// What Enter or a double click on a file-list row does: a folder row opens
// the folder (outside the recycle bin, where folders can be entered), a file
// row is opened as the "打开" command opens it.
enum class RowActivation { OpenFolder, OpenFile, Nothing };
RowActivation rowActivationFor(bool recycle, const std::string& rowType);

// What the status bar and the desktop notification say when a transfer
// finished with its file complete: "上传完成: 报告.pdf", "下载完成: 报告.pdf".
std::string transferFinishedText(const std::string& direction, const std::string& fileName);

// "自定义", then "自定义1", "自定义2", ...: the first name for which
// `liveFolderExists` answers false (a name held only by a deleted folder is free).
std::string nextCustomFolderName(const std::function<bool(const std::string&)>& liveFolderExists);

// The sibling labels as one text for the rename dialog: every label followed
// by a NUL, which no catalog name can hold (XML cannot carry it), so the
// names come apart again whole whatever they hold (";" included).
std::string siblingNamesText(const std::vector<std::string>& labels);

enum class RenameCheck { Empty, Refused, Accepted };
// The rename dialog's OK: refused when the new name equals one of the sibling
// names, the old name itself included. Whole names are compared: a part of a
// sibling's name is a name of its own.
RenameCheck checkRenameInput(const std::string& siblingNames, const std::string& newName);

// "总空间500M  文件个数%d  已用空间%dM  可用空间%dM" with u = bytes / 1048576.
std::string spaceLineText(long long fileCount, long long weightedBytes);

// A link as a skinned button keeps it: at most 260 bytes, cut at a character
// boundary so the text stays valid UTF-8.
std::string clipLink(const std::string& link);

// The temporary folder for files opened from the list, under the documents folder.
std::string openFolderUnder(const std::string& documentsFolder);

}  // namespace parvola
