#pragma once
// A TCP client socket (IPv4) with the Windows Sockets error codes that callers
// test kept per connection. Closed by its destructor. It may be secured with
// TLS (startTls): from then on every send and receive goes through the TLS
// session, so the protocol code above is the same either way.
#include <sys/socket.h>
#include <sys/types.h>
#include <cstddef>
#include <memory>
#include <string>

namespace parvola {

enum SocketError : int {
    kSocketOk = 0,
    kErrorInvalidArgument = 10022,  // host not found
    kErrorBadReply = 10043,         // used by the protocol layers for "reply not +OK"
    kErrorConnectionReset = 10054,
    kErrorNotConnected = 10057,
    kErrorTimedOut = 10060,
    kErrorConnectionRefused = 10061,
    // Not a Windows Sockets number: the TLS handshake failed or the server's
    // certificate was refused; tlsFailure() says why in words.
    kErrorSecureChannel = 10900,
    // Not a Windows Sockets number either: the login would have sent a secret
    // over a connection without TLS, which the account does not allow.
    kErrorPlaintextRefused = 10901,
};

// A socket error code (one of the above, or an errno value kept as it is)
// in the system's words: "connection refused", "timed out", "host not found".
std::string socketErrorText(int code);

class TlsChannel;

class TcpSocket {
  public:
    TcpSocket();
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;

    // Creates the socket. False (and lastError set) on failure.
    bool create();
    // A dotted IPv4 or written-out IPv6 host is used as is (an IPv6 one on a
    // socket of its own family); otherwise the name is resolved and its
    // first IPv4 address used; a failed lookup sets 10022.
    bool connect(const std::string& host, int port);
    // One send call (MSG_NOSIGNAL); returns bytes sent or -1.
    ssize_t sendSome(const void* data, size_t length);
    // Sends everything, retrying short sends; false on error.
    bool sendAll(const void* data, size_t length);
    // One receive call: count, 0 when closed by the peer, -1 on error.
    ssize_t receive(void* buffer, size_t capacity);
    // Waits up to `timeoutMs` for data (or end of stream): 1 readable,
    // 0 time-out, -1 error. Wakes as soon as data arrives.
    int waitReadable(int timeoutMs);
    // Returns the close result, -1 when nothing was open.
    int close();

    // Runs the TLS handshake on the connected socket, checking the server's
    // certificate against the system's trust store (and `caFile` when given)
    // and against `host`. False (lastError 10900, tlsFailure() the reason)
    // when it fails; nothing has then been sent in the clear by this call.
    bool startTls(const std::string& host, const std::string& caFile, int timeoutMs);
    bool isSecure() const { return tls_ != nullptr; }
    // Why the last TLS step failed, as a sentence; empty when none did.
    const std::string& tlsFailure() const { return tlsFailure_; }
    // Longest wait inside one TLS send or receive for the other side.
    void setTlsIoTimeout(int timeoutMs) { tlsIoTimeoutMs_ = timeoutMs; }

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    int lastError() const { return lastError_; }
    void setLastError(int code) { lastError_ = code; }

  private:
    bool connectTo(const sockaddr* address, socklen_t length);

    int fd_ = -1;
    int lastError_ = kSocketOk;
    std::unique_ptr<TlsChannel> tls_;
    std::string tlsFailure_;
    int tlsIoTimeoutMs_ = 60000;
};

}  // namespace parvola
