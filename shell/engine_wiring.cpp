// The real engine behind the desktop client's windows.
#include "shell/shell_engine.h"
#include "transfer/account_login.h"
#include "transfer/exit_sequence.h"
#include "transfer/transfer_workers.h"

namespace parvola {

ShellEngine& shellEngine() {
    static ShellEngine engine = realShellEngine();
    return engine;
}

namespace {

ShellLoginResult shellResult(const LoginResult& result) {
    switch (result.outcome) {
        case LoginOutcome::LoggedIn:
            return {ShellLoginOutcome::LoggedIn, result.account.loginAddress};
        case LoginOutcome::AlreadyLoggedIn:
            return {ShellLoginOutcome::AlreadyLoggedIn, {}};
        default:
            return {};
    }
}

ShellLoginResult login(const std::string& mailbox, const std::string& password, bool remember,
                       IniSettings& settings) {
    return shellResult(loginAccount(mailbox, password, remember, settings));
}

ShellLoginResult loginDirect(const DirectAccountSettings& direct, const std::string& password,
                             bool remember, IniSettings& settings) {
    return shellResult(loginDirectAccount(direct, password, remember, settings));
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
