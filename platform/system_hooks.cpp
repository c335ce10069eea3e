#include "platform/system_hooks.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <vector>

extern char** environ;

namespace parvola {
namespace {

std::mutex hooksMutex;
ShellOpenRoutine shellOpenRoutine;
ShutdownRoutine shutdownRoutine;

// Runs a program with arguments and waits for it; true when it exits with 0.
bool runProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool shellOpen(const std::string& target) {
    ShellOpenRoutine routine;
    {
        std::lock_guard<std::mutex> guard(hooksMutex);
        routine = shellOpenRoutine;
    }
    if (routine)
        return routine(target);
    return runProgram({"xdg-open", target});
}

void setShellOpenRoutine(ShellOpenRoutine routine) {
    std::lock_guard<std::mutex> guard(hooksMutex);
    shellOpenRoutine = std::move(routine);
}

bool shutdownSystem() {
    ShutdownRoutine routine;
    {
        std::lock_guard<std::mutex> guard(hooksMutex);
        routine = shutdownRoutine;
    }
    if (routine)
        return routine();
    return runProgram({"systemctl", "poweroff"});
}

void setShutdownRoutine(ShutdownRoutine routine) {
    std::lock_guard<std::mutex> guard(hooksMutex);
    shutdownRoutine = std::move(routine);
}

void debugOutput(const std::string& text) {
    static const bool enabled = std::getenv("PARVOLA_DEBUG") != nullptr;
    if (enabled)
        std::cerr << text << std::endl;
}

unsigned long tickCountMs() {
    using namespace std::chrono;
    return static_cast<unsigned long>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace parvola
