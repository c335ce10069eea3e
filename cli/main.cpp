// parvola-cli: the store from a terminal. Argument handling and output only;
// the work is done by the same library as the desktop client's.
#include <iostream>

#include "cli/cli_command.h"
#include "platform/notice_box.h"

namespace parvola::cli {

const std::vector<Command>& allCommands() {
    static const std::vector<Command> commands = {
        loginCommand(), lsCommand(),      treeCommand(),   storeCommand(),   readCommand(),
        rmCommand(),    restoreCommand(), purgeCommand(),  mkdirCommand(),   renameCommand(),
        binCommand(),   spaceCommand(),   resumeCommand(), settingsCommand()};
    return commands;
}

namespace {

void printOverview(std::ostream& out) {
    out << "usage: parvola-cli [--account ADDRESS] [--password-stdin] COMMAND [ARGS...]\n\n"
           "  --password-stdin  read the password of an account that is not remembered\n"
           "                    as one line from standard input\n\ncommands:\n";
    for (const auto& c : allCommands())
        out << "  " << c.name << std::string(10 - std::min<size_t>(9, c.name.size()), ' ')
            << c.summary << "\n";
    out << "\nparvola-cli COMMAND --help shows the usage of one command.\n";
}

int run(int argc, char** argv) {
    GlobalOptions options;
    int i = 1;
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--account" && i + 1 < argc) {
            options.account = argv[++i];
        } else if (arg == "--password-stdin") {
            options.passwordFromStdin = true;
        } else if (arg == "--help" || arg == "-h") {
            printOverview(std::cout);
            return kExitOk;
        } else if (arg.rfind("--", 0) == 0) {
            std::cerr << "parvola-cli: unknown option " << arg << "\n";
            printOverview(std::cerr);
            return kExitUsage;
        } else {
            break;
        }
    }
    if (i >= argc) {
        printOverview(std::cerr);
        return kExitUsage;
    }
    const std::string name = argv[i++];
    std::vector<std::string> args(argv + i, argv + argc);
    for (const auto& command : allCommands()) {
        if (command.name != name)
            continue;
        for (const auto& a : args) {
            if (a == "--help" || a == "-h") {
                std::cout << command.usage;
                return kExitOk;
            }
        }
        int rc = command.run(args, options);
        if (rc == kExitUsage)
            std::cerr << command.usage;
        return rc;
    }
    std::cerr << "parvola-cli: unknown command " << name << "\n";
    printOverview(std::cerr);
    return kExitUsage;
}

}  // namespace
}  // namespace parvola::cli

int main(int argc, char** argv) {
    // Messages for the user go to standard error, results to standard output.
    parvola::installNoticeBox(std::make_shared<parvola::ConsoleNoticeBox>());
    return parvola::cli::run(argc, argv);
}
