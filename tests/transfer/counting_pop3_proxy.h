#pragma once
// A loopback relay in front of the real POP3 server that counts the commands
// a client sends (TOP, RETR, UIDL, USER, ...), so a test can tell how much a
// download asked of the server. It can also answer UIDL itself with -ERR, as
// a server without the optional command does.
#include <map>
#include <mutex>
#include <string>

#include "tests/support/loopback_relay.h"

namespace parvola::test {

class CountingPop3Proxy {
  public:
    CountingPop3Proxy(const std::string& host, int port, bool refuseUidl = false)
        : refuseUidl_(refuseUidl),
          relay_("127.0.0.1", host, port,
                 [this](LoopbackRelay::Session& s, LoopbackRelay::Side from,
                        std::string_view bytes) { pass(s, from, bytes); }) {}

    int port() const { return relay_.port(); }

    // How many client lines began with `verb` ("TOP", "RETR", ...).
    int count(const std::string& verb) const {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto it = counts_.find(verb);
        return it == counts_.end() ? 0 : it->second;
    }
    void reset() {
        std::lock_guard<std::mutex> guard(mutex_);
        counts_.clear();
    }

  private:
    // Client bytes go on a whole line at a time, each counted by its verb.
    void pass(LoopbackRelay::Session& session, LoopbackRelay::Side from, std::string_view bytes) {
        if (from == LoopbackRelay::Side::FromServer) {
            session.toClient(bytes);
            return;
        }
        std::string& pending = pendingOf(session.number());
        pending.append(bytes);
        size_t end;
        while (!session.isOver() && (end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end + 1);
            pending.erase(0, end + 1);
            note(line);
            if (refuseUidl_ && line.rfind("UIDL", 0) == 0)
                session.toClient("-ERR Unknown command\r\n");
            else
                session.toServer(line);
        }
    }

    // The client bytes of session `number` that are not yet a whole line;
    // only that session's thread touches them.
    std::string& pendingOf(int number) {
        std::lock_guard<std::mutex> guard(mutex_);
        return pending_[number];
    }

    void note(const std::string& line) {
        const size_t end = line.find_first_of(" \r\n");
        std::lock_guard<std::mutex> guard(mutex_);
        ++counts_[line.substr(0, end)];
    }

    bool refuseUidl_;
    mutable std::mutex mutex_;
    std::map<std::string, int> counts_;
    std::map<int, std::string> pending_;  // std::map: references stay valid as it grows
    LoopbackRelay relay_;                 // last: its sessions end before the members above go
};

}  // namespace parvola::test
