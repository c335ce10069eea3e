#pragma once
// Reading a stored file back out of the mailbox: each piece's mail is found
// by its subject in one POP3 session for the whole file, its attachment saved in the
// transfer's piece folder and appended to "<name>.part" in the save folder.
// Only when every piece has arrived does the file take its name, and then
// the first free one of "name", "name (1).ext", "name (2).ext", ...: a
// download never replaces another file.
#include <string>

#include "mail/mailbox_account.h"
#include "transfer/task_list.h"
#include "transfer/transfer_outcomes.h"
#include "transfer/transfer_task.h"
#include "transfer/transfer_workers.h"

namespace parvola {

// Suffix of the file a download grows before it is complete.
inline constexpr const char* kPartialSuffix = ".part";

// "<folder>/<name>.part"
std::string partialDownloadPath(const std::string& saveFolder, const std::string& fileName);
// The first of "<folder>/name", "<folder>/name (1).ext", ... that does not exist.
std::string freeDownloadPath(const std::string& saveFolder, const std::string& fileName);

// What a failed download can tell beyond its outcome.
struct DownloadFailure {
    int missingPiece = 0;  // the piece (1-based) whose mail is gone: PieceMissing
    std::string text;      // what failed in the mailbox, in words; may be empty
};

// Downloads the file named by `inputs.storedSubject` into `inputs.saveFolder`
// (created when missing) for the task owner `user`; when Saved, the final
// path is in `savedPath`. Shows nothing; `failure` (when given) tells more
// of a failure.
DownloadOutcome DownloadFile(const MailboxAccount& account, const std::string& user,
                             const DownloadInputs& inputs, std::string& savedPath,
                             TaskList& list = taskList(), DownloadFailure* failure = nullptr);

// Continues a saved download (already in `list`) from its next piece index,
// appending to the ".part" file it left; removes it from `list` at the end.
// Shows nothing.
DownloadOutcome ResumeDownload(const TransferTask& task, const MailboxAccount& account,
                               TaskList& list = taskList());
// The same, telling where the finished file was saved.
DownloadOutcome ResumeDownload(const TransferTask& task, const MailboxAccount& account,
                               std::string& savedPath, TaskList& list = taskList());

}  // namespace parvola
