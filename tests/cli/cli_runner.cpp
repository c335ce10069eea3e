#include "tests/cli/cli_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace parvola::test {
namespace {

std::vector<std::string> environmentWithHome(const std::string& home) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "PARVOLA_HOME=", 13) != 0)
            env.emplace_back(*e);
    env.push_back("PARVOLA_HOME=" + home);
    return env;
}

// Spawns the program with three pipes; the caller owns the returned ends.
pid_t spawnCli(const std::string& home, const std::vector<std::string>& args, int& inFd, int& outFd,
               int& errFd) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> argvText = {PARVOLA_CLI_BINARY};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText = environmentWithHome(home);
    std::vector<char*> envp;
    for (auto& e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    inFd = in[1];
    outFd = out[0];
    errFd = err[0];
    return pid;
}

// Reads both streams to their ends.
void drain(int outFd, int errFd, std::string& out, std::string& err) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    char buffer[4096];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? out : err).append(buffer, static_cast<size_t>(n));
            }
        }
    }
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

int waitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
    int inFd, outFd, errFd;
    pid_t pid = spawnCli(home, args, inFd, outFd, errFd);
    if (pid < 0)
        return result;
    // Until the new program runs (posix_spawn may return before the exec
    // has replaced this program's image); it then waits for its input.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        shown = processTexts(pid);
        if (shown.find(PARVOLA_CLI_BINARY) != std::string::npos)
            break;
        poll(nullptr, 0, 5);
    } while (std::chrono::steady_clock::now() < deadline);
    if (!input.empty() && write(inFd, input.data(), input.size()) < 0)
        result.err = "write failed";
    close(inFd);
    shown += processTexts(pid);
    drain(outFd, errFd, result.out, result.err);
    close(outFd);
    close(errFd);
    result.exitCode = waitExit(pid);
    return result;
}

CliResult runCliOnTerminal(const std::string& home, const std::vector<std::string>& args,
                           const std::string& prompt, const std::string& answer) {
    CliResult result;
    std::vector<std::string> argvText = {PARVOLA_CLI_BINARY};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText = environmentWithHome(home);
    std::vector<char*> envp;
    for (auto& e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0)
        return result;
    if (pid == 0) {
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    bool answered = false;
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
        if (!answered && result.out.find(prompt) != std::string::npos) {
            answered = true;
            if (write(master, answer.data(), answer.size()) < 0)
                break;
        }
    }
    if (!ended)
        kill(pid, SIGKILL);
    close(master);
    result.exitCode = waitExit(pid);
    return result;
}

CliProcess::CliProcess(const std::string& home, const std::vector<std::string>& args) {
    int inFd = -1;
    pid_ = spawnCli(home, args, inFd, outFd_, errFd_);
    if (inFd >= 0)
        close(inFd);
}

CliProcess::~CliProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0)
        close(outFd_);
    if (errFd_ >= 0)
        close(errFd_);
}

bool CliProcess::waitForError(const std::string& text, std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[4096];
    while (err_.find(text) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fd{errFd_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            continue;
        ssize_t n = read(errFd_, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        err_.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

void CliProcess::signal(int number) {
    if (pid_ > 0)
        kill(pid_, number);
}

CliResult CliProcess::finish() {
    CliResult result;
    drain(outFd_, errFd_, result.out, result.err);
    result.err = err_ + result.err;
    close(outFd_);
    close(errFd_);
    outFd_ = errFd_ = -1;
    result.exitCode = waitExit(pid_);
    pid_ = -1;
    return result;
}

}  // namespace parvola::test
