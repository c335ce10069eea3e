#include "tests/support/site_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/syscall.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace parvola::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartBound = std::chrono::seconds(20);
constexpr auto kStopBound = std::chrono::seconds(10);

// A pipe whose ends close themselves; both ends close on exec in this process.
struct Pipe {
    int fd[2] = {-1, -1};
    bool open() { return pipe2(fd, O_CLOEXEC) == 0; }
    void closeEnd(int i) {
        if (fd[i] >= 0)
            close(fd[i]);
        fd[i] = -1;
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
};

std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

// Starts `args` with its standard output (and error, when `err` is given)
// going into pipes.
pid_t spawn(std::vector<std::string> args, Pipe& out, Pipe* err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], STDOUT_FILENO);
    if (err)
        posix_spawn_file_actions_adddup2(&actions, err->fd[1], STDERR_FILENO);
    std::vector<char*> argv = argvOf(args);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Reads `fd` until end of file (the program ended or closed it).
void drainInto(int fd, std::string& text) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            text.append(buffer, static_cast<size_t>(n));
}

// Reads the first line from `fd`, waiting at most until `deadline`.
bool readFirstLine(int fd, Clock::time_point deadline, std::string& line) {
    std::string text;
    while (text.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char c;
        ssize_t n = read(fd, &c, 1);  // one byte at a time: leave the rest unread
        if (n <= 0)
            return false;
        text.push_back(c);
    }
    line = text.substr(0, text.find('\n'));
    return true;
}

// Undoes the escapes of `parvola-site log`.
std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        char c = text[++i];
        if (c == 't')
            out.push_back('\t');
        else if (c == 'n')
            out.push_back('\n');
        else if (c == 'r')
            out.push_back('\r');
        else if (c == 'x' && i + 2 < text.size()) {
            out.push_back(
                static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16)));
            i += 2;
        } else
            out.push_back(c);
    }
    return out;
}

// Waits, at most kStopBound, for `pid` to end: its pid, or 0 when it still runs.
pid_t waitForExit(pid_t pid, int& status) {
    auto deadline = Clock::now() + kStopBound;
    // A process descriptor becomes readable the moment the process ends.
    int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        if (pidFd >= 0) {
            pollfd p{pidFd, POLLIN, 0};
            poll(&p, 1, static_cast<int>(left.count()));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (pidFd >= 0)
        close(pidFd);
    return done;
}

}  // namespace

std::string SiteProcess::binary() {
    return PARVOLA_SITE_BINARY;
}

int SiteProcess::run(const std::vector<std::string>& args, std::string* out, std::string* err) {
    std::vector<std::string> full{binary()};
    full.insert(full.end(), args.begin(), args.end());
    Pipe outPipe, errPipe;
    if (!outPipe.open() || !errPipe.open())
        return -1;
    pid_t pid = spawn(full, outPipe, &errPipe);
    outPipe.closeEnd(1);
    errPipe.closeEnd(1);
    if (pid < 0)
        return -1;
    // Read both to their ends together, so neither pipe fills and stalls the program.
    std::string outText, errText;
    std::thread errReader([&] { drainInto(errPipe.fd[0], errText); });
    drainInto(outPipe.fd[0], outText);
    errReader.join();
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (out)
        *out = outText;
    if (err)
        *err = errText;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

SiteProcess::SiteProcess() : dir_("parvola-site") {
    Pipe outPipe;
    if (!outPipe.open())
        return;
    pid_ = spawn({binary(), "serve", "--port", "0", "--db", dbPath()}, outPipe, nullptr);
    outPipe.closeEnd(1);
    if (pid_ < 0) {
        std::fprintf(stderr, "SiteProcess: cannot start %s\n", binary().c_str());
        return;
    }
    std::string line;
    if (!readFirstLine(outPipe.fd[0], Clock::now() + kStartBound, line) ||
        std::sscanf(line.c_str(), "listening on 127.0.0.1:%d", &port_) != 1) {
        std::fprintf(stderr, "SiteProcess: no \"listening on\" line from %s (got \"%s\")\n",
                     binary().c_str(), line.c_str());
        port_ = 0;
        return;
    }
    // Keep the read end open while the service runs, so that nothing it
    // writes later can end it with a broken pipe.
    stdoutFd_ = outPipe.fd[0];
    outPipe.fd[0] = -1;
}

SiteProcess::~SiteProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        pid_t done = waitForExit(pid_, status);
        if (done == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    if (stdoutFd_ >= 0)
        close(stdoutFd_);
}

std::string SiteProcess::baseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::string SiteProcess::notificationUrl() const {
    return baseUrl() + "/qk7rta$19bw4xn8p6.php";
}

std::string SiteProcess::deployIniSection() const {
    return "[site]\nbase=" + baseUrl() + "\ngroup=" + baseUrl() + "\n";
}

void SiteProcess::pointClientHere(const std::filesystem::path& appHome) const {
    std::ofstream out(appHome / "deploy.ini", std::ios::binary | std::ios::app);
    out << deployIniSection();
}

bool SiteProcess::addUser(const std::string& address, const std::string& password,
                          const std::string& mailbox, const std::string& mailboxPassword,
                          bool catalog) const {
    std::vector<std::string> args{"add-user", "--db",  dbPath(),       address,
                                  password,   mailbox, mailboxPassword};
    if (catalog)
        args.push_back("--catalog");
    return run(args) == 0;
}

std::vector<SiteLogEntry> SiteProcess::log(const std::string& kind) const {
    std::vector<std::string> args{"log", "--db", dbPath()};
    if (!kind.empty()) {
        args.push_back("--kind");
        args.push_back(kind);
    }
    std::string out;
    std::vector<SiteLogEntry> entries;
    if (run(args, &out) != 0)
        return entries;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        std::string line = out.substr(start, end - start);
        start = end + 1;
        size_t tab1 = line.find('\t');
        size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos)
            continue;
        entries.push_back({line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1),
                           unescape(line.substr(tab2 + 1))});
    }
    return entries;
}

}  // namespace parvola::test
