// The real engine behind the desktop client's windows.
#include "shell/shell_engine.h"
#include "transfer/account_login.h"
#include "transfer/catalog_sync.h"
#include "transfer/exit_sequence.h"

namespace parvola {

ShellEngine& shellEngine() {
    static ShellEngine engine = realShellEngine();
    return engine;
}

namespace {

ShellLoginResult login(const std::string& mailbox, const std::string& password, bool remember,
                       IniSettings& settings) {
    const LoginResult result = loginAccount(mailbox, password, remember, settings);
    switch (result.outcome) {
        case LoginOutcome::LoggedIn:
            return {ShellLoginOutcome::LoggedIn, result.account.loginAddress};
        case LoginOutcome::AlreadyLoggedIn:
            return {ShellLoginOutcome::AlreadyLoggedIn, {}};
        default:
            return {};
    }
}

}  // namespace

ShellEngine realShellEngine() {
    ShellEngine engine;
    engine.login = login;
    engine.exitSteps = [](const std::string& openFolder) {
        ExitInputs inputs;
        inputs.temporaryOpenFolder = openFolder;
        runExitSequence(inputs);
    };
    return engine;
}

void installRealEngineHooks() {
    installCatalogMailWorker();
}

}  // namespace parvola
