#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace parvola::test {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

int exitStatusOf(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

std::vector<std::string> environmentWith(const std::string& name, const std::string& value) {
    const std::string prefix = name + "=";
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0)
            environment.emplace_back(*entry);
    }
    environment.push_back(prefix + value);
    return environment;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    closeFd(inFd_);
    closeFd(outFd_);
    closeFd(errFd_);
    closeFd(terminalFd_);
}

void ChildProcess::closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool ChildProcess::start(const std::vector<std::string>& argv, unsigned pipes,
                         const std::vector<std::string>& environment) {
    // Every end is closed on exec in this process; the child gets its own
    // ends as its standard streams through dup2.
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if (((pipes & kInput) && ::pipe2(in, O_CLOEXEC) != 0) ||
        ((pipes & kOutput) && ::pipe2(out, O_CLOEXEC) != 0) ||
        ((pipes & kError) && ::pipe2(err, O_CLOEXEC) != 0)) {
        for (int* ends : {in, out, err}) {
            closeFd(ends[0]);
            closeFd(ends[1]);
        }
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipes & kInput)
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    if (pipes & kOutput)
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (pipes & kError)
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> argvText = argv;
    std::vector<std::string> envText = environment;
    std::vector<char*> argvPointers = pointersTo(argvText);
    std::vector<char*> envPointers = pointersTo(envText);
    pid_t pid = -1;
    if (posix_spawn(&pid, argvPointers[0], &actions, nullptr, argvPointers.data(),
                    environment.empty() ? environ : envPointers.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    closeFd(in[0]);
    closeFd(out[1]);
    closeFd(err[1]);
    inFd_ = in[1];
    outFd_ = out[0];
    errFd_ = err[0];
    pid_ = pid;
    return pid_ > 0;
}

bool ChildProcess::startOnTerminal(const std::vector<std::string>& argv,
                                   const std::vector<std::string>& environment) {
    // Everything exec needs is made before the fork: the child only execs.
    std::vector<std::string> argvText = argv;
    std::vector<std::string> envText = environment;
    std::vector<char*> argvPointers = pointersTo(argvText);
    std::vector<char*> envPointers = pointersTo(envText);
    char** envp = environment.empty() ? environ : envPointers.data();
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::execve(argvPointers[0], argvPointers.data(), envp);
        ::_exit(127);
    }
    pid_ = pid;
    terminalFd_ = master;
    return true;
}

bool ChildProcess::write(const std::string& text) {
    // A program that ends without reading its input (a command that needs
    // none) closes the pipe: the write then fails with EPIPE instead of the
    // signal ending the test process.
    static const bool pipeSignalIgnored = ::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)pipeSignalIgnored;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(inFd_, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

void ChildProcess::closeInput() {
    closeFd(inFd_);
}

bool ChildProcess::readErrorUntil(const std::string& text, std::string& err,
                                  Clock::time_point deadline) {
    char buffer[4096];
    while (err.find(text) == std::string::npos) {
        const int left = millisecondsUntil(deadline);
        if (left == 0)
            return false;
        pollfd fd{errFd_, POLLIN, 0};
        if (::poll(&fd, 1, left) <= 0)
            continue;
        const ssize_t got = ::read(errFd_, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        err.append(buffer, static_cast<size_t>(got));
    }
    return true;
}

bool ChildProcess::readOutputLine(std::string& out, Clock::time_point deadline) {
    while (out.find('\n') == std::string::npos) {
        const int left = millisecondsUntil(deadline);
        if (left == 0)
            return false;
        pollfd fd{outFd_, POLLIN, 0};
        const int ready = ::poll(&fd, 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char c;
        const ssize_t got = ::read(outFd_, &c, 1);  // one byte at a time: the rest stays
        if (got <= 0)
            return false;
        out.push_back(c);
    }
    return true;
}

void ChildProcess::drain(std::string& out, std::string& err) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    int open = (outFd_ >= 0) + (errFd_ >= 0);
    char buffer[4096];
    // A program that hangs with its output open would hold the test until
    // CTest's own limit ends it without a word; stop it sooner and say so.
    constexpr int kQuietLimitMs = 400'000;
    int quietMs = 0;
    while (open > 0) {
        const int ready = ::poll(fds, 2, 1000);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (ready == 0) {
            quietMs += 1000;
            if (quietMs >= kQuietLimitMs) {
                err += "\n[test runner: no output for 400 s, the program was killed]\n";
                signal(SIGKILL);
                break;
            }
            continue;
        }
        quietMs = 0;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? out : err).append(buffer, static_cast<size_t>(got));
            }
        }
    }
    closeFd(outFd_);
    closeFd(errFd_);
}

void ChildProcess::signal(int number) {
    if (pid_ > 0)
        ::kill(pid_, number);
}

int ChildProcess::wait() {
    if (pid_ <= 0)
        return -1;
    int status = 0;
    pid_t done;
    while ((done = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return done < 0 ? -1 : exitStatusOf(status);
}

bool ChildProcess::waitFor(std::chrono::milliseconds limit, int& exitStatus) {
    if (pid_ <= 0)
        return false;
    const auto deadline = Clock::now() + limit;
    // A process descriptor becomes readable the moment the process ends.
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0) {
        const int left = millisecondsUntil(deadline);
        if (left == 0)
            break;
        pollfd fd{pidFd, POLLIN, 0};
        ::poll(pidFd >= 0 ? &fd : nullptr, pidFd >= 0 ? 1 : 0, pidFd >= 0 ? left : 10);
    }
    if (pidFd >= 0)
        ::close(pidFd);
    if (done != pid_)
        return false;
    pid_ = -1;
    exitStatus = exitStatusOf(status);
    return true;
}

}  // namespace parvola::test
