#include <iostream>

#include "app/ini_settings.h"
#include "cli/cli_command.h"
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
        std::cerr << "parvola-cli: no password given" << std::endl;
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

}  // namespace

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
