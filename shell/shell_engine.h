#pragma once
// What the desktop client asks of the engine below it: the login flow, the
// store checks, the transfer workers and the exit's engine steps. The windows
// call only through this table, so tests can record the calls and the client
// wires the real engine in one place (engine_wiring.cpp).
#include <functional>
#include <string>

#include "app/direct_account.h"
#include "app/ini_settings.h"
#include "transfer/transfer_workers.h"

namespace parvola {

// Cancelled: the user declined a question of the login (an encrypted store's
// passphrase); nothing was written and the dialog stays.
enum class ShellLoginOutcome { LoggedIn, AlreadyLoggedIn, Failed, Cancelled };

struct ShellLoginResult {
    ShellLoginOutcome outcome = ShellLoginOutcome::Failed;
    std::string catalogUser;  // whose catalog the tree shows (LoggedIn only)
};

struct ShellEngine {
    // The whole login after the dialog's OK; shows its own messages.
    // `settings` is the login dialog's own record (the account is remembered there).
    // An encrypted store is opened with its passphrase; `encryptStore` makes
    // a plain one encrypted once logged in.
    std::function<ShellLoginResult(const std::string& mailbox, const std::string& password,
                                   bool rememberPassword, bool encryptStore, IniSettings& settings)>
        login;
    // The login of the user's own mailbox with the settings the dialog chose.
    std::function<ShellLoginResult(const DirectAccountSettings& direct, const std::string& password,
                                   bool rememberPassword, bool encryptStore, IniSettings& settings)>
        loginDirect;
    // Empty text when the store may start, else the message to show.
    std::function<std::string(const std::string& user, const std::string& folder,
                              const std::string& localPath)>
        checkStore;
    std::function<void(const std::string& user, const std::string& localPath,
                       const std::string& folder)>
        startUpload;
    std::function<void(const std::string& user, const DownloadInputs& inputs)> startDownload;
    // The exit's steps before the window goes: the one question while
    // transfers run (saving them on OK), the share notification of every
    // logged-in account, the removal of the temporary open folder and the
    // reminder about downloaded files. False when the user declined the
    // question: the program then goes on with its transfers running.
    std::function<bool(const std::string& temporaryOpenFolder)> exitSteps;
};

ShellEngine& shellEngine();
// The real engine (engine_wiring.cpp).
ShellEngine realShellEngine();
// Installs the real engine's process hooks once (catalog mail worker, resumes).
void installRealEngineHooks();

}  // namespace parvola
