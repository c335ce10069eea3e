// The commands that move files: store, read and resume.
#include <filesystem>
#include <iostream>

#include "app/ini_settings.h"
#include "catalog/catalog.h"
#include "catalog/catalog_path.h"
#include "cli/cli_session.h"
#include "cli/folder_path.h"
#include "cli/option_parser.h"
#include "cli/transfer_wait.h"
#include "platform/notice_box.h"
#include "platform/worker_threads.h"
#include "transfer/piece_subject.h"
#include "transfer/task_list.h"
#include "transfer/transfer_workers.h"

namespace parvola::cli {
namespace {

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
    return true;
}

int runStore(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto folderOption = parser.option("--folder");
    bool saveOk = true;
    bool save = saveUnfinishedOption(parser, saveOk);
    auto file = parser.positional(0);
    if (!file || !saveOk || !parser.done(1))
        return kExitUsage;
    std::error_code ec;
    std::string localPath = std::filesystem::absolute(*file, ec).string();
    if (ec)
        localPath = *file;
    const std::string folder = catalogPath(folderOption.value_or(kDefaultFolders[0]));

    CliSession session;
    if (int rc = openSession(options, session); rc != kExitOk)
        return rc;
    {
        Catalog catalog(session.user());
        std::string parent, name;
        splitItemPath(folder, parent, name);
        if (!folder.empty() && catalog.exists(parent, name, "Folder") != CatalogPresence::Live) {
            std::cerr << "parvola-cli: no such folder: " << folder << std::endl;
            return kExitFailure;
        }
    }
    for (const std::string& message : {checkStoreAllowed(session.user()),
                                       checkStoreRequest(session.user(), folder, localPath)}) {
        if (!message.empty()) {
            showNotice(message);
            return kExitFailure;
        }
    }
    const std::string name = std::filesystem::path(localPath).filename().string();
    // The work answers the command's exit status; a refused file showed why.
    const WaitOutcome outcome = runTransfer(
        [&] {
            const UploadOutcome stored = runUploadWorker(session.user(), localPath, folder);
            return stored == UploadOutcome::Stored ? kExitOk : kExitFailure;
        },
        save);
    finishSession();
    if (outcome.result != kExitOk)
        return kExitFailure;
    std::cout << "stored " << joinPath(folder, name) << std::endl;
    return kExitOk;
}

int runRead(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto folderOption = parser.option("--folder");
    auto toOption = parser.option("--to");
    bool saveOk = true;
    bool save = saveUnfinishedOption(parser, saveOk);
    auto target = parser.positional(0);
    if (!target || !saveOk || !parser.done(1))
        return kExitUsage;

    // NAME may carry its folder ("我的文档\a.txt"); --folder names it apart.
    std::string folder, name;
    splitItemPath(catalogPath(*target), folder, name);
    if (folderOption)
        folder = joinPath(catalogPath(*folderOption), folder);

    CliSession session;
    if (int rc = openSession(options, session); rc != kExitOk)
        return rc;
    DownloadInputs inputs;
    {
        Catalog catalog(session.user());
        std::vector<CatalogRow> rows;
        catalog.listFolder(folder, rows);
        bool found = false;
        for (const auto& row : rows) {
            if (row.type == kFileType && row.name == name) {
                inputs.storedSubject = row.subject;
                inputs.fileName = row.name;
                inputs.fileSize = row.size;
                found = true;
                break;
            }
        }
        if (!found) {
            std::cerr << "parvola-cli: no such file: " << joinPath(folder, name) << std::endl;
            return kExitFailure;
        }
    }
    inputs.catalogFolder = folder;
    if (toOption) {
        inputs.saveFolder = *toOption;
    } else {
        IniSettings settings;
        inputs.saveFolder = settings.hasDefaultDownloadFolder() ? settings.defaultDownloadFolder()
                                                                : std::string(".");
    }
    std::error_code ec;
    std::filesystem::create_directories(inputs.saveFolder, ec);
    inputs.saveFolder = std::filesystem::absolute(inputs.saveFolder, ec).string();

    std::string savedPath;
    const WaitOutcome outcome = runTransfer(
        [&] {
            const DownloadOutcome saved = runDownloadWorker(session.user(), inputs, &savedPath);
            return saved == DownloadOutcome::Saved ? kExitOk : kExitFailure;
        },
        save);
    finishSession();
    if (outcome.result != kExitOk)
        return kExitFailure;  // the worker showed its message
    std::cout << "saved " << savedPath << std::endl;
    return kExitOk;
}

int runResume(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    bool saveOk = true;
    bool save = saveUnfinishedOption(parser, saveOk);
    if (!saveOk || !parser.done(0))
        return kExitUsage;
    CliSession session;
    // The login starts the account's resume starter; its workers are counted.
    if (int rc = openSession(options, session, true); rc != kExitOk)
        return rc;
    runTransfer(
        [] {
            // Until the starter has handed every record to its worker and the
            // workers have ended, the worker count stays above this one.
            while (runningWorkers() > 1)
                waitForWorkers(std::chrono::milliseconds(200));
            return kExitOk;
        },
        save);
    finishSession();
    std::cout << "no unfinished transfers left" << std::endl;
    return kExitOk;
}

}  // namespace

Command storeCommand() {
    return {"store", "store a file in a folder of the catalog",
            "usage: parvola-cli store FILE [--folder FOLDER] [--save-unfinished yes|no]\n"
            "  Mails FILE in pieces to the mailbox and records it in FOLDER (我的文档 when\n"
            "  omitted). Ctrl-C saves the unfinished transfer for `resume` unless\n"
            "  --save-unfinished no.\n",
            runStore};
}
Command readCommand() {
    return {"read", "read a stored file back",
            "usage: parvola-cli read NAME [--folder FOLDER] [--to DIR] [--save-unfinished yes|no]\n"
            "  Fetches the file NAME (in FOLDER, or with its folder: 我的文档\\a.txt) into DIR\n"
            "  (the default download folder, else the current folder). An existing file is\n"
            "  never replaced: the copy takes the name \"name (1).ext\" and so on.\n",
            runRead};
}
Command resumeCommand() {
    return {"resume", "continue the account's unfinished transfers",
            "usage: parvola-cli resume [--save-unfinished yes|no]\n"
            "  Continues every transfer that an interrupted command or the desktop client\n"
            "  saved for this account, each from its next piece.\n",
            runResume};
}

}  // namespace parvola::cli
