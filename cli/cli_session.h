#pragma once
// Opening the store for one command: the remembered account (or --account),
// its remembered password (or a prompt), the login with the web service and
// the catalog from the mailbox, exactly as the desktop client logs in.
#include <string>

#include "cli/cli_command.h"
#include "mail/mailbox_account.h"

namespace parvola::cli {

struct CliSession {
    MailboxAccount account;
    // The passphrase that opened an encrypted store (in memory only).
    std::string passphrase;
    // The catalog's user: the login address.
    const std::string& user() const { return account.loginAddress; }
};

// Where the command line keeps the account its commands use (config.ini,
// section "cli", beside the desktop client's own keys).
std::string rememberedCliAccount();
void setRememberedCliAccount(const std::string& address);

// The account a command works for: --account, else the one `login`
// remembered, else the first account either client remembered; empty when
// there is none.
std::string chosenAccount(const GlobalOptions& options);

// For the commands that only read the catalog (ls, tree, bin, space): the
// chosen account's catalog as this computer holds it, without the network,
// unless --refresh asks for the newest from the mailbox first (a login, as
// `sync` does). kExitOk with `user` set to the catalog's user, or
// kExitFailure after the reason was printed.
int openLocalCatalog(const GlobalOptions& options, std::string& user);

// Starts the transfer engine's hooks and logs the account in. kExitOk, or
// kExitFailure after the reason was shown. The account's unfinished
// transfers start only when `resumeTasks` is set.
int openSession(const GlobalOptions& options, CliSession& session, bool resumeTasks = false);

// Waits for the workers the command started (catalog mails, transfers) so
// that nothing is lost when the process ends; prints a line while it waits.
void finishSession();

}  // namespace parvola::cli
