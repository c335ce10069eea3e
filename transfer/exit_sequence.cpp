#include "transfer/exit_sequence.h"

#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/ini_settings.h"
#include "app/process_state.h"
#include "catalog/catalog.h"
#include "platform/named_lock.h"
#include "platform/notice_box.h"
#include "platform/worker_threads.h"
#include "transfer/remaining_tasks.h"

namespace parvola {
namespace {

std::vector<MailboxAccount> accountsLoggedIn() {
    RoleGuard guard(LockRole::Accounts);
    return loggedInAccounts();
}

// The format's one "%s" replaced by the folder (built by appending, which
// also keeps g++ 12's restrict warning about in-place replace quiet).
std::string formatWithFolder(std::string_view format, const std::string& folder) {
    size_t at = format.find("%s");
    if (at == std::string_view::npos)
        return std::string(format);
    std::string text(format.substr(0, at));
    text += folder;
    text += format.substr(at + 2);
    return text;
}

// Cancels every record that still runs; its pipeline then ends and removes
// what it had sent and cut. The number cancelled.
int cancelRunningTasks(TaskList& list) {
    int cancelled = 0;
    for (const TransferTask& task : list.tasks()) {
        if (!task.cancelled && list.cancelTask(task.user, task.fileName))
            ++cancelled;
    }
    return cancelled;
}

}  // namespace

std::string downloadReminderText() {
    IniSettings settings;
    if (settings.hasDefaultDownloadFolder())
        return formatWithFolder(kDownloadFolderReminderFormat, settings.defaultDownloadFolder());
    return kChosenFolderReminderText;
}

ExitReport runExitSequence(const ExitInputs& inputs, TaskList& list) {
    ExitReport report;
    // The question is not asked under the tasks lock: the lock is shared with
    // the transfer workers and with other copies of the client, which would
    // all stand still while the box waits for the user. Whatever is still
    // unfinished when the answer comes is what gets saved.
    if (list.hasRunningTasks()) {
        report.asked = true;
        if (askQuestion(kExitQuestionText) == NoticeAnswer::Ok) {
            report.tasksSaved = saveUnfinishedTasksAtExit(list);
        } else if (inputs.cancelKeepsRunning) {
            report.declined = true;
            return report;
        } else {
            report.tasksCancelled = cancelRunningTasks(list);
        }
    }
    if (report.tasksCancelled > 0 && inputs.cleanupWait.count() > 0)
        report.cleanedUp = waitForWorkers(inputs.cleanupWait);

    // Copied under the accounts lock; the posts go out without holding it.
    for (const MailboxAccount& account : accountsLoggedIn()) {
        Catalog catalog(account.loginAddress);
        if (catalog.postShare() == 0)
            ++report.sharesPosted;
    }

    if (!inputs.temporaryOpenFolder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(inputs.temporaryOpenFolder, ignored);
    }

    report.filesDownloaded = processValues().filesDownloaded.load();
    if (report.filesDownloaded) {
        report.reminder = downloadReminderText();
        showNotice(report.reminder);
    }
    return report;
}

}  // namespace parvola
