#include "platform/secret_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace parvola {
namespace {

// More than any password or token; a command that prints more is cut here.
constexpr size_t kMaxOutput = 64 * 1024;
constexpr size_t kMaxErrorText = 4 * 1024;

class Pipe {
  public:
    Pipe() {
        if (pipe2(fds_, O_CLOEXEC) != 0)
            fds_[0] = fds_[1] = -1;
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool ok() const { return fds_[0] >= 0; }
    int read() const { return fds_[0]; }
    int write() const { return fds_[1]; }
    void closeRead() { closeFd(fds_[0]); }
    void closeWrite() { closeFd(fds_[1]); }

  private:
    static void closeFd(int& fd) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int fds_[2];
};

std::string firstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// Clears a string's bytes before its memory goes back.
void wipe(std::string& text) {
    volatile char* bytes = text.data();
    for (size_t i = 0; i < text.size(); ++i)
        bytes[i] = 0;
    text.clear();
}

}  // namespace

SecretCommandResult runSecretCommand(const std::string& command, std::chrono::milliseconds limit) {
    SecretCommandResult result;
    Pipe out;
    Pipe err;
    if (command.empty() || !out.ok() || !err.ok()) {
        result.failure = "the command could not be started";
        return result;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        result.failure = std::string("the command could not be started: ") + std::strerror(errno);
        return result;
    }
    if (pid == 0) {
        // Its own process group, so a time-out ends whatever it started too.
        setpgid(0, 0);
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0)
            dup2(null, 0);
        dup2(out.write(), 1);
        dup2(err.write(), 2);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    setpgid(pid, pid);
    out.closeWrite();
    err.closeWrite();
    std::string output;
    std::string errors;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool outOpen = true;
    bool errOpen = true;
    bool timedOut = false;
    while (outOpen || errOpen) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd fds[2] = {{outOpen ? out.read() : -1, POLLIN, 0},
                         {errOpen ? err.read() : -1, POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            break;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0)
                continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                (i == 0 ? outOpen : errOpen) = false;
                continue;
            }
            std::string& into = i == 0 ? output : errors;
            const size_t room = (i == 0 ? kMaxOutput : kMaxErrorText) -
                                std::min(into.size(), i == 0 ? kMaxOutput : kMaxErrorText);
            into.append(buffer, std::min(room, static_cast<size_t>(got)));
        }
        std::memset(buffer, 0, sizeof buffer);
    }
    int status = 0;
    if (timedOut) {
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
    }
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const std::string errorLine = firstLine(errors);
    auto withError = [&](std::string text) {
        return errorLine.empty() ? text : text + ": " + errorLine;
    };
    if (timedOut) {
        wipe(output);
        result.outcome = SecretCommandOutcome::TimedOut;
        char seconds[32];
        if (limit.count() % 1000 == 0)
            std::snprintf(seconds, sizeof seconds, "%lld",
                          static_cast<long long>(limit.count() / 1000));
        else
            std::snprintf(seconds, sizeof seconds, "%.1f",
                          static_cast<double>(limit.count()) / 1000);
        result.failure = std::string("the command did not finish within ") + seconds + " seconds";
        return result;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        wipe(output);
        result.outcome = WIFEXITED(status) && WEXITSTATUS(status) == 127
                             ? SecretCommandOutcome::CouldNotStart
                             : SecretCommandOutcome::Failed;
        result.failure =
            withError(WIFEXITED(status)
                          ? "the command ended with status " + std::to_string(WEXITSTATUS(status))
                          : "the command was ended by signal " + std::to_string(WTERMSIG(status)));
        return result;
    }
    result.secret = firstLine(output);
    wipe(output);
    if (result.secret.empty()) {
        result.outcome = SecretCommandOutcome::Empty;
        result.failure = withError("the command printed nothing");
        return result;
    }
    result.outcome = SecretCommandOutcome::Ok;
    return result;
}

std::function<bool(std::string&, std::string&)> secretCommandFetch(const std::string& command) {
    return [command](std::string& secret, std::string& failure) {
        SecretCommandResult result = runSecretCommand(command);
        if (result.outcome != SecretCommandOutcome::Ok) {
            failure = result.failure;
            return false;
        }
        secret.swap(result.secret);
        return true;
    };
}

}  // namespace parvola
