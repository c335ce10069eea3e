#include "tests/cli/cli_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace parvola::test {
namespace {

std::vector<std::string> cliArgv(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {PARVOLA_CLI_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

bool startCli(ChildProcess& process, const std::string& home,
              const std::vector<std::string>& args) {
    return process.start(cliArgv(args),
                         ChildProcess::kInput | ChildProcess::kOutput | ChildProcess::kError,
                         environmentWith("PARVOLA_HOME", home));
}

// What /proc shows of a running process: its command line, name and
// environment, NULs turned to spaces.
std::string processTexts(pid_t pid) {
    std::string shown;
    for (const char* name : {"cmdline", "comm", "environ"}) {
        const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        char buffer[4096];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, static_cast<size_t>(n));
        close(fd);
        shown += '\n';
    }
    for (char& c : shown)
        if (c == '\0')
            c = ' ';
    return shown;
}

}  // namespace

CliResult runCli(const std::string& home, const std::vector<std::string>& args,
                 const std::string& input) {
    std::string shown;
    return runCliWatched(home, args, input, shown);
}

CliResult runCliWatched(const std::string& home, const std::vector<std::string>& args,
                        const std::string& input, std::string& shown) {
    CliResult result;
    ChildProcess process;
    if (!startCli(process, home, args))
        return result;
    // Until the new program runs (posix_spawn may return before the exec
    // has replaced this program's image); it then waits for its input.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        shown = processTexts(process.pid());
        if (shown.find(PARVOLA_CLI_BINARY) != std::string::npos)
            break;
        poll(nullptr, 0, 5);
    } while (std::chrono::steady_clock::now() < deadline);
    // A program may end without reading its input (a refused command does);
    // the failed write then says nothing about it, its output and exit code do.
    if (!input.empty())
        (void)process.write(input);
    process.closeInput();
    shown += processTexts(process.pid());
    process.drain(result.out, result.err);
    result.exitCode = process.wait();
    return result;
}

CliResult runCliOnTerminal(const std::string& home, const std::vector<std::string>& args,
                           const std::string& prompt, const std::string& answer) {
    return runCliOnTerminal(home, args, {{prompt, answer}});
}

CliResult runCliOnTerminal(const std::string& home, const std::vector<std::string>& args,
                           const std::vector<TerminalExchange>& conversation) {
    CliResult result;
    ChildProcess process;
    if (!process.startOnTerminal(cliArgv(args), environmentWith("PARVOLA_HOME", home)))
        return result;
    const int master = process.terminalFd();
    size_t next = 0;          // the exchange whose prompt is awaited
    size_t searchedFrom = 0;  // output before this was answered already
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd fd{master, POLLIN, 0};
        if (poll(&fd, 1, 1000) <= 0)
            continue;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) {
            ended = true;  // EIO once the program and its terminal are gone
            break;
        }
        result.out.append(buffer, static_cast<size_t>(n));
        if (next == conversation.size())
            continue;
        const size_t at = result.out.find(conversation[next].prompt, searchedFrom);
        if (at == std::string::npos)
            continue;
        const std::string& answer = conversation[next].answer;
        if (write(master, answer.data(), answer.size()) < 0)
            break;
        searchedFrom = at + conversation[next].prompt.size();
        ++next;
    }
    if (!ended)
        process.signal(SIGKILL);
    result.exitCode = process.wait();
    return result;
}

CliProcess::CliProcess(const std::string& home, const std::vector<std::string>& args) {
    if (startCli(process_, home, args))
        process_.closeInput();
}

CliProcess::~CliProcess() = default;

bool CliProcess::waitForError(const std::string& text, std::chrono::seconds limit) {
    return process_.readErrorUntil(text, err_, std::chrono::steady_clock::now() + limit);
}

void CliProcess::signal(int number) {
    process_.signal(number);
}

CliResult CliProcess::finish() {
    CliResult result;
    process_.drain(result.out, result.err);
    result.err = err_ + result.err;
    result.exitCode = process_.wait();
    return result;
}

}  // namespace parvola::test
