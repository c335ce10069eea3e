#pragma once
// A loopback relay in front of a real server that counts the bytes of its
// sessions and, once one session has carried a given number of bytes in a
// given direction, runs the test's action (which stops the server) and drops
// that session at once: the client sees the stream end in the middle of a
// message, at a point the test chose, not one a sleep hoped for.
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "tests/support/loopback_relay.h"

namespace parvola::test {

class CuttingRelay {
  public:
    using Direction = LoopbackRelay::Side;

    // Listens on `listenHost` (port chosen by the system) and relays each
    // connection to `targetHost`:`targetPort`. In session number `session`
    // (1-based), once more than `bytes` bytes went in `direction`, `action`
    // runs (once) and the session is dropped. Session 0 counts the bytes of
    // all sessions together and drops the one that passes the mark.
    CuttingRelay(const std::string& listenHost, const std::string& targetHost, int targetPort,
                 int session, Direction direction, long long bytes, std::function<void()> action)
        : session_(session),
          direction_(direction),
          bytes_(bytes),
          action_(std::move(action)),
          relay_(listenHost, targetHost, targetPort,
                 [this](LoopbackRelay::Session& s, Direction from, std::string_view chunk) {
                     pass(s, from, chunk);
                 }) {}

    int port() const { return relay_.port(); }
    bool cut() const { return cut_.load(); }
    int sessions() const { return relay_.sessions(); }

  private:
    void pass(LoopbackRelay::Session& session, Direction from, std::string_view chunk) {
        const bool watched = session_ == 0 || session.number() == session_;
        if (watched && from == direction_ && counted(session.number(), chunk.size()) > bytes_ &&
            !cut_.exchange(true)) {
            action_();
            session.cut();  // what the server sent after this point never arrives
            return;
        }
        if (from == Direction::FromClient)
            session.toServer(chunk);
        else
            session.toClient(chunk);
    }

    // The bytes counted so far, `more` included: of all sessions (session
    // 0) or of the watched one.
    long long counted(int number, size_t more) {
        std::lock_guard<std::mutex> guard(mutex_);
        return counts_[session_ == 0 ? 0 : number] += static_cast<long long>(more);
    }

    int session_;
    Direction direction_;
    long long bytes_;
    std::function<void()> action_;
    std::atomic<bool> cut_{false};
    std::mutex mutex_;
    std::map<int, long long> counts_;
    LoopbackRelay relay_;  // last: its sessions end before the members above go
};

}  // namespace parvola::test
