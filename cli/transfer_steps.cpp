#include "cli/transfer_steps.h"

#include <filesystem>
#include <iostream>

#include "cli/cli_notice_box.h"
#include "cli/folder_path.h"
#include "cli/transfer_wait.h"
#include "platform/notice_box.h"
#include "transfer/transfer_workers.h"

namespace parvola::cli {

int storeOne(const CliSession& session, const std::string& localPath,
             const std::string& catalogFolder, bool saveUnfinished) {
    const std::string& user = session.user();
    for (const std::string& message :
         {checkStoreAllowed(user), checkStoreRequest(user, catalogFolder, localPath)}) {
        if (!message.empty()) {
            showNotice(message);
            return kExitFailure;
        }
    }
    const std::string name = std::filesystem::path(localPath).filename().string();
    int removed = 0;
    const WaitOutcome outcome = runTransfer(
        [&] { return runUploadWorker(user, localPath, catalogFolder, &removed); }, saveUnfinished);
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
    // The pipeline answers 0 also when it refused the file with a message of
    // its own; the record in the catalog is what tells a stored file.
    Catalog catalog(user);
    if (outcome.result != 0 || catalog.exists(catalogFolder, name, "File") != -1)
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
    std::error_code error;
    std::filesystem::create_directories(saveFolder, error);
    inputs.saveFolder = std::filesystem::absolute(saveFolder, error).string();
    std::string savedPath;
    const WaitOutcome outcome = runTransfer(
        [&] { return runDownloadWorker(session.user(), inputs, &savedPath); }, saveUnfinished);
    if (outcome.interrupted) {
        printError("the read of " + row.name + " was cancelled; nothing of it was kept");
        return kExitInterrupted;
    }
    if (outcome.result != 0)
        return kExitFailure;  // the worker showed its message
    std::cout << "saved " << savedPath << std::endl;
    return kExitOk;
}

}  // namespace parvola::cli
