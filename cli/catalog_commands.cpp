// The commands that read or edit the catalog: ls, tree, mkdir, rename, rm,
// restore, purge, bin, space.
#include <functional>
#include <iostream>

#include "catalog/catalog.h"
#include "catalog/catalog_path.h"
#include "catalog/folder_tree.h"
#include "cli/cli_session.h"
#include "cli/folder_path.h"
#include "cli/option_parser.h"
#include "cli/text_width.h"
#include "platform/notice_box.h"
#include "presentation/size_text.h"
#include "presentation/view_rules.h"

namespace parvola::cli {
namespace {

// Logs the remembered account in, runs `body` on its catalog and, on
// success, waits for the workers the change started (the catalog mail, a
// purge's piece removal) before the process may end.
int withCatalog(const GlobalOptions& options, const std::function<int(Catalog&)>& body) {
    CliSession session;
    if (int rc = openSession(options, session); rc != kExitOk)
        return rc;
    Catalog catalog(session.user());
    const int rc = body(catalog);
    if (rc == kExitOk)
        finishSession();
    return rc;
}

void printRows(const std::vector<CatalogRow>& rows, bool recycle) {
    for (const auto& row : rows) {
        std::string name = recycle && !row.path.empty() ? row.path + "\\" + row.name : row.name;
        std::cout << padToWidth(row.type, 8)
                  << padToWidth(fileSizeText(row.size, row.type), 16, true) << "  "
                  << padToWidth(row.time, 19) << name << "\n";
    }
    std::cout.flush();
}

// A folder that is there and not in the recycle bin.
bool liveFolder(Catalog& catalog, const std::string& path) {
    if (path.empty())
        return true;
    std::string parent, name;
    splitItemPath(path, parent, name);
    return catalog.exists(parent, name, "Folder") == CatalogPresence::Live;
}

// A change the catalog could not save (its disk is full) says so plainly;
// any other failure gets `otherwise` on standard error.
int changeFailed(int result, const std::string& otherwise) {
    if (result == kCatalogNotSaved)
        showNotice(kCatalogNotSavedText);
    else
        std::cerr << "parvola-cli: " << otherwise << std::endl;
    return kExitFailure;
}

int noSuchFolder(const std::string& path) {
    std::cerr << "parvola-cli: no such folder: " << path << std::endl;
    return kExitFailure;
}

void printTree(const std::vector<FolderTreeNode>& nodes, const std::string& indent) {
    for (size_t i = 0; i < nodes.size(); ++i) {
        bool last = i + 1 == nodes.size();
        std::cout << indent << (last ? "└─ " : "├─ ") << nodes[i].name << "\n";
        printTree(nodes[i].children, indent + (last ? "   " : "│  "));
    }
}

int runLs(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto folder = parser.positional(0);
    if (!parser.done(1))
        return kExitUsage;
    return withCatalog(options, [&](Catalog& catalog) {
        const std::string path = catalogPath(folder.value_or(""));
        if (!liveFolder(catalog, path))
            return noSuchFolder(path);
        std::vector<CatalogRow> rows;
        catalog.listFolder(path, rows);
        printRows(rows, false);
        return kExitOk;
    });
}

int runTree(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    if (!parser.done(0))
        return kExitUsage;
    return withCatalog(options, [&](Catalog& catalog) {
        FolderTree tree = walkFolderTree(catalog.document());
        std::cout << tree.userName << "\n";
        std::vector<FolderTreeNode> nodes = tree.folders;
        nodes.push_back(FolderTreeNode{tree.recycleName, FolderImage::Common, {}});
        printTree(nodes, "");
        std::cout.flush();
        return kExitOk;
    });
}

int runMkdir(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    bool automatic = parser.flag("--auto");
    auto target = parser.positional(0);
    if (!target || !parser.done(1))
        return kExitUsage;
    CliSession session;
    if (int rc = openSession(options, session); rc != kExitOk)
        return rc;
    Catalog catalog(session.user());
    std::string path = catalogPath(*target), parent, name;
    if (automatic) {
        // As the folder tree's command: "自定义", then 自定义1, 自定义2, ...
        parent = path;
        if (!liveFolder(catalog, parent))
            return noSuchFolder(parent);
        name = nextCustomFolderName([&](const std::string& candidate) {
            return catalog.exists(parent, candidate, "Folder") == CatalogPresence::Live;
        });
    } else {
        splitItemPath(path, parent, name);
        if (!liveFolder(catalog, parent))
            return noSuchFolder(parent);
    }
    if (name.empty())
        return kExitUsage;
    if (name == kRecycleName || catalog.exists(parent, name, "Folder") == CatalogPresence::Live) {
        showNotice("文件夹已存在");
        return kExitFailure;
    }
    if (const int result = catalog.addFolder(parent, name); result != 0)
        return changeFailed(result, "the folder could not be created");
    std::cout << "created " << joinPath(parent, name) << std::endl;
    finishSession();
    return kExitOk;
}

int runRename(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto from = parser.positional(0);
    auto to = parser.positional(1);
    if (!from || !to || !parser.done(2))
        return kExitUsage;
    return withCatalog(options, [&](Catalog& catalog) {
        const std::string path = catalogPath(*from);
        std::string parent, oldName;
        splitItemPath(path, parent, oldName);
        if (path.empty() || !liveFolder(catalog, path))
            return noSuchFolder(path);
        // The sibling names, the folder's own included, as the rename dialog checks them.
        std::vector<CatalogRow> rows;
        catalog.listFolder(parent, rows);
        std::vector<std::string> siblings;
        for (const auto& row : rows)
            if (row.type == kFolderType)
                siblings.push_back(row.name);
        switch (checkRenameInput(siblingNamesText(siblings), *to)) {
            case RenameCheck::Empty:
                return kExitUsage;
            case RenameCheck::Refused:
                showNotice("文件夹已存在");
                return kExitFailure;
            case RenameCheck::Accepted:
                break;
        }
        if (!catalog.renameFolder(path, oldName, *to)) {
            std::cerr << "parvola-cli: " << path << " cannot be renamed" << std::endl;
            return kExitFailure;
        }
        std::cout << "renamed " << path << " to " << joinPath(parent, *to) << std::endl;
        return kExitOk;
    });
}

int runRm(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto target = parser.positional(0);
    if (!target || !parser.done(1))
        return kExitUsage;
    return withCatalog(options, [&](Catalog& catalog) {
        const std::string path = catalogPath(*target);
        std::string parent, name;
        splitItemPath(path, parent, name);
        int result = -1;
        if (catalog.exists(parent, name, "File") == CatalogPresence::Live)
            result = catalog.deleteFile(path);
        else if (!path.empty() && liveFolder(catalog, path))
            result = catalog.deleteFolder(path);
        else {
            std::cerr << "parvola-cli: no such file or folder: " << path << std::endl;
            return kExitFailure;
        }
        if (result != 0)
            return changeFailed(result, path + " cannot be moved to the recycle bin");
        std::cout << "moved " << path << " to the recycle bin" << std::endl;
        return kExitOk;
    });
}

// The recycle-bin row named by PATH (the folder path and name the item had).
bool findRecycled(Catalog& catalog, const std::string& path, CatalogRow& found) {
    std::string parent, name;
    splitItemPath(path, parent, name);
    std::vector<CatalogRow> rows;
    catalog.listRecycleBin(rows);
    for (const auto& row : rows) {
        bool folderMatch = row.type == kFolderType && row.path == path;
        bool fileMatch = row.type != kFolderType && row.path == parent && row.name == name;
        if (folderMatch || fileMatch) {
            found = row;
            return true;
        }
    }
    return false;
}

int notInRecycleBin(const std::string& path) {
    std::cerr << "parvola-cli: not in the recycle bin: " << path << std::endl;
    return kExitFailure;
}

int runRestore(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto target = parser.positional(0);
    if (!target || !parser.done(1))
        return kExitUsage;
    return withCatalog(options, [&](Catalog& catalog) {
        const std::string path = catalogPath(*target);
        CatalogRow row;
        if (!findRecycled(catalog, path, row))
            return notInRecycleBin(path);
        int result = row.type == kFolderType ? catalog.undeleteFolder(row.path)
                                             : catalog.undeleteFile(row.path, row.name);
        if (result != 0)
            return changeFailed(result, path + " cannot be restored");
        std::cout << "restored " << path << std::endl;
        return kExitOk;
    });
}

int runPurge(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    bool yes = parser.flag("--yes");
    auto target = parser.positional(0);
    if (!target || !parser.done(1))
        return kExitUsage;
    return withCatalog(options, [&](Catalog& catalog) {
        const std::string path = catalogPath(*target);
        CatalogRow row;
        if (!findRecycled(catalog, path, row))
            return notInRecycleBin(path);
        if (!yes && showNotice("您确认删除,删除后无法恢复!") != NoticeAnswer::Ok)
            return kExitFailure;
        int result = row.type == kFolderType ? catalog.purgeFolder(row.path)
                                             : catalog.purgeFile(row.path, row.name);
        if (result != 0)
            return changeFailed(result, path + " cannot be purged");
        std::cout << "purged " << path << std::endl;
        return kExitOk;
    });
}

int runBin(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    if (!parser.done(0))
        return kExitUsage;
    return withCatalog(options, [&](Catalog& catalog) {
        std::vector<CatalogRow> rows;
        catalog.listRecycleBin(rows);
        printRows(rows, true);
        return kExitOk;
    });
}

int runSpace(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    if (!parser.done(0))
        return kExitUsage;
    return withCatalog(options, [&](Catalog& catalog) {
        long long files = 0, bytes = 0;
        if (catalog.spaceUsed(files, bytes) != 0) {
            std::cerr << "parvola-cli: the catalog has no space figures" << std::endl;
            return kExitFailure;
        }
        std::cout << spaceLineText(files, bytes) << std::endl;
        return kExitOk;
    });
}

}  // namespace

Command lsCommand() {
    return {
        "ls", "list a folder",
        "usage: parvola-cli ls [FOLDER]\n"
        "  Lists the folders and files in FOLDER (the top level when omitted).\n"
        "  Folder paths are written as the catalog writes them (我的文档\\自定义); / works too.\n",
        runLs};
}
Command treeCommand() {
    return {"tree", "show the folder tree",
            "usage: parvola-cli tree\n  Shows every live folder, then the recycle bin.\n", runTree};
}
Command mkdirCommand() {
    return {"mkdir", "create a folder",
            "usage: parvola-cli mkdir PATH\n"
            "       parvola-cli mkdir --auto FOLDER\n"
            "  Creates the folder PATH. With --auto, creates a folder \"自定义\" (then\n"
            "  自定义1, 自定义2, ...) inside FOLDER, as the desktop client's command does.\n",
            runMkdir};
}
Command renameCommand() {
    return {"rename", "rename a folder",
            "usage: parvola-cli rename FOLDER NEW_NAME\n"
            "  Renames FOLDER; a name that a sibling folder holds, even as part of its name,\n"
            "  is refused.\n",
            runRename};
}
Command rmCommand() {
    return {"rm", "move a file or folder to the recycle bin",
            "usage: parvola-cli rm PATH\n  Moves the file or folder PATH to the recycle bin.\n",
            runRm};
}
Command restoreCommand() {
    return {
        "restore", "bring a file or folder back from the recycle bin",
        "usage: parvola-cli restore PATH\n"
        "  PATH is where the item was: FOLDER\\NAME for a file, the folder's path for a folder.\n",
        runRestore};
}
Command purgeCommand() {
    return {"purge", "delete a file or folder from the recycle bin for good",
            "usage: parvola-cli purge PATH [--yes]\n"
            "  Deletes the recycle-bin item PATH for good, with the mails that hold its\n"
            "  pieces. Asks first unless --yes is given.\n",
            runPurge};
}
Command binCommand() {
    return {"bin", "list the recycle bin",
            "usage: parvola-cli bin\n  Lists the recycle bin, with the path each item had.\n",
            runBin};
}
Command spaceCommand() {
    return {
        "space", "show the space line",
        "usage: parvola-cli space\n  Shows total, used and available space and the file count.\n",
        runSpace};
}

}  // namespace parvola::cli
