#include <iostream>

#include "cli/cli_command.h"
#include "cli/password_input.h"
#include "mail/mailbox_account.h"
#include "platform/notice_box.h"

namespace parvola::cli {

Command loginCommand() {
    return {"login", "log in to a store with its web login address",
            "usage: parvola-cli login ADDRESS [--password-stdin]\n"
            "  Checks ADDRESS and its password with the web service and shows the mailbox\n"
            "  that holds the store. The password is asked for without echo, or read as one\n"
            "  line from standard input with --password-stdin.\n",
            [](const std::vector<std::string>& args, const GlobalOptions&) {
                std::string address;
                bool fromStdin = false;
                for (const auto& arg : args) {
                    if (arg == "--password-stdin")
                        fromStdin = true;
                    else if (address.empty() && arg.rfind("--", 0) != 0)
                        address = arg;
                    else
                        return kExitUsage;
                }
                if (address.empty())
                    return kExitUsage;
                auto password = readPassword("Password for " + address + ": ", fromStdin);
                if (!password) {
                    std::cerr << "parvola-cli: no password given" << std::endl;
                    return kExitFailure;
                }
                MailboxAccount account(address, *password);
                if (account.VerifyLogin() != 0)
                    return kExitFailure;  // the message was shown
                std::cout << "logged in: " << account.loginAddress << "\n"
                          << "mailbox:   " << account.mailboxAddress << "\n"
                          << "smtp:      " << account.smtpHost << ":" << account.smtpPort << "\n"
                          << "pop3:      " << account.pop3Host << ":" << account.pop3Port << "\n"
                          << "catalog:   " << (account.catalogFlag ? "from the mailbox" : "new")
                          << std::endl;
                return kExitOk;
            }};
}

}  // namespace parvola::cli
