#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/tls_channel.h"

namespace parvola {
namespace {

// Callers compare against the Windows Sockets numbers; translate the POSIX
// errors they can meet. Anything else keeps its errno value, which no caller
// mistakes for one of the codes it tests.
int socketErrorFromErrno(int err) {
    switch (err) {
        case ETIMEDOUT:
            return kErrorTimedOut;
        case ECONNREFUSED:
            return kErrorConnectionRefused;
        case ECONNRESET:
        case EPIPE:
            return kErrorConnectionReset;
        case ENOTCONN:
        case EBADF:
            return kErrorNotConnected;
        case EINVAL:
            return kErrorInvalidArgument;
        default:
            return err;
    }
}

}  // namespace

std::string socketErrorText(int code) {
    switch (code) {
        case kSocketOk:
            return "no error";
        case kErrorInvalidArgument:
            return "host not found";
        case kErrorBadReply:
            return "unexpected reply";
        case kErrorConnectionReset:
            return "connection reset";
        case kErrorNotConnected:
            return "connection closed";
        case kErrorTimedOut:
            return "timed out";
        case kErrorConnectionRefused:
            return "connection refused";
        case kErrorSecureChannel:
            return "secure connection failed";
        case kErrorPlaintextRefused:
            return "no TLS: the password is not sent in plain text";
        default:
            return std::generic_category().message(code);
    }
}

namespace {

bool resolveIpv4(const std::string& host, in_addr& out) {
    if (inet_pton(AF_INET, host.c_str(), &out) == 1)
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    out = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

}  // namespace

TcpSocket::TcpSocket() = default;

TcpSocket::~TcpSocket() {
    close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      lastError_(other.lastError_),
      tls_(std::move(other.tls_)),
      tlsFailure_(std::move(other.tlsFailure_)),
      tlsIoTimeoutMs_(other.tlsIoTimeoutMs_) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        lastError_ = other.lastError_;
        tls_ = std::move(other.tls_);
        tlsFailure_ = std::move(other.tlsFailure_);
        tlsIoTimeoutMs_ = other.tlsIoTimeoutMs_;
    }
    return *this;
}

bool TcpSocket::startTls(const std::string& host, const std::string& caFile, int timeoutMs) {
    tlsFailure_.clear();
    if (fd_ < 0) {
        lastError_ = kErrorNotConnected;
        return false;
    }
    if (tls_ != nullptr)
        return true;
    tls_ = TlsChannel::handshake(fd_, host, caFile, timeoutMs, tlsFailure_);
    if (tls_ == nullptr) {
        lastError_ = kErrorSecureChannel;
        return false;
    }
    return true;
}

bool TcpSocket::create() {
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        lastError_ = socketErrorFromErrno(errno);
        return false;
    }
    // Commands are short and every one waits for its reply: do not let Nagle
    // hold a command back behind the previous segment's acknowledgement.
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

bool TcpSocket::connect(const std::string& host, int port) {
    if (fd_ < 0) {
        lastError_ = kErrorNotConnected;
        return false;
    }
    if (port <= 0 || port > 65535) {
        lastError_ = kErrorInvalidArgument;
        return false;
    }
    // An IPv6 address written out ("::1", as a server address in brackets
    // gives it) gets a socket of its family; names still resolve to IPv4.
    sockaddr_in6 address6{};
    if (inet_pton(AF_INET6, host.c_str(), &address6.sin6_addr) == 1) {
        const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError_ = socketErrorFromErrno(errno);
            return false;
        }
        ::close(fd_);
        fd_ = fd;
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(static_cast<uint16_t>(port));
        return connectTo(reinterpret_cast<const sockaddr*>(&address6), sizeof address6);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (!resolveIpv4(host, address.sin_addr)) {
        lastError_ = kErrorInvalidArgument;
        return false;
    }
    return connectTo(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

bool TcpSocket::connectTo(const sockaddr* address, socklen_t length) {
    int rc;
    do {
        rc = ::connect(fd_, address, length);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        lastError_ = socketErrorFromErrno(errno);
        return false;
    }
    return true;
}

ssize_t TcpSocket::sendSome(const void* data, size_t length) {
    if (fd_ < 0) {
        lastError_ = kErrorNotConnected;
        return -1;
    }
    if (tls_ != nullptr) {
        const ssize_t sent = tls_->write(data, length, tlsIoTimeoutMs_);
        if (sent < 0) {
            tlsFailure_ = tls_->failure();
            lastError_ = kErrorConnectionReset;
        }
        return sent;
    }
    ssize_t sent;
    do {
        sent = ::send(fd_, data, length, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0)
        lastError_ = socketErrorFromErrno(errno);
    return sent;
}

bool TcpSocket::sendAll(const void* data, size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t sent = sendSome(bytes, length);
        if (sent <= 0)
            return false;
        bytes += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

ssize_t TcpSocket::receive(void* buffer, size_t capacity) {
    if (fd_ < 0) {
        lastError_ = kErrorNotConnected;
        return -1;
    }
    if (tls_ != nullptr) {
        const ssize_t got = tls_->read(buffer, capacity, tlsIoTimeoutMs_);
        if (got < 0) {
            tlsFailure_ = tls_->failure();
            lastError_ = kErrorConnectionReset;
        }
        return got;
    }
    ssize_t got;
    do {
        got = ::recv(fd_, buffer, capacity, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        lastError_ = socketErrorFromErrno(errno);
    return got;
}

int TcpSocket::waitReadable(int timeoutMs) {
    if (fd_ < 0) {
        lastError_ = kErrorNotConnected;
        return -1;
    }
    if (tls_ != nullptr) {
        const int rc = tls_->waitReadable(timeoutMs < 0 ? 0 : timeoutMs);
        if (rc < 0)
            lastError_ = kErrorNotConnected;
        return rc;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{fd_, POLLIN, 0};
        int rc = ::poll(&entry, 1, left.count() < 0 ? 0 : static_cast<int>(left.count()));
        if (rc > 0) {
            // A hang-up or error is "readable" too: the next receive reports it.
            if (entry.revents & POLLNVAL) {
                lastError_ = kErrorNotConnected;
                return -1;
            }
            return 1;
        }
        if (rc == 0)
            return 0;
        if (errno != EINTR) {
            lastError_ = socketErrorFromErrno(errno);
            return -1;
        }
    }
}

int TcpSocket::close() {
    tls_.reset();  // its closing alert goes out while the socket is still open
    if (fd_ < 0)
        return -1;
    int rc = ::close(std::exchange(fd_, -1));
    return rc;
}

}  // namespace parvola
