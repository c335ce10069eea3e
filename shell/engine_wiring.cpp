// The real engine behind the desktop client's windows.
#include "shell/shell_engine.h"

#include <string>

#include "platform/notice_box.h"
#include "presentation/view_texts.h"
#include "shell/store_encryption.h"
#include "transfer/account_login.h"
#include "transfer/exit_sequence.h"
#include "transfer/transfer_workers.h"

namespace parvola {

ShellEngine& shellEngine() {
    static ShellEngine engine = realShellEngine();
    return engine;
}

namespace {

ShellLoginResult login(const std::string& mailbox, const std::string& password, bool remember,
                       bool encrypt, IniSettings& settings) {
    return ui::loginWithEncryption(
        mailbox, encrypt, [&] { return accountBeforeLogin(mailbox, password, settings); },
        [&](const EarlierVerification* earlier, bool resumeTasks) {
            return loginAccount(mailbox, password, remember, settings, resumeTasks, earlier);
        });
}

ShellLoginResult loginDirect(const DirectAccountSettings& direct, const std::string& password,
                             bool remember, bool encrypt, IniSettings& settings) {
    // The settings the dialog chose, not yet remembered: the account they reach.
    const auto reach = [&] {
        AccountBeforeLogin before;
        before.reached = true;
        before.account = directMailboxAccount(direct, password);
        return before;
    };
    return ui::loginWithEncryption(
        direct.address, encrypt, reach, [&](const EarlierVerification*, bool resumeTasks) {
            LoginResult result =
                loginDirectAccount(direct, password, remember, settings, resumeTasks);
            // The dialog said the keyring would keep it: say where it went instead.
            if (result.ok() && !result.keyringRefusal.empty())
                showNotice(ui::kPasswordKeyringRefused + result.keyringRefusal);
            return result;
        });
}

}  // namespace

ShellEngine realShellEngine() {
    ShellEngine engine;
    engine.login = login;
    engine.loginDirect = loginDirect;
    engine.checkStore = [](const std::string& user, const std::string& folder,
                           const std::string& path) {
        return checkStoreRequest(user, folder, path);
    };
    engine.startUpload = [](const std::string& user, const std::string& path,
                            const std::string& folder) { startUploadWorker(user, path, folder); };
    engine.startDownload = [](const std::string& user, const DownloadInputs& inputs) {
        startDownloadWorker(user, inputs);
    };
    engine.exitSteps = [](const std::string& openFolder) {
        ExitInputs inputs;
        inputs.temporaryOpenFolder = openFolder;
        inputs.cancelKeepsRunning = true;
        return !runExitSequence(inputs).declined;
    };
    return engine;
}

// The resumed pipelines, the purge's piece clean-up and the catalog mail worker.
void installRealEngineHooks() {
    installTransferEngine();
}

}  // namespace parvola
