#include "presentation/view_rules.h"

#include <algorithm>
#include <cstdio>

namespace parvola {

TreeSelection resolveTreeSelection(const std::vector<std::string>& labelsUpward,
                                   const std::string* accountLabel) {
    TreeSelection selection;
    std::string path;
    // The flag left over is the topmost level's, so everything below the
    // recycle bin counts as inside it, and a folder named like the bin deeper
    // down does not.
    for (const auto& label : labelsUpward) {
        selection.recycle = label == kRecycleLabel;
        path = "\\" + label + path;
    }
    if (!path.empty())
        path.erase(0, 1);
    selection.path = path;
    if (accountLabel) {
        selection.accountReached = true;
        selection.account = *accountLabel;
    }
    return selection;
}

std::string accountNameOfLabel(const std::string& label) {
    std::string name = label;
    const std::string suffix = "_config";
    for (auto at = name.find(suffix); at != std::string::npos; at = name.find(suffix))
        name.erase(at, suffix.size());
    return name;
}

void sortCatalogRows(std::vector<CatalogRow>& rows, FileListColumn column, bool ascending) {
    auto key = [column](const CatalogRow& row) -> const std::string& {
        switch (column) {
            case FileListColumn::Type:
                return row.type;
            case FileListColumn::Time:
                return row.time;
            case FileListColumn::Path:
                return row.path;
            default:
                return row.name;
        }
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const CatalogRow& a, const CatalogRow& b) {
        const CatalogRow& first = ascending ? a : b;
        const CatalogRow& second = ascending ? b : a;
        if (column == FileListColumn::Size)
            return first.size < second.size;
        return key(first) < key(second);
    });
}

RowActivation rowActivationFor(bool recycle, const std::string& rowType) {
    if (rowType == kFolderType)
        return recycle ? RowActivation::Nothing : RowActivation::OpenFolder;
    if (rowType == kFileType)
        return RowActivation::OpenFile;
    return RowActivation::Nothing;
}

std::string transferFinishedText(const std::string& direction, const std::string& fileName) {
    return direction + "完成: " + fileName;
}

bool transferMenusEnabled(const std::string& currentAccount, const std::string& /*currentPath*/) {
    return !currentAccount.empty();
}

TreeMenu treeMenuFor(TreeNodeKind selected) {
    switch (selected) {
        case TreeNodeKind::Account:
            return TreeMenu::Account;
        case TreeNodeKind::Folder:
            return TreeMenu::Folder;
        default:
            return TreeMenu::None;
    }
}

FileListMenu fileListMenuFor(bool recycle, int selectedRow, const std::string& selectedType) {
    if (recycle)
        return FileListMenu::None;
    if (selectedRow < 0)
        return FileListMenu::AskForSelection;
    return selectedType == "文件夹" ? FileListMenu::None : FileListMenu::FileCommands;
}

std::string nextCustomFolderName(const std::function<bool(const std::string&)>& liveFolderExists) {
    const std::string base = "自定义";
    std::string name = base;
    for (long long n = 1; liveFolderExists(name); ++n)
        name = base + std::to_string(n);
    return name;
}

std::string siblingNamesText(const std::vector<std::string>& labels) {
    std::string text;
    for (const auto& label : labels)
        text += label + '\0';
    return text;
}

RenameCheck checkRenameInput(const std::string& siblingNames, const std::string& newName) {
    if (newName.empty())
        return RenameCheck::Empty;
    for (size_t start = 0, end; (end = siblingNames.find('\0', start)) != std::string::npos;
         start = end + 1) {
        if (siblingNames.compare(start, end - start, newName) == 0)
            return RenameCheck::Refused;
    }
    return RenameCheck::Accepted;
}

std::string spaceLineText(long long fileCount, long long weightedBytes) {
    const long long used = weightedBytes / 1048576;
    char text[160];
    std::snprintf(text, sizeof text, "总空间500M  文件个数%lld  已用空间%lldM  可用空间%lldM",
                  fileCount, used, 500 - used);
    return text;
}

std::string clipLink(const std::string& link) {
    constexpr size_t kLimit = 260;
    if (link.size() <= kLimit)
        return link;
    size_t cut = kLimit;
    // Step back over continuation bytes so a character is never split.
    while (cut > 0 && (static_cast<unsigned char>(link[cut]) & 0xC0) == 0x80)
        --cut;
    return link.substr(0, cut);
}

std::string openFolderUnder(const std::string& documentsFolder) {
    return documentsFolder + "/parvolix-open";
}

}  // namespace parvola
