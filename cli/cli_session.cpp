#include "cli/cli_session.h"

#include <unistd.h>

#include <chrono>
#include <iostream>

#include "app/ini_settings.h"
#include "cli/password_input.h"
#include "platform/ini_file.h"
#include "platform/worker_threads.h"
#include "transfer/account_login.h"
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

int openSession(const GlobalOptions& options, CliSession& session, bool resumeTasks) {
    installTransferEngine();
    IniSettings settings;
    std::string address = options.account;
    if (address.empty())
        address = rememberedCliAccount();
    if (address.empty() && !settings.accounts().empty())
        address = settings.accounts().front().account;
    if (address.empty()) {
        std::cerr << "parvola-cli: no account yet; log in first with: parvola-cli login ADDRESS"
                  << std::endl;
        return kExitFailure;
    }
    std::string password;
    bool remembered = false;
    for (const auto& entry : settings.accounts()) {
        if (entry.account == address && !entry.password.empty()) {
            password = entry.password;
            remembered = true;
            break;
        }
    }
    if (!remembered) {
        if (!options.passwordFromStdin && !isatty(STDIN_FILENO)) {
            std::cerr << "parvola-cli: no password remembered for " << address
                      << "; log in with: parvola-cli login " << address
                      << ", or give it with --password-stdin" << std::endl;
            return kExitFailure;
        }
        auto typed = readPassword("Password for " + address + ": ", options.passwordFromStdin);
        if (!typed) {
            std::cerr << "parvola-cli: no password given" << std::endl;
            return kExitFailure;
        }
        password = *typed;
    }
    LoginResult result = loginAccount(address, password, remembered, settings, resumeTasks);
    if (!result.ok())
        return kExitFailure;  // the login showed its message
    session.account = result.account;
    return kExitOk;
}

void finishSession() {
    using namespace std::chrono;
    if (waitForWorkers(milliseconds(500)))
        return;
    std::cerr << "parvola-cli: waiting for the catalog mail and transfers to finish..."
              << std::endl;
    waitForWorkers(hours(24));
}

}  // namespace parvola::cli
