#include "cli/cli_session.h"

#include <unistd.h>

#include <chrono>
#include <iostream>

#include "app/direct_account.h"
#include "app/ini_settings.h"
#include "catalog/catalog.h"
#include "cli/cli_notice_box.h"
#include "cli/encrypted_store.h"
#include "cli/password_input.h"
#include "platform/ini_file.h"
#include "platform/keyring.h"
#include "platform/worker_threads.h"
#include "transfer/account_login.h"
#include "transfer/encrypted_login.h"
#include "transfer/transfer_workers.h"

namespace parvola::cli {

std::string rememberedCliAccount() {
    IniSettings settings;
    return readProfileString("cli", "account", "", settings.path());
}

void setRememberedCliAccount(const std::string& address) {
    IniSettings settings;
    writeProfileString("cli", "account", address, settings.path());
}

std::string chosenAccount(const GlobalOptions& options) {
    if (!options.account.empty())
        return options.account;
    std::string address = rememberedCliAccount();
    if (!address.empty())
        return address;
    // Else the first account a client remembered with its password (one
    // logged out keeps its place in the list, without a password).
    IniSettings settings;
    for (const auto& entry : settings.accounts())
        if (!entry.password.empty())
            return entry.account;
    return {};
}

namespace {

int noAccountYet() {
    printError("no account yet; log in first with: parvola-cli login ADDRESS");
    return kExitFailure;
}

}  // namespace

int openLocalCatalog(const GlobalOptions& options, std::string& user) {
    if (options.refresh) {
        CliSession session;
        if (int rc = openSession(options, session); rc != kExitOk)
            return rc;
        finishSession();
        user = session.user();
        return kExitOk;
    }
    user = chosenAccount(options);
    if (user.empty())
        return noAccountYet();
    if (!Catalog(user).hasUser()) {
        printError("no catalog of " + user +
                   " on this computer yet; bring it from the mailbox with: parvola-cli sync");
        return kExitFailure;
    }
    return kExitOk;
}

int openSession(const GlobalOptions& options, CliSession& session, bool resumeTasks) {
    installTransferEngine();
    IniSettings settings;
    const std::string address = chosenAccount(options);
    if (address.empty())
        return noAccountYet();
    std::string password;
    bool remembered = false;
    for (const auto& entry : settings.accounts()) {
        if (entry.account == address && !entry.password.empty()) {
            password = entry.password;
            remembered = true;
            break;
        }
    }
    // A direct account whose secret comes from a command asks for nothing.
    const std::optional<DirectAccountSettings> direct =
        rememberedDirectAccount(settings.path(), address);
    const bool fromCommand =
        direct && (!direct->passwordCommand.empty() || !direct->tokenCommand.empty());
    // A direct account's remembered password is in the desktop keyring.
    std::string failure;
    if (direct && !remembered && !fromCommand &&
        keyringLookup(address, password, failure) == KeyringResult::Ok)
        remembered = true;
    if (!remembered && !fromCommand) {
        if (!options.passwordFromStdin && !isatty(STDIN_FILENO)) {
            printError("no password remembered for " + address +
                       "; log in with: parvola-cli login " + address +
                       ", or give it with --password-stdin");
            return kExitFailure;
        }
        auto typed = readPassword("Password for " + address + ": ", options.passwordFromStdin);
        if (!typed) {
            printError("no password given");
            return kExitFailure;
        }
        password = *typed;
    }
    // An encrypted store is opened before the login loads its sealed catalog.
    AccountBeforeLogin before;
    if (worthLookingForKeyMail(address, options, false)) {
        before = accountBeforeLogin(address, password, settings);
        if (before.reached &&
            openEncryptedStore(before.account, options, &session.passphrase) == StoreLock::Refused)
            return kExitFailure;
    }
    LoginResult result = loginAccount(address, password, remembered, settings, resumeTasks,
                                      before.verification ? &*before.verification : nullptr);
    if (!result.ok()) {
        explainLockedLogin(address);
        return kExitFailure;  // the login showed its message
    }
    session.account = result.account;
    return kExitOk;
}

void finishSession() {
    using namespace std::chrono;
    if (waitForWorkers(milliseconds(500)))
        return;
    printError("waiting for the catalog mail and transfers to finish...");
    waitForWorkers(hours(24));
}

}  // namespace parvola::cli
