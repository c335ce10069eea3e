#pragma once
// A loopback relay in front of a real server that counts the bytes of its
// sessions and, once one session has carried a given number of bytes in a
// given direction, runs the test's action (which stops the server) and drops
// that session at once: the client sees the stream end in the middle of a
// message, at a point the test chose, not one a sleep hoped for.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace parvola::test {

class CuttingRelay {
  public:
    enum class Direction { FromClient, FromServer };

    // Listens on `listenHost` (port chosen by the system) and relays each
    // connection to `targetHost`:`targetPort`. In session number `session`
    // (1-based), once more than `bytes` bytes went in `direction`, `action`
    // runs (once) and the session is dropped. Session 0 counts the bytes of
    // all sessions together and drops the one that passes the mark.
    CuttingRelay(const std::string& listenHost, const std::string& targetHost, int targetPort,
                 int session, Direction direction, long long bytes, std::function<void()> action)
        : targetHost_(targetHost),
          targetPort_(targetPort),
          session_(session),
          direction_(direction),
          bytes_(bytes),
          action_(std::move(action)) {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, listenHost.c_str(), &address.sin_addr);
        socklen_t length = sizeof address;
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listenFd_, 8) == 0 &&
            ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }

    ~CuttingRelay() {
        stopping_ = true;
        acceptor_.join();
        for (std::thread& relay : relays_)
            relay.join();
        ::close(listenFd_);
    }
    CuttingRelay(const CuttingRelay&) = delete;
    CuttingRelay& operator=(const CuttingRelay&) = delete;

    int port() const { return port_; }
    bool cut() const { return cut_.load(); }
    int sessions() const { return sessions_.load(); }

  private:
    void acceptLoop() {
        while (!stopping_) {
            pollfd fd{listenFd_, POLLIN, 0};
            if (::poll(&fd, 1, 100) <= 0)
                continue;
            const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            const int number = ++sessions_;
            relays_.emplace_back([this, client, number] { relay(client, number); });
        }
    }

    static bool sendAll(int fd, const char* data, size_t size) {
        while (size > 0) {
            const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            data += sent;
            size -= static_cast<size_t>(sent);
        }
        return true;
    }

    void relay(int client, int number) {
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(targetPort_));
        ::inet_pton(AF_INET, targetHost_.c_str(), &address.sin_addr);
        if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(server);
            ::close(client);
            return;
        }
        const bool watched = session_ == 0 || number == session_;
        long long own = 0;
        bool cutHere = false;
        std::vector<char> buffer(1 << 14);
        bool open = true;
        while (open && !stopping_) {
            pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(fds, 2, 100) <= 0)
                continue;
            for (int side = 0; side < 2 && open; ++side) {
                if (!(fds[side].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const int from = side == 0 ? client : server;
                const int to = side == 0 ? server : client;
                const ssize_t got = ::recv(from, buffer.data(), buffer.size(), 0);
                if (got <= 0) {
                    open = false;
                    break;
                }
                const bool counts = watched && (side == 0) == (direction_ == Direction::FromClient);
                const long long counted = !counts         ? 0
                                          : session_ == 0 ? (total_ += got)
                                                          : (own += got);
                if (counts && counted > bytes_ && !cut_.exchange(true)) {
                    action_();
                    cutHere = true;
                    open = false;  // what the server sent after this point never arrives
                    break;
                }
                open = sendAll(to, buffer.data(), static_cast<size_t>(got));
            }
        }
        if (cutHere) {
            // A reset, as a dead peer's kernel gives, rather than an orderly end.
            linger hard{1, 0};
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        ::close(server);
        ::close(client);
    }

    std::string targetHost_;
    int targetPort_;
    int session_;
    Direction direction_;
    long long bytes_;
    std::function<void()> action_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> cut_{false};
    std::atomic<long long> total_{0};
    std::atomic<int> sessions_{0};
    std::thread acceptor_;
    std::vector<std::thread> relays_;  // touched by the acceptor only until the join
};

}  // namespace parvola::test
