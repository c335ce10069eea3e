#include "transfer/resume_tasks.h"

#include <mutex>

#include "app/process_state.h"
#include "platform/named_lock.h"
#include "platform/worker_threads.h"
#include "transfer/remaining_tasks.h"
#include "transfer/shutdown_check.h"

namespace parvola {
namespace {

std::mutex hooksMutex;
ResumeHooks& installedHooks() {
    static ResumeHooks hooks;
    return hooks;
}

ResumedTransfer hookFor(const TransferTask& task) {
    std::lock_guard<std::mutex> guard(hooksMutex);
    return task.isUpload() ? installedHooks().resumeUpload : installedHooks().resumeDownload;
}

}  // namespace

void setResumeHooks(ResumeHooks hooks) {
    std::lock_guard<std::mutex> guard(hooksMutex);
    installedHooks() = std::move(hooks);
}

bool runResumeWorker(const TransferTask& task, TaskList& list) {
    MailboxAccount account;  // stays empty when the user is not logged in
    findLoggedInAccount(task.user, account);
    bool completed = false;
    if (const ResumedTransfer resume = hookFor(task))
        completed = resume(task, account);
    else
        list.removeTask(task);  // nothing can resume it: a failed transfer is dropped
    runShutdownCheck(list);
    return completed;
}

int resumeRemainingTasks(const std::string& loginAddress, const IniSettings& settings,
                         TaskList& list) {
    for (const TransferTask& task : takeRemainingTasks(settings, loginAddress)) {
        list.addTask(task);
        list.redraw();
        // The worker's copy is made before the next record is handed over.
        RoleGuard handOver(LockRole::Transfers);
        startWorker([copy = task, &list] { runResumeWorker(copy, list); });
    }
    return 1;
}

void startResumeStarter(const std::string& loginAddress) {
    startWorker([loginAddress] { resumeRemainingTasks(loginAddress, IniSettings()); });
}

}  // namespace parvola
