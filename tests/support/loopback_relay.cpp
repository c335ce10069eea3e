#include "tests/support/loopback_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace parvola::test {
namespace {

bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

sockaddr_in addressOf(const std::string& host, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    return address;
}

}  // namespace

bool LoopbackRelay::Session::send(int fd, std::string_view bytes) {
    if (!sendAll(fd, bytes))
        broken_ = true;
    return !broken_;
}

bool LoopbackRelay::Session::toServer(std::string_view bytes) {
    return send(server_, bytes);
}

bool LoopbackRelay::Session::toClient(std::string_view bytes) {
    return send(client_, bytes);
}

LoopbackRelay::LoopbackRelay(const std::string& listenHost, const std::string& targetHost,
                             int targetPort, Filter filter)
    : targetHost_(targetHost), targetPort_(targetPort), filter_(std::move(filter)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = addressOf(listenHost, 0);
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(listenFd_, 8) == 0 &&
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port_ = ntohs(address.sin_port);
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0)
        stopPipe_[0] = stopPipe_[1] = -1;
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackRelay::~LoopbackRelay() {
    // Closing the write end makes the read end readable in every poll.
    ::close(stopPipe_[1]);
    acceptor_.join();
    for (std::thread& relay : relays_)
        relay.join();
    ::close(listenFd_);
    ::close(stopPipe_[0]);
}

void LoopbackRelay::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) <= 0)
            continue;
        if (fds[1].revents != 0)
            return;
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const int number = ++sessions_;
        relays_.emplace_back([this, client, number] { relay(client, number); });
    }
}

void LoopbackRelay::relay(int client, int number) {
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = addressOf(targetHost_, targetPort_);
    if (::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(server);
        ::close(client);
        return;
    }
    Session session(number, client, server);
    std::string buffer(1 << 16, '\0');
    bool open = true;
    while (open && !session.isOver()) {
        pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 3, -1) <= 0)
            continue;
        if (fds[2].revents != 0)
            break;
        for (int side = 0; side < 2 && open && !session.isOver(); ++side) {
            if (!(fds[side].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::recv(fds[side].fd, buffer.data(), buffer.size(), 0);
            if (got <= 0) {
                open = false;
                break;
            }
            const std::string_view bytes(buffer.data(), static_cast<size_t>(got));
            const Side from = side == 0 ? Side::FromClient : Side::FromServer;
            if (filter_)
                filter_(session, from, bytes);
            else if (from == Side::FromClient)
                session.toServer(bytes);
            else
                session.toClient(bytes);
        }
    }
    if (session.isCut()) {
        linger hard{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    ::close(server);
    ::close(client);
}

}  // namespace parvola::test
