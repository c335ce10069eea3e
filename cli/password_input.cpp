#include "cli/password_input.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace parvola::cli {
namespace {

// Turns terminal echo off for its lifetime and restores it, also on early return.
// Echo goes off before the prompt shows: input flushed then is what was typed
// before anyone asked, never an answer typed (or pasted) after the prompt.
class EchoOff {
  public:
    EchoOff() {
        if (tcgetattr(STDIN_FILENO, &saved_) == 0) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff() {
        if (active_)
            tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    termios saved_{};
    bool active_ = false;
};

}  // namespace

std::optional<std::string> readPassword(const std::string& prompt, bool fromStdin) {
    std::string line;
    if (fromStdin || !isatty(STDIN_FILENO)) {
        if (!std::getline(std::cin, line))
            return std::nullopt;
    } else {
        EchoOff echoOff;
        std::cerr << prompt << std::flush;
        bool ok = static_cast<bool>(std::getline(std::cin, line));
        std::cerr << std::endl;
        if (!ok)
            return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

}  // namespace parvola::cli
