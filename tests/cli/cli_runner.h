#pragma once
// Runs the parvola-cli program of this build for a test: its own application
// directory, standard input given, standard output and error captured.
#include <chrono>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace parvola::test {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `parvola-cli args...` with PARVOLA_HOME=`home` and waits for it.
CliResult runCli(const std::string& home, const std::vector<std::string>& args,
                 const std::string& input = "");

// As runCli, and gathers what the system shows of the process while it runs
// (/proc/<pid>/cmdline, comm and environ, NULs as spaces) into `shown`: once
// before its input is given and once after.
CliResult runCliWatched(const std::string& home, const std::vector<std::string>& args,
                        const std::string& input, std::string& shown);

// Runs `parvola-cli args...` on a terminal of its own (a pseudo-terminal for
// its standard input, output and error): once the output holds `prompt`,
// `answer` is typed. Everything the program wrote is in `out`.
CliResult runCliOnTerminal(const std::string& home, const std::vector<std::string>& args,
                           const std::string& prompt, const std::string& answer);

// One question of a conversation on the terminal and what the user types.
struct TerminalExchange {
    std::string prompt;
    std::string answer;
};
// As above, answering each prompt in turn: an answer is typed once the
// output after the previous answer holds its prompt, so a question asked
// twice in the same words is answered twice.
CliResult runCliOnTerminal(const std::string& home, const std::vector<std::string>& args,
                           const std::vector<TerminalExchange>& conversation);

// A parvola-cli process that runs on while the test watches its standard error.
class CliProcess {
  public:
    CliProcess(const std::string& home, const std::vector<std::string>& args);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Reads standard error until it holds `text`; false at the end of the
    // stream or after `limit`.
    bool waitForError(const std::string& text, std::chrono::seconds limit);
    void signal(int number);
    // Waits for the end and collects the rest of the output.
    CliResult finish();

  private:
    ChildProcess process_;
    std::string err_;
};

}  // namespace parvola::test
