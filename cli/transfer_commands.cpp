// The commands that move files: store, read and resume.
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "app/ini_settings.h"
#include "catalog/catalog.h"
#include "catalog/catalog_path.h"
#include "catalog/item_names.h"
#include "cli/catalog_lookup.h"
#include "cli/cli_notice_box.h"
#include "cli/cli_session.h"
#include "cli/folder_path.h"
#include "cli/option_parser.h"
#include "cli/transfer_steps.h"
#include "cli/transfer_wait.h"
#include "platform/notice_box.h"
#include "transfer/download_pipeline.h"
#include "transfer/remaining_tasks.h"
#include "transfer/task_list.h"
#include "transfer/upload_pipeline.h"

namespace parvola::cli {
namespace {

namespace fs = std::filesystem;

// --save-unfinished yes|no (default yes): the answer to the exit sequence's
// question when Ctrl-C interrupts a transfer.
bool saveUnfinishedOption(OptionParser& parser, bool& ok) {
    auto value = parser.option("--save-unfinished");
    ok = true;
    if (!value || *value == "yes")
        return true;
    if (*value == "no")
        return false;
    ok = false;
    setUsageProblem("--save-unfinished takes yes or no, not " + *value);
    return true;
}

std::string absolutePath(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// One file of a store and the catalog folder it goes into.
struct StoreItem {
    std::string localPath;
    std::string catalogFolder;
};

// The files of a local folder, its own name and its tree kept as catalog
// folders under `catalogFolder`, in name order; folders without files are
// listed as folders to create. False after a name was refused (reason shown):
// a store of a folder starts only when every name can be stored.
bool planFolder(const fs::path& folder, const std::string& catalogFolder,
                std::vector<StoreItem>& files, std::vector<std::string>& folders) {
    const std::string name = folder.filename().string();
    if (const NameProblem problem = folderNameProblem(name); problem != NameProblem::None) {
        printError(folder.string() + ": " + nameProblemText(problem));
        return false;
    }
    const std::string here = joinPath(catalogFolder, name);
    folders.push_back(here);
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(*it);
    if (error) {
        printError(folder.string() + ": " + error.message());
        return false;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.path().filename() < b.path().filename();
    });
    for (const auto& entry : entries) {
        if (entry.is_directory(error) && !entry.is_symlink(error)) {
            if (!planFolder(entry.path(), here, files, folders))
                return false;
        } else if (entry.is_regular_file(error)) {
            const std::string fileName = entry.path().filename().string();
            if (const std::string refusal = storeNameRefusal(fileName, here); !refusal.empty()) {
                printError(entry.path().string() + ": " + refusal);
                return false;
            }
            files.push_back({entry.path().string(), here});
        }
    }
    return true;
}

int runStore(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto folderOption = parser.option("--folder");
    const bool recursive = parser.flag("--recursive", "-r");
    bool saveOk = true;
    const bool save = saveUnfinishedOption(parser, saveOk);
    const std::vector<std::string> sources = parser.positionals();
    if (sources.empty() || !saveOk || !parser.doneWithAny())
        return kExitUsage;
    for (const std::string& source : sources) {
        std::error_code error;
        if (fs::is_directory(source, error) && !recursive) {
            printError(source + " is a folder; store it with its files with -r");
            return kExitUsageExplained;
        }
    }

    CliSession session;
    if (int rc = openSession(options, session); rc != kExitOk)
        return rc;
    const std::string folderText = folderOption.value_or(kDefaultFolders[0]);
    std::string folder;
    {
        Catalog catalog(session.user());
        const auto found = findLiveFolder(catalog, folderText);
        if (!found) {
            printError("no such folder: " + catalogPath(folderText));
            return kExitFailure;
        }
        folder = *found;
    }
    std::vector<StoreItem> files;
    std::vector<std::string> folders;
    for (const std::string& source : sources) {
        std::error_code error;
        if (fs::is_directory(source, error)) {
            fs::path local = fs::path(absolutePath(source));
            if (local.filename().empty())
                local = local.parent_path();  // "dir/" names the folder "dir"
            if (!planFolder(local, folder, files, folders))
                return kExitFailure;
        } else {
            files.push_back({absolutePath(source), folder});
        }
    }
    if (!folders.empty() && folder.empty()) {
        showNotice(kUserLevelStoreText);
        return kExitFailure;
    }
    for (const std::string& path : folders) {
        Catalog catalog(session.user());
        if (const int result = ensureLiveFolders(catalog, path); result != 0) {
            printError("the folder " + path + " could not be created");
            return kExitFailure;
        }
    }
    int failed = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const int rc = storeOne(session, files[i].localPath, files[i].catalogFolder, save);
        if (rc == kExitInterrupted) {
            if (i + 1 < files.size())
                printError(std::to_string(files.size() - i - 1) + " more file(s) not stored");
            return rc;
        }
        if (rc != kExitOk)
            ++failed;
    }
    finishSession();
    if (failed > 0 && files.size() > 1)
        printError(std::to_string(failed) + " of " + std::to_string(files.size()) +
                   " files not stored");
    return failed == 0 ? kExitOk : kExitFailure;
}

// The files of a catalog folder and of every folder below it, each with the
// local folder it goes to (`saveFolder` + the folder's own name + the path).
struct ReadItem {
    CatalogRow row;
    std::string catalogFolder;
    std::string saveFolder;
};

bool planRead(Catalog& catalog, const std::string& path, const fs::path& saveFolder,
              std::vector<ReadItem>& items) {
    std::string parent, name;
    splitItemPath(path, parent, name);
    // Catalog names become local names: one that is not a plain name (an
    // older catalog's "a/b") cannot be.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        printError("the folder " + path + " cannot be a local folder name");
        return false;
    }
    const fs::path here = saveFolder / name;
    std::error_code error;
    fs::create_directories(here, error);
    if (error) {
        printError(here.string() + ": " + error.message());
        return false;
    }
    std::vector<CatalogRow> rows;
    catalog.listLevel(path, rows);
    for (const CatalogRow& row : rows) {
        if (row.type == kFileType)
            items.push_back({row, path, here.string()});
    }
    for (const CatalogRow& row : rows) {
        if (row.type != kFileType && !planRead(catalog, joinPath(path, row.name), here, items))
            return false;
    }
    return true;
}

std::string defaultSaveFolder() {
    IniSettings settings;
    return settings.hasDefaultDownloadFolder() ? settings.defaultDownloadFolder()
                                               : std::string(".");
}

int runRead(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto folderOption = parser.option("--folder");
    auto toOption = parser.option("--to");
    const bool recursive = parser.flag("--recursive", "-r");
    bool saveOk = true;
    const bool save = saveUnfinishedOption(parser, saveOk);
    auto target = parser.positional(0);
    if (!target || !saveOk || !parser.done(1))
        return kExitUsage;
    // NAME may carry its folder ("我的文档\a.txt"); --folder names it apart.
    const std::string text = folderOption ? *folderOption + "\\" + *target : *target;
    const std::string saveFolder = absolutePath(toOption.value_or(defaultSaveFolder()));

    CliSession session;
    if (int rc = openSession(options, session); rc != kExitOk)
        return rc;
    if (!recursive) {
        Catalog catalog(session.user());
        const auto file = findLiveFile(catalog, text);
        if (!file) {
            const bool isFolder = findLiveFolder(catalog, text).has_value();
            printError(isFolder ? catalogPath(text) + " is a folder; read it with its files with -r"
                                : "no such file: " + catalogPath(text));
            return isFolder ? kExitUsageExplained : kExitFailure;
        }
        const int rc = readOne(session, file->row, file->folder, saveFolder, save);
        if (rc != kExitInterrupted)
            finishSession();
        return rc;
    }
    std::vector<ReadItem> items;
    {
        Catalog catalog(session.user());
        const auto folder = findLiveFolder(catalog, text);
        if (!folder || folder->empty()) {
            printError("no such folder: " + catalogPath(text));
            return kExitFailure;
        }
        if (!planRead(catalog, *folder, saveFolder, items))
            return kExitFailure;
    }
    int failed = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const int rc =
            readOne(session, items[i].row, items[i].catalogFolder, items[i].saveFolder, save);
        if (rc == kExitInterrupted) {
            if (i + 1 < items.size())
                printError(std::to_string(items.size() - i - 1) + " more file(s) not read");
            return rc;
        }
        if (rc != kExitOk)
            ++failed;
    }
    finishSession();
    if (failed > 0)
        printError(std::to_string(failed) + " of " + std::to_string(items.size()) +
                   " files not read");
    return failed == 0 ? kExitOk : kExitFailure;
}

int runResume(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    bool saveOk = true;
    const bool save = saveUnfinishedOption(parser, saveOk);
    if (!saveOk || !parser.done(0))
        return kExitUsage;
    CliSession session;
    if (int rc = openSession(options, session); rc != kExitOk)
        return rc;
    const std::vector<TransferTask> tasks =
        takeRemainingTasks(IniSettings(), session.account.loginAddress);
    if (tasks.empty()) {
        std::cout << "no unfinished transfers" << std::endl;
        finishSession();
        return kExitOk;
    }
    // All in the list at once, as the desktop's resume shows them: an
    // interruption saves (or cancels) those not reached yet too.
    for (const TransferTask& task : tasks)
        taskList().addTask(task);
    taskList().redraw();
    struct Ended {
        bool completed = false;
        std::string savedPath;
    };
    std::vector<Ended> ended(tasks.size());
    const WaitOutcome outcome = runTransfer(
        [&] {
            for (size_t i = 0; i < tasks.size(); ++i) {
                ended[i].completed =
                    tasks[i].isUpload()
                        ? ResumeUpload(tasks[i], session.account) == UploadOutcome::Stored
                        : ResumeDownload(tasks[i], session.account, ended[i].savedPath) ==
                              DownloadOutcome::Saved;
            }
            return kExitOk;
        },
        save);
    int failed = 0;
    for (size_t i = 0; i < tasks.size(); ++i) {
        const TransferTask& task = tasks[i];
        if (outcome.interrupted) {
            printError("the " + std::string(task.isUpload() ? "store" : "read") + " of " +
                       task.fileName + " was cancelled; what it had sent and cut was removed");
            continue;
        }
        if (!ended[i].completed) {
            ++failed;
            printError("the " + std::string(task.isUpload() ? "store" : "read") + " of " +
                       task.fileName + " could not be continued");
        } else if (task.isUpload()) {
            std::cout << "stored " << joinPath(task.catalogFolder, task.fileName) << std::endl;
        } else {
            std::cout << "saved " << ended[i].savedPath << std::endl;
        }
    }
    if (outcome.interrupted)
        return kExitInterrupted;
    finishSession();
    return failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace

Command storeCommand() {
    return {"store", "store files in a folder of the catalog",
            "usage: parvola-cli store FILE... [--folder FOLDER] [-r] [--save-unfinished yes|no]\n"
            "  Mails each FILE in pieces to the mailbox and records it in FOLDER (我的文档\n"
            "  when omitted). With -r (--recursive) a local folder is stored with its\n"
            "  files, its name and its tree kept as catalog folders. Ctrl-C saves the\n"
            "  unfinished transfer for `resume`; with --save-unfinished no it is\n"
            "  cancelled and the piece mails it had sent are removed again.\n",
            runStore};
}
Command readCommand() {
    return {"read", "read a stored file back",
            "usage: parvola-cli read NAME [--folder FOLDER] [--to DIR] [-r]\n"
            "                            [--save-unfinished yes|no]\n"
            "  Fetches the file NAME (in FOLDER, or with its folder: 我的文档\\a.txt; a name\n"
            "  alone is at the top level) into DIR (the default download folder, else the\n"
            "  current folder). With -r (--recursive) NAME is a folder, read into DIR with\n"
            "  its files and its tree. An existing file is never replaced: the copy takes\n"
            "  the name \"name (1).ext\" and so on.\n",
            runRead};
}
Command resumeCommand() {
    return {"resume", "continue the account's unfinished transfers",
            "usage: parvola-cli resume [--save-unfinished yes|no]\n"
            "  Continues every transfer that an interrupted command or the desktop client\n"
            "  saved for this account, each from its next piece, with the same progress\n"
            "  and last lines as store and read. A store whose file is gone or changed\n"
            "  cannot go on: the piece mails it had sent are removed, and it says so.\n",
            runResume};
}

}  // namespace parvola::cli
