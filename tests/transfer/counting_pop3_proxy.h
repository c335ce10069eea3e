#pragma once
// A loopback relay in front of the real POP3 server that counts the commands
// a client sends (TOP, RETR, UIDL, USER, ...), so a test can tell how much a
// download asked of the server. It can also answer UIDL itself with -ERR, as
// a server without the optional command does.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace parvola::test {

class CountingPop3Proxy {
  public:
    CountingPop3Proxy(std::string host, int port, bool refuseUidl = false)
        : host_(std::move(host)), targetPort_(port), refuseUidl_(refuseUidl) {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listenFd_, 8) == 0 &&
            ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
        if (::pipe(stopPipe_) != 0)
            stopPipe_[0] = stopPipe_[1] = -1;
        acceptor_ = std::thread([this] { acceptLoop(); });
    }

    ~CountingPop3Proxy() {
        const char byte = 0;
        if (::write(stopPipe_[1], &byte, 1) != 1) {
            // The threads then end at their next bounded poll.
        }
        stopping_ = true;
        acceptor_.join();
        for (std::thread& relay : relays_)
            relay.join();
        ::close(listenFd_);
        ::close(stopPipe_[0]);
        ::close(stopPipe_[1]);
    }

    int port() const { return port_; }

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
    void acceptLoop() {
        while (!stopping_) {
            pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
            if (::poll(fds, 2, 1000) <= 0 || (fds[1].revents & POLLIN))
                continue;
            const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            relays_.emplace_back([this, client] { relay(client); });
        }
    }

    void note(const std::string& line) {
        const size_t end = line.find_first_of(" \r\n");
        std::lock_guard<std::mutex> guard(mutex_);
        ++counts_[line.substr(0, end)];
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

    void relay(int client) {
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(targetPort_));
        ::inet_pton(AF_INET, host_.c_str(), &address.sin_addr);
        if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(server);
            ::close(client);
            return;
        }
        std::string pending;  // client bytes not yet a whole line
        std::vector<char> buffer(1 << 16);
        bool open = true;
        while (open && !stopping_) {
            pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
            if (::poll(fds, 3, 1000) <= 0)
                continue;
            if (fds[2].revents & POLLIN)
                break;
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t got = ::recv(server, buffer.data(), buffer.size(), 0);
                open = got > 0 && sendAll(client, buffer.data(), static_cast<size_t>(got));
            }
            if (open && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
                const ssize_t got = ::recv(client, buffer.data(), buffer.size(), 0);
                if (got <= 0)
                    break;
                pending.append(buffer.data(), static_cast<size_t>(got));
                size_t end;
                while (open && (end = pending.find('\n')) != std::string::npos) {
                    const std::string line = pending.substr(0, end + 1);
                    pending.erase(0, end + 1);
                    note(line);
                    if (refuseUidl_ && line.rfind("UIDL", 0) == 0)
                        open = sendAll(client, "-ERR Unknown command\r\n", 22);
                    else
                        open = sendAll(server, line.data(), line.size());
                }
            }
        }
        ::close(server);
        ::close(client);
    }

    std::string host_;
    int targetPort_;
    bool refuseUidl_;
    int listenFd_ = -1;
    int port_ = 0;
    int stopPipe_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::vector<std::thread> relays_;  // touched by the acceptor only until the join
    mutable std::mutex mutex_;
    std::map<std::string, int> counts_;
};

}  // namespace parvola::test
