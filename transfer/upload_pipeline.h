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
    // When given, receives what failed when a piece could not be sent, in
    // words: the server, the step and the system's or the server's words.
    std::string* failureText = nullptr;
    // When given, receives what a cancelled upload did with the piece mails
    // it had sent: how many it removed from the mailbox again (0 when none
    // had gone), or -1 when the removal failed and they are still there.
    int* removedPieceMails = nullptr;
};

// The piece subject separates its fields with ";" and cannot escape one, so a
// file whose name holds one could never be found again: it is refused.
inline constexpr const char* kSemicolonNameText =
    "文件名中含有分号(;),无法上传!请修改文件名后再上传。";
// Files live in folders: a record directly under the user level (which
// catalogs of other clients hold) can be read, but no new one is made.
inline constexpr const char* kUserLevelStoreText =
    "不能存储在账号的最上层,请选择一个文件夹后再上传。";

// The refusal for a file about to be stored as `fileName` in `catalogFolder`
// that no folder path could reach again (a name holding ";", "\" or "/", or
// "." or ".."), or the user level as its folder; empty when it may go.
std::string storeNameRefusal(const std::string& fileName, const std::string& catalogFolder);

// The store's catalog folder is not (or no longer) there: renamed or deleted
// since it was chosen. Names the folder, so the user knows which one.
std::string folderGoneText(const std::string& catalogFolder);

// Stores `request.localPath`, showing the messages of the refusals itself.
UploadOutcome UploadFile(const UploadRequest& request, TaskList& list = taskList());

// Continues a saved upload (already in `list`) from its next piece index under
// its file id, piece size and subject; removes it from `list` when it ends.
// When the source can no longer be stored as it was begun (gone, unreadable,
// empty or of another size), the piece mails already sent and the pieces cut
// are removed and the notice names the path, the reason and what was
// removed (resumeAbandonedText): Refused. Any other failure ends the task
// quietly.
UploadOutcome ResumeUpload(const TransferTask& task, const MailboxAccount& account,
                           TaskList& list = taskList());

// "文件:<path>无法继续上传(<reason>),..." and what became of the piece mails
// already sent (`removedMails` as RemovePieceMails answered).
std::string resumeAbandonedText(const std::string& path, const std::string& reason,
                                int removedMails);

}  // namespace parvola
