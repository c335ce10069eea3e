#pragma once
// The commands' entry points into the transfer engine: each starts a worker
// thread that runs one pipeline for the logged-in account of `user` and shows
// its own messages through the notice box.
#include <string>

#include "transfer/transfer_outcomes.h"

namespace parvola {

// What a read hands to its download worker (each worker gets its own copy).
struct DownloadInputs {
    std::string saveFolder;     // created when missing
    std::string storedSubject;  // the file record's Subject (piece 1's subject)
    std::string fileName;       // catalog name, shown in the task row
    long long fileSize = 0;     // catalog size, shown in the task row
    std::string catalogFolder;  // folder selected when the read started
    bool openWhenDone = false;  // open with the desktop's handler afterwards
};

// The checks of the store command before a worker starts, in this order: an
// empty path, a name the subject format or a folder path cannot carry (";",
// "\\", "/", "." or ".."), the user level as the folder, a folder that is no
// longer there, the same name live in the folder, the same name in the
// recycle bin. Empty text when the store
// may go on, else the message to show (the caller shows it).
std::string checkStoreRequest(const std::string& user, const std::string& catalogFolder,
                              const std::string& localPath);
// The store command's own check before its dialog opens: empty text while the
// user's catalog is below the space mark, else "用户空间余额不足!".
std::string checkStoreAllowed(const std::string& user);

// Starts an upload worker for `localPath` into `catalogFolder`.
void startUploadWorker(const std::string& user, const std::string& localPath,
                       const std::string& catalogFolder);
// Starts a download worker.
void startDownloadWorker(const std::string& user, const DownloadInputs& inputs);
// Starts the worker that deletes a purged file's piece mails.
void startRemovalWorker(const std::string& user, const std::string& storedSubject);

// The workers' bodies, run on the calling thread (the workers above call
// them; the command line and tests may too). Each finds the logged-in
// account of `user`, runs its pipeline, shows its own messages, and (upload
// and download) ends with the shutdown check. They answer how it ended.
// `removedPieceMails` (when given) tells what a cancelled upload removed
// again (see UploadRequest).
UploadOutcome runUploadWorker(const std::string& user, const std::string& localPath,
                              const std::string& catalogFolder, int* removedPieceMails = nullptr);
// `savedPath` (when given) receives where the finished file was saved.
DownloadOutcome runDownloadWorker(const std::string& user, const DownloadInputs& inputs,
                                  std::string* savedPath = nullptr);
// RemovePieceMails' result, or -1 when `user` is not logged in.
int runRemovalWorker(const std::string& user, const std::string& storedSubject);

// Installs the engine's hooks once per process: the resumed pipelines, the
// purge's piece clean-up and the catalog mail worker.
void installTransferEngine();

}  // namespace parvola
