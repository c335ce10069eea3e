// The real engine behind the desktop client's windows.
#include <filesystem>
#include <system_error>

#include "catalog/catalog.h"
#include "platform/named_lock.h"
#include "platform/notice_box.h"
#include "shell/shell_engine.h"
#include "shell/state/ini_settings.h"
#include "shell/state/process_state.h"
#include "shell/state/view_texts.h"
#include "transfer/remaining_tasks.h"
#include "transfer/resume_tasks.h"
#include "transfer/task_list.h"

namespace parvola {

ShellEngine& shellEngine() {
    static ShellEngine engine = realShellEngine();
    return engine;
}

namespace {

ShellLoginResult loginFlow(const std::string& mailbox, const std::string& password, bool remember) {
    MailboxAccount existing;
    if (findLoggedInAccount(mailbox, existing) == 0) {
        showNotice(ui::kAlreadyLoggedIn);
        return {ShellLoginOutcome::AlreadyLoggedIn, {}};
    }
    MailboxAccount account(mailbox, password);
    if (account.VerifyLogin() != 0)
        return {};
    Catalog catalog(account.loginAddress);
    if (!catalog.hasUser() && catalog.createNew(account.loginAddress) != 0)
        return {};
    if (!addLoggedInAccount(account)) {
        showNotice(ui::kAlreadyLoggedIn);
        return {ShellLoginOutcome::AlreadyLoggedIn, {}};
    }
    startResumeStarter(account.typedAddress);
    IniSettings().rememberAccount(mailbox, remember ? password : std::string());
    return {ShellLoginOutcome::LoggedIn, account.loginAddress};
}

void exitSteps(const std::string& openFolder) {
    if (taskList().hasRunningTasks() &&
        showNotice(ui::kTransfersRunningQuestion) == NoticeAnswer::Ok)
        saveUnfinishedTasksAtExit();
    std::vector<MailboxAccount> accounts;
    {
        RoleGuard guard(LockRole::Accounts);
        accounts = loggedInAccounts();
    }
    for (const auto& account : accounts) {
        Catalog catalog(account.loginAddress);
        catalog.postShare();
    }
    std::error_code ignored;
    if (!openFolder.empty())
        std::filesystem::remove_all(openFolder, ignored);
    if (processValues().filesDownloaded) {
        IniSettings settings;
        showNotice(settings.hasDefaultDownloadFolder()
                       ? "请妥善处理下载目录: " + settings.defaultDownloadFolder() + " 中的文件!"
                       : std::string("您临时指定了下载地址，下载您的文件，退出后，请妥善处理。"));
    }
}

}  // namespace

ShellEngine realShellEngine() {
    ShellEngine engine;
    engine.login = loginFlow;
    engine.exitSteps = exitSteps;
    return engine;
}

void installRealEngineHooks() {}

}  // namespace parvola
