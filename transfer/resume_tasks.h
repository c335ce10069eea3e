#pragma once
// Resuming a user's unfinished transfers after a login: the resume starter
// takes the user's records from the settings file, shows each in the task
// list and starts one resume worker per record; each worker runs the resumed
// upload or download and then the shutdown check. The resumed pipelines are
// hooks, filled in by the upload and download code.
#include <functional>
#include <string>

#include "app/ini_settings.h"
#include "mail/mailbox_account.h"
#include "transfer/task_list.h"
#include "transfer/transfer_task.h"

namespace parvola {

// A resumed pipeline: continues `task` (already in the task list) from its
// next piece index with the account of its user; removes the task from the
// list when it ends. True when the file was stored or saved.
using ResumedTransfer =
    std::function<bool(const TransferTask& task, const MailboxAccount& account)>;

struct ResumeHooks {
    ResumedTransfer resumeUpload;    // direction "上传"
    ResumedTransfer resumeDownload;  // downloads, and records of no known direction
};

// Installs the hooks (process-wide); empty members leave no way to resume
// that direction: such a record is removed from the task list unresumed.
void setResumeHooks(ResumeHooks hooks);

// The resume worker's body: finds the account of the task's user among the
// logged-in accounts (an empty account when there is none), runs the hook for
// the task's direction, then the shutdown check. Shows nothing. Answers the
// hook's answer (false when there was no hook).
bool runResumeWorker(const TransferTask& task, TaskList& list = taskList());

// The resume starter's body: takes the records of `loginAddress`, and for each
// in order adds it to the task list, redraws, and starts a resume worker with
// its own copy (handed over under the transfers role). Answers 1.
int resumeRemainingTasks(const std::string& loginAddress, const IniSettings& settings,
                         TaskList& list = taskList());

// Starts the resume starter on a worker thread of its own (after a login).
void startResumeStarter(const std::string& loginAddress);

}  // namespace parvola
