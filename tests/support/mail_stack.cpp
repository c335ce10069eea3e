#include "tests/support/mail_stack.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>

namespace parvola::test {

bool MailStack::running() {
    std::string cmd = std::string("bash '") + PARVOLA_MAILSTACK_SCRIPT + "' status '" + dir() +
                      "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::string MailStack::uniqueUser(const std::string& prefix) {
    static std::atomic<int> counter{0};
    return prefix + std::to_string(getpid()) + "x" + std::to_string(counter++);
}

bool MailStack::addUser(const std::string& user, const std::string& password) {
    std::string cmd = std::string("bash '") + PARVOLA_MAILSTACK_SCRIPT + "' adduser '" + dir() +
                      "' '" + user + "' '" + password + "' >/dev/null";
    return std::system(cmd.c_str()) == 0;
}

std::string MailStack::maildir(const std::string& user) {
    return dir() + "/mail/" + user + "/Maildir";
}

}  // namespace parvola::test
