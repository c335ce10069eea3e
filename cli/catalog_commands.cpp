// The commands that change the catalog: mkdir, rename, rm, restore, purge.
// Each logs in first (the change is mailed with the catalog), and waits for
// the workers the change started before the process ends.
#include <functional>
#include <iostream>

#include "catalog/catalog.h"
#include "catalog/catalog_path.h"
#include "catalog/item_names.h"
#include "cli/catalog_lookup.h"
#include "cli/cli_notice_box.h"
#include "cli/cli_session.h"
#include "cli/confirm.h"
#include "cli/folder_path.h"
#include "cli/option_parser.h"
#include "platform/notice_box.h"
#include "presentation/view_rules.h"
#include "presentation/view_texts.h"

namespace parvola::cli {
namespace {

// Logs the chosen account in, runs `body` on its catalog and, on success,
// waits for the workers the change started (the catalog mail, a purge's
// piece removal) before the process may end.
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

// A change the catalog could not save (its disk is full) or refused for a
// name says so plainly; any other failure gets `otherwise`.
int changeFailed(int result, const std::string& otherwise) {
    if (result == kCatalogNotSaved)
        showNotice(kCatalogNotSavedText);
    else
        printError(otherwise);
    return kExitFailure;
}

int noSuchFolder(const std::string& text) {
    printError("no such folder: " + catalogPath(text));
    return kExitFailure;
}

// The refusal of a new folder name, or empty when it may be used.
std::string folderNameRefusal(const std::string& name) {
    const NameProblem problem = folderNameProblem(name);
    if (problem == NameProblem::None)
        return {};
    return "\"" + name + "\": " + nameProblemText(problem);
}

bool isDefaultTopFolder(const std::string& path) {
    for (const char* name : kDefaultFolders)
        if (path == name)
            return true;
    return path == kRecycleName;
}

int createFolder(Catalog& catalog, const std::string& parent, const std::string& name) {
    if (name == kRecycleName || catalog.exists(parent, name, "Folder") == CatalogPresence::Live) {
        showNotice(ui::kFolderExists);
        return kExitFailure;
    }
    if (const int result = catalog.addFolder(parent, name); result != 0)
        return changeFailed(result, "the folder could not be created");
    std::cout << "created " << joinPath(parent, name) << std::endl;
    return kExitOk;
}

int runMkdir(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    const bool automatic = parser.flag("--auto");
    const bool parents = parser.flag("--parents", "-p");
    auto target = parser.positional(0);
    if (!target || !parser.done(1) || (automatic && parents))
        return kExitUsage;
    const std::string path = catalogPath(*target);
    if (!automatic) {
        if (path.empty())
            return kExitUsage;
        // Every new name must be one a path can reach again.
        for (size_t start = 0;;) {
            const size_t cut = path.find('\\', start);
            const std::string refusal = folderNameRefusal(path.substr(start, cut - start));
            if (!refusal.empty()) {
                printError(refusal);
                return kExitFailure;
            }
            if (cut == std::string::npos)
                break;
            start = cut + 1;
        }
    }
    return withCatalog(options, [&](Catalog& catalog) {
        if (automatic) {
            // As the folder tree's command: "自定义", then 自定义1, 自定义2, ...
            const auto parent = findLiveFolder(catalog, *target);
            if (!parent)
                return noSuchFolder(*target);
            const std::string name = nextCustomFolderName([&](const std::string& candidate) {
                return catalog.exists(*parent, candidate, "Folder") == CatalogPresence::Live;
            });
            return createFolder(catalog, *parent, name);
        }
        if (parents) {
            if (const int result = ensureLiveFolders(catalog, path); result != 0)
                return changeFailed(result, "the folder could not be created");
            return kExitOk;
        }
        std::string parent, name;
        splitItemPath(path, parent, name);
        if (!isLiveFolder(catalog, parent))
            return noSuchFolder(parent);
        return createFolder(catalog, parent, name);
    });
}

int runRename(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto from = parser.positional(0);
    auto to = parser.positional(1);
    if (!from || !to || !parser.done(2))
        return kExitUsage;
    if (to->empty())
        return kExitUsage;
    if (const std::string refusal = folderNameRefusal(*to); !refusal.empty()) {
        printError(refusal);
        return kExitFailure;
    }
    return withCatalog(options, [&](Catalog& catalog) {
        const auto path = findLiveFolder(catalog, *from);
        if (!path || path->empty())
            return noSuchFolder(*from);
        std::string parent, oldName;
        splitItemPath(*path, parent, oldName);
        if (isDefaultTopFolder(*path)) {
            printError(*path + " is one of the default folders, which keep their names");
            return kExitFailure;
        }
        // The sibling names, the folder's own included, compared whole, as
        // the rename dialog compares them.
        std::vector<CatalogRow> rows;
        catalog.listLevel(parent, rows);
        std::vector<std::string> siblings;
        for (const auto& row : rows)
            if (row.type == kFolderType)
                siblings.push_back(row.name);
        if (checkRenameInput(siblingNamesText(siblings), *to) != RenameCheck::Accepted) {
            showNotice(ui::kFolderExists);
            return kExitFailure;
        }
        if (!catalog.renameFolder(*path, oldName, *to))
            return changeFailed(-1, *path + " could not be renamed");
        std::cout << "renamed " << *path << " to " << joinPath(parent, *to) << std::endl;
        return kExitOk;
    });
}

int runRm(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto target = parser.positional(0);
    if (!target || !parser.done(1))
        return kExitUsage;
    return withCatalog(options, [&](Catalog& catalog) {
        std::string path;
        int result = -1;
        if (const auto file = findLiveFile(catalog, *target)) {
            path = joinPath(file->folder, file->row.name);
            result = catalog.deleteFile(path);
        } else if (const auto folder = findLiveFolder(catalog, *target);
                   folder && !folder->empty()) {
            path = *folder;
            result = catalog.deleteFolder(path);
        } else {
            printError("no such file or folder: " + catalogPath(*target));
            return kExitFailure;
        }
        if (result != 0)
            return changeFailed(result, path + " could not be moved to the recycle bin");
        std::cout << "moved " << path << " to the recycle bin" << std::endl;
        return kExitOk;
    });
}

int notInRecycleBin(const std::string& text) {
    printError("not in the recycle bin: " + catalogPath(text));
    return kExitFailure;
}

int runRestore(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto target = parser.positional(0);
    if (!target || !parser.done(1))
        return kExitUsage;
    return withCatalog(options, [&](Catalog& catalog) {
        const auto row = findRecycled(catalog, *target);
        if (!row)
            return notInRecycleBin(*target);
        std::vector<std::string> folders;
        const int result = row->type == kFolderType
                               ? catalog.undeleteFolder(row->path, &folders)
                               : catalog.undeleteFile(row->path, row->name, &folders);
        const std::string path = recycledItemPath(*row);
        if (result != 0)
            return changeFailed(result, path + " could not be restored");
        std::cout << "restored " << path;
        // The folders it was in left the recycle bin with it.
        for (size_t i = 0; i < folders.size(); ++i)
            std::cout << (i == 0 ? ", and the folder it was in: " : ", ") << folders[i];
        std::cout << std::endl;
        return kExitOk;
    });
}

int runPurge(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    const bool yes = parser.flag("--yes", "-y");
    auto target = parser.positional(0);
    if (!target || !parser.done(1))
        return kExitUsage;
    if (!yes && !canConfirm()) {
        printError(
            "purge deletes for good and asks first, but there is no terminal to ask on; "
            "add --yes to purge without asking");
        return kExitUsageExplained;
    }
    return withCatalog(options, [&](Catalog& catalog) {
        const auto row = findRecycled(catalog, *target);
        if (!row)
            return notInRecycleBin(*target);
        const std::string path = recycledItemPath(*row);
        if (!yes && confirm(ui::kConfirmPurge) != Confirmation::Yes) {
            printError("not purged: " + path);
            return kExitFailure;
        }
        const int result = row->type == kFolderType ? catalog.purgeFolder(row->path)
                                                    : catalog.purgeFile(row->path, row->name);
        if (result != 0)
            return changeFailed(result, path + " could not be purged");
        std::cout << "purged " << path << std::endl;
        return kExitOk;
    });
}

}  // namespace

Command mkdirCommand() {
    return {"mkdir", "create a folder",
            "usage: parvola-cli mkdir [-p] PATH\n"
            "       parvola-cli mkdir --auto FOLDER\n"
            "  Creates the folder PATH; with -p (--parents) also every folder above it\n"
            "  that is not there yet, and an existing PATH is no error. With --auto,\n"
            "  creates a folder \"自定义\" (then 自定义1, 自定义2, ...) inside FOLDER, as the\n"
            "  desktop client's command does. A name may not be empty, \".\" or \"..\",\n"
            "  nor hold \\, / or ;.\n",
            runMkdir};
}
Command renameCommand() {
    return {"rename", "rename a folder",
            "usage: parvola-cli rename FOLDER NEW_NAME\n"
            "  Renames FOLDER. A name a sibling folder has is refused; the default folders\n"
            "  at the top level keep their names. NEW_NAME may not be \".\" or \"..\",\n"
            "  nor hold \\, / or ;.\n",
            runRename};
}
Command rmCommand() {
    return {"rm", "move a file or folder to the recycle bin",
            "usage: parvola-cli rm PATH\n  Moves the file or folder PATH to the recycle bin.\n",
            runRm};
}
Command restoreCommand() {
    return {"restore", "bring a file or folder back from the recycle bin",
            "usage: parvola-cli restore PATH\n"
            "  PATH is where the item was: FOLDER\\NAME for a file, the folder's path for a\n"
            "  folder (as `bin` shows it). Folders it was in that are in the recycle bin\n"
            "  themselves come back with it.\n",
            runRestore};
}
Command purgeCommand() {
    return {"purge", "delete a file or folder from the recycle bin for good",
            "usage: parvola-cli purge PATH [--yes]\n"
            "  Deletes the recycle-bin item PATH for good, with the mails that hold its\n"
            "  pieces. Asks first on the terminal (only y or yes goes on); without a\n"
            "  terminal it does nothing unless --yes (-y) is given.\n",
            runPurge};
}

}  // namespace parvola::cli
