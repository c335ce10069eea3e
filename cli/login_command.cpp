#include <iostream>

#include "app/ini_settings.h"
#include "cli/cli_command.h"
#include "cli/cli_notice_box.h"
#include "cli/cli_session.h"
#include "cli/option_parser.h"
#include "cli/password_input.h"
#include "transfer/account_login.h"
#include "transfer/transfer_workers.h"

namespace parvola::cli {
namespace {

int runLogin(const std::vector<std::string>& args, const GlobalOptions&) {
    OptionParser parser(args);
    bool fromStdin = parser.flag("--password-stdin");
    bool forget = parser.flag("--forget-password");
    auto address = parser.positional(0);
    if (!address || !parser.done(1))
        return kExitUsage;
    auto password = readPassword("Password for " + *address + ": ", fromStdin);
    if (!password) {
        printError("no password given");
        return kExitFailure;
    }
    installTransferEngine();
    IniSettings settings;
    // The same login as the desktop client's dialog, "记住密码" checked unless
    // --forget-password; unfinished transfers wait for `resume`.
    LoginResult result = loginAccount(*address, *password, !forget, settings, false);
    if (!result.ok())
        return kExitFailure;  // the login showed its message
    setRememberedCliAccount(*address);
    const MailboxAccount& account = result.account;
    std::cout << "logged in: " << account.loginAddress << "\n"
              << "mailbox:   " << account.mailboxAddress << "\n"
              << "smtp:      " << account.smtpHost << ":" << account.smtpPort << "\n"
              << "pop3:      " << account.pop3Host << ":" << account.pop3Port << std::endl;
    finishSession();
    return kExitOk;
}

int runLogout(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto address = parser.positional(0);
    if (!parser.done(1))
        return kExitUsage;
    const std::string account = address.value_or(chosenAccount(options));
    if (account.empty()) {
        printError("no account is logged in");
        return kExitFailure;
    }
    IniSettings settings;
    bool known = false;
    for (const auto& entry : settings.accounts())
        known = known || entry.account == account;
    if (!known && rememberedCliAccount() != account) {
        printError("no remembered account " + account);
        return kExitFailure;
    }
    // The account stays in the login list of both clients, without its
    // password; the command line stops using it.
    if (known)
        settings.rememberAccount(account, "");
    if (rememberedCliAccount() == account)
        setRememberedCliAccount("");
    std::cout << "logged out: " << account << " (its password is forgotten)" << std::endl;
    return kExitOk;
}

}  // namespace

Command logoutCommand() {
    return {"logout", "forget the account's password and stop using it",
            "usage: parvola-cli logout [ADDRESS]\n"
            "  Forgets the remembered password of ADDRESS (the account in use when\n"
            "  omitted) and stops the command line using it; later commands need\n"
            "  parvola-cli login again. The catalog on this computer stays.\n",
            runLogout};
}

Command loginCommand() {
    return {"login", "log in and remember the account for later commands",
            "usage: parvola-cli login ADDRESS [--password-stdin] [--forget-password]\n"
            "  Checks ADDRESS and its password with the web service, brings the catalog\n"
            "  from the mailbox (or starts a new one) and remembers the account in\n"
            "  config.ini, as the desktop client's login does. Later commands use it.\n"
            "  The password is asked for without echo, or read as one line from standard\n"
            "  input with --password-stdin. --forget-password remembers the account only;\n"
            "  later commands then ask for the password.\n",
            runLogin};
}

}  // namespace parvola::cli
