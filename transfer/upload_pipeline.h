#pragma once
// Storing one local file in the mailbox: cut into pieces of the provider's
// piece size, each mailed from the mailbox to itself under its piece subject,
// then entered in the catalog. Runs on the upload worker's thread.
#include <string>

#include "mail/mailbox_account.h"
#include "transfer/task_list.h"
#include "transfer/transfer_outcomes.h"
#include "transfer/transfer_task.h"

namespace parvola {

struct UploadRequest {
    std::string user;           // login address: owner of the task and of the catalog
    MailboxAccount account;     // SMTP server and credentials, the mailbox address
    std::string localPath;      // the file to store
    std::string catalogFolder;  // catalog folder it goes into
    // When given, receives what the server (or the secured connection) said
    // when the failing piece was refused ("552 5.3.4 ...", "452 4.2.2 Mailbox
    // full"); empty when the upload did not end on a refused send.
    std::string* failureReply = nullptr;
};

// The piece subject separates its fields with ";" and cannot escape one, so a
// file whose name holds one could never be found again: it is refused.
inline constexpr const char* kSemicolonNameText =
    "文件名中含有分号(;),无法上传!请修改文件名后再上传。";

// The store's catalog folder is not (or no longer) there: renamed or deleted
// since it was chosen. Names the folder, so the user knows which one.
std::string folderGoneText(const std::string& catalogFolder);

// Stores `request.localPath`, showing the messages of the refusals itself.
UploadOutcome UploadFile(const UploadRequest& request, TaskList& list = taskList());

// Continues a saved upload (already in `list`) from its next piece index under
// its file id, piece size and subject; removes it from `list` when it ends.
// Shows only "文件内容为空" (the source is now empty: Refused).
UploadOutcome ResumeUpload(const TransferTask& task, const MailboxAccount& account,
                           TaskList& list = taskList());

}  // namespace parvola
