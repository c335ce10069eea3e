// parvola-cli: the store from a terminal. Argument handling and output only;
// the work is done by the same library as the desktop client's.
#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_notice_box.h"
#include "cli/option_parser.h"

#ifndef PARVOLA_VERSION
#define PARVOLA_VERSION "1.0"
#endif

namespace parvola::cli {

const std::vector<Command>& allCommands() {
    static const std::vector<Command> commands = {
        loginCommand(),  logoutCommand(),   syncCommand(),    lsCommand(),        treeCommand(),
        storeCommand(),  readCommand(),     backupCommand(),  rmCommand(),        restoreCommand(),
        purgeCommand(),  mkdirCommand(),    renameCommand(),  binCommand(),       spaceCommand(),
        resumeCommand(), settingsCommand(), encryptCommand(), passphraseCommand()};
    return commands;
}

namespace {

const Command* findCommand(const std::string& name) {
    for (const auto& command : allCommands())
        if (command.name == name)
            return &command;
    return nullptr;
}

void printOverview(std::ostream& out) {
    out << "usage: parvola-cli [GLOBAL OPTIONS] COMMAND [ARGS...]\n\n"
           "global options (before or after the command):\n"
           "  --account ADDRESS  use this remembered account\n"
           "  --password-stdin   read the password of an account that is not remembered\n"
           "                     as one line from standard input\n"
           "  --refresh          ls, tree, bin, space: bring the newest catalog from the\n"
           "                     mailbox first (they read the local one otherwise)\n"
           "  --passphrase-stdin read an encrypted account's passphrase as one line from\n"
           "                     standard input (after the password, when both are)\n"
           "  --passphrase-command CMD  the passphrase is the first line CMD prints\n"
           "  --remember-passphrase     keep the passphrase in the desktop keyring\n"
           "  --help, --version\n\ncommands:\n";
    for (const auto& c : allCommands())
        out << "  " << c.name << std::string(10 - std::min<size_t>(9, c.name.size()), ' ')
            << c.summary << "\n";
    out << "\nparvola-cli help COMMAND (or COMMAND --help) shows the usage of one command.\n"
           "Exit status: 0 done, 1 failed (the reason is on standard error, each line\n"
           "starting with \"parvola-cli:\"), 2 usage error, 130 interrupted by Ctrl-C.\n";
}

// A usage error on standard error, every line behind "parvola-cli:": the
// problem, the command's synopsis (the first line of its usage) and where
// the whole usage is.
int usageError(const std::string& problem, const Command* command) {
    if (!problem.empty())
        printError(problem);
    if (command != nullptr) {
        printError(command->usage.substr(0, command->usage.find('\n')));
        printError("see: parvola-cli help " + command->name);
    } else {
        printError("see: parvola-cli --help");
    }
    return kExitUsage;
}

// Takes the global options out of `args`, wherever they stand (up to "--").
bool takeGlobalOptions(std::vector<std::string>& args, GlobalOptions& options) {
    for (size_t i = 0; i < args.size();) {
        const std::string& arg = args[i];
        if (arg == "--")
            break;
        if (arg == "--account") {
            if (i + 1 >= args.size()) {
                setUsageProblem("missing value after --account");
                return false;
            }
            options.account = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i),
                       args.begin() + static_cast<long>(i) + 2);
        } else if (arg == "--password-stdin") {
            options.passwordFromStdin = true;
            args.erase(args.begin() + static_cast<long>(i));
        } else if (arg == "--passphrase-command") {
            if (i + 1 >= args.size()) {
                setUsageProblem("missing value after --passphrase-command");
                return false;
            }
            options.passphraseCommand = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i),
                       args.begin() + static_cast<long>(i) + 2);
        } else if (arg == "--passphrase-stdin") {
            options.passphraseFromStdin = true;
            args.erase(args.begin() + static_cast<long>(i));
        } else if (arg == "--remember-passphrase") {
            options.rememberPassphrase = true;
            args.erase(args.begin() + static_cast<long>(i));
        } else if (arg == "--refresh") {
            options.refresh = true;
            args.erase(args.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
    return true;
}

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    GlobalOptions options;
    if (!takeGlobalOptions(args, options))
        return usageError(usageProblem(), nullptr);
    // The command is the first argument that is no option.
    size_t at = 0;
    while (at < args.size() && args[at].size() > 1 && args[at][0] == '-') {
        if (args[at] == "--help" || args[at] == "-h") {
            printOverview(std::cout);
            return kExitOk;
        }
        if (args[at] == "--version") {
            std::cout << "parvola-cli " << PARVOLA_VERSION << std::endl;
            return kExitOk;
        }
        return usageError("unknown option " + args[at], nullptr);
    }
    if (at >= args.size())
        return usageError("no command given", nullptr);
    const std::string name = args[at];
    args.erase(args.begin(), args.begin() + static_cast<long>(at) + 1);
    if (name == "help") {
        if (args.empty()) {
            printOverview(std::cout);
            return kExitOk;
        }
        if (const Command* command = findCommand(args[0])) {
            std::cout << command->usage;
            return kExitOk;
        }
        return usageError("unknown command " + args[0], nullptr);
    }
    const Command* command = findCommand(name);
    if (command == nullptr)
        return usageError("unknown command " + name, nullptr);
    for (const auto& a : args) {
        if (a == "--")
            break;
        if (a == "--help" || a == "-h") {
            std::cout << command->usage;
            return kExitOk;
        }
    }
    const int rc = command->run(args, options);
    if (rc == kExitUsageExplained)
        return kExitUsage;
    if (rc == kExitUsage)
        return usageError(usageProblem().empty() ? "wrong arguments for " + name : usageProblem(),
                          command);
    return rc;
}

}  // namespace
}  // namespace parvola::cli

int main(int argc, char** argv) {
    // Messages for the user go to standard error, results to standard output.
    parvola::cli::installCliNoticeBox();
    return parvola::cli::run(argc, argv);
}
