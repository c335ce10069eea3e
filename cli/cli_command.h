#pragma once
// One subcommand of the command-line client: its name, a usage text for
// --help, and the routine that runs it.
#include <functional>
#include <string>
#include <vector>

namespace parvola::cli {

// Exit codes of the client (and 130 after Ctrl-C, cli/transfer_wait.h).
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// Returned by a command that printed the reason of a usage error itself: the
// client exits with kExitUsage without adding the synopsis.
constexpr int kExitUsageExplained = -2;

struct GlobalOptions {
    std::string account;  // --account: which remembered account to use
    // --password-stdin: an account whose password is not remembered reads it
    // as one line from standard input (scripts; never from the command line).
    bool passwordFromStdin = false;
    // --refresh: the commands that read the local catalog bring the newest
    // one from the mailbox first.
    bool refresh = false;
    // The passphrase of an encrypted account: one line from standard input
    // (after the password, when both are read there), or the first line a
    // command prints; otherwise the desktop keyring, then a prompt.
    bool passphraseFromStdin = false;
    std::string passphraseCommand;
    // --remember-passphrase: keep the passphrase in the desktop keyring once
    // it opened the store, so later commands need not ask.
    bool rememberPassphrase = false;
};

struct Command {
    std::string name;
    std::string summary;
    std::string usage;
    std::function<int(const std::vector<std::string>& args, const GlobalOptions& options)> run;
};

// Every command the client knows, in the order --help lists them.
const std::vector<Command>& allCommands();

// Commands, defined by subject in their own files.
Command loginCommand();
Command lsCommand();
Command treeCommand();
Command storeCommand();
Command readCommand();
Command rmCommand();
Command restoreCommand();
Command purgeCommand();
Command mkdirCommand();
Command renameCommand();
Command binCommand();
Command spaceCommand();
Command resumeCommand();
Command settingsCommand();
Command syncCommand();
Command logoutCommand();
Command backupCommand();
Command encryptCommand();
Command passphraseCommand();

}  // namespace parvola::cli
