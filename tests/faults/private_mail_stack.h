#pragma once
// A mail server of one test's own (Exim and Dovecot on loopback ports derived
// from the shared server's ports), which the test may stop by pid in the
// middle of a transfer and start again, without disturbing other tests.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace parvola::test {

class PrivateMailStack {
  public:
    // `slot` (0 to 9) picks the ports: the shared server's plus 10 + slot.
    explicit PrivateMailStack(int slot)
        : smtpPort_(PARVOLA_TEST_SMTP_PORT + 10 + slot),
          pop3Port_(PARVOLA_TEST_POP3_PORT + 10 + slot),
          imapPort_(PARVOLA_TEST_IMAP_PORT + 10 + slot),
          dir_("/tmp/parvola-pms-" + std::to_string(smtpPort_)) {
        // A folder left by an interrupted run: its servers go first.
        if (std::filesystem::exists(dir_)) {
            script("stop");
            std::error_code error;
            std::filesystem::remove_all(dir_, error);
        }
        std::filesystem::create_directories(dir_);
    }
    ~PrivateMailStack() {
        script("stop");
        std::error_code error;
        std::filesystem::remove_all(dir_, error);
    }
    PrivateMailStack(const PrivateMailStack&) = delete;
    PrivateMailStack& operator=(const PrivateMailStack&) = delete;

    int smtpPort() const { return smtpPort_; }
    int pop3Port() const { return pop3Port_; }
    const std::string& dir() const { return dir_; }

    // Further settings of the stack for start(), e.g. "MAILSTACK_MAX_SIZE=300K"
    // (words for the shell, trusted as they are).
    void setEnvironment(std::string words) { extraEnvironment_ = std::move(words); }

    // Both daemons, answering on 127.0.0.1 and 127.0.0.2 (the "sohu" row).
    bool start() {
        const std::string env = extraEnvironment_ +
                                " MAILSTACK_SMTP_PORT=" + std::to_string(smtpPort_) +
                                " MAILSTACK_POP3_PORT=" + std::to_string(pop3Port_) +
                                " MAILSTACK_IMAP_PORT=" + std::to_string(imapPort_) +
                                " MAILSTACK_ADDRESSES='127.0.0.1 127.0.0.2'"
                                " MAILSTACK_DOMAINS='sina.test:sohu.test:parvola.test' ";
        return std::system((env + command("start") + " >/dev/null").c_str()) == 0;
    }
    // Stops whatever still runs (the script's own orderly stop).
    bool stop() { return script("stop"); }
    // Brought back after a kill: what is left is stopped, then both start.
    bool restart() { return stop() && start(); }

    bool addUser(const std::string& user, const std::string& password) {
        return std::system((command("adduser") + " '" + user + "' '" + password + "' >/dev/null")
                               .c_str()) == 0;
    }
    std::string maildir(const std::string& user) const {
        return dir_ + "/mail/" + user + "/Maildir";
    }

    // Kills the SMTP server (Exim's daemon and every session it forked: the
    // daemon leads its own process group) and waits until its port refuses.
    bool killSmtp() { return killGroup(dir_ + "/run/exim.pid", smtpPort_); }
    // The same for the POP3 server (Dovecot's master and its processes).
    bool killPop3() { return killGroup(dir_ + "/run/dovecot/master.pid", pop3Port_); }

    static bool accepts(int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

  private:
    std::string command(const char* verb) const {
        return std::string("bash '") + PARVOLA_MAILSTACK_SCRIPT + "' " + verb + " '" + dir_ + "'";
    }
    bool script(const char* verb) const {
        return std::system((command(verb) + " >/dev/null 2>&1").c_str()) == 0;
    }

    static bool killGroup(const std::string& pidFile, int port) {
        std::ifstream in(pidFile);
        pid_t pid = 0;
        if (!(in >> pid) || pid <= 1)
            return false;
        if (::kill(-pid, SIGKILL) != 0)
            return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (accepts(port)) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::string extraEnvironment_;
    int smtpPort_;
    int pop3Port_;
    int imapPort_;
    std::string dir_;
};

}  // namespace parvola::test
