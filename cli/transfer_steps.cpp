#include "cli/transfer_steps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli/cli_notice_box.h"
#include "cli/folder_path.h"
#include "cli/transfer_wait.h"
#include "platform/notice_box.h"
#include "transfer/transfer_workers.h"

namespace parvola::cli {
namespace {

// Why the file at `path` cannot be read for a store, in the system's words;
// empty when it can.
std::string unreadableBecause(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::generic_category().message(errno);
    if (S_ISDIR(status.st_mode))
        return std::generic_category().message(EISDIR);
    if (!S_ISREG(status.st_mode))
        return "not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::generic_category().message(errno);
    ::close(fd);
    return {};
}

// Why files cannot be saved in `folder` (made when missing); empty when they can.
std::string unwritableBecause(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        return error.message();
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return std::generic_category().message(errno);
    return {};
}

}  // namespace

int storeOne(const CliSession& session, const std::string& localPath,
             const std::string& catalogFolder, bool saveUnfinished) {
    const std::string& user = session.user();
    // The engine's own message ("文件读取错误") does not say which file or
    // why: the command line does, before anything is sent.
    if (const std::string reason = unreadableBecause(localPath); !reason.empty()) {
        printError("文件读取错误: " + localPath + ": " + reason);
        return kExitFailure;
    }
    for (const std::string& message :
         {checkStoreAllowed(user), checkStoreRequest(user, catalogFolder, localPath)}) {
        if (!message.empty()) {
            showNotice(message);
            return kExitFailure;
        }
    }
    const std::string name = std::filesystem::path(localPath).filename().string();
    int removed = 0;
    // The work answers the command's exit status; a refused file showed why.
    const WaitOutcome outcome = runTransfer(
        [&] {
            const UploadOutcome stored = runUploadWorker(user, localPath, catalogFolder, &removed);
            return stored == UploadOutcome::Stored ? kExitOk : kExitFailure;
        },
        saveUnfinished);
    if (outcome.interrupted) {
        if (removed < 0)
            printError("the store of " + name +
                       " was cancelled; the piece mails it had sent could not be removed");
        else
            printError("the store of " + name + " was cancelled; removed the " +
                       std::to_string(removed) +
                       " piece mail(s) it had sent and its temporary "
                       "pieces");
        return kExitInterrupted;
    }
    if (outcome.result != kExitOk)
        return kExitFailure;
    std::cout << "stored " << joinPath(catalogFolder, name) << std::endl;
    return kExitOk;
}

int readOne(const CliSession& session, const CatalogRow& row, const std::string& catalogFolder,
            const std::string& saveFolder, bool saveUnfinished) {
    DownloadInputs inputs;
    inputs.storedSubject = row.subject;
    inputs.fileName = row.name;
    inputs.fileSize = row.size;
    inputs.catalogFolder = catalogFolder;
    // A save folder that cannot take the file would fail as a "network
    // problem" after the first piece: say what is wrong instead.
    if (const std::string reason = unwritableBecause(saveFolder); !reason.empty()) {
        printError("cannot save into " + saveFolder + ": " + reason);
        return kExitFailure;
    }
    std::error_code error;
    inputs.saveFolder = std::filesystem::absolute(saveFolder, error).string();
    std::string savedPath;
    const WaitOutcome outcome = runTransfer(
        [&] {
            const DownloadOutcome saved = runDownloadWorker(session.user(), inputs, &savedPath);
            return saved == DownloadOutcome::Saved ? kExitOk : kExitFailure;
        },
        saveUnfinished);
    if (outcome.interrupted) {
        printError("the read of " + row.name + " was cancelled; nothing of it was kept");
        return kExitInterrupted;
    }
    if (outcome.result != kExitOk)
        return kExitFailure;  // the worker showed its message
    std::cout << "saved " << savedPath << std::endl;
    return kExitOk;
}

}  // namespace parvola::cli
