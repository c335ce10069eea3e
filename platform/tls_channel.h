#pragma once
// A TLS client session on a connected TCP socket (OpenSSL). The peer's
// certificate is checked against the system's trust store (plus an optional
// CA file) and must name the host that was asked for; there is no way to
// switch that off. The socket is non-blocking while the session lives: every
// wait inside is bounded by the time-out given.
#include <sys/types.h>
#include <cstddef>
#include <memory>
#include <string>

namespace parvola {

class TlsChannel {
  public:
    // Runs the handshake on `fd` for `host` (a name or a dotted IPv4 address).
    // Null on failure, with a sentence for the user in `failure` that says
    // what went wrong (certificate refused and why, time-out, closed...).
    static std::unique_ptr<TlsChannel> handshake(int fd, const std::string& host,
                                                 const std::string& caFile, int timeoutMs,
                                                 std::string& failure);
    // Sends the closing alert (without waiting for the peer's) and frees the
    // session; the socket itself stays with its owner.
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Sends all `length` bytes: `length`, or -1 on an error or time-out.
    ssize_t write(const void* data, size_t length, int timeoutMs);
    // Up to `capacity` bytes of application data: the count, 0 at the end of
    // the stream, -1 on an error or time-out.
    ssize_t read(void* buffer, size_t capacity, int timeoutMs);
    // 1 when application data (or the end of the stream) is ready, 0 when
    // none came within `timeoutMs`, -1 on an error. TLS records that carry
    // no data (session tickets, say) do not count as readable.
    int waitReadable(int timeoutMs);
    // The reason for the last failure of write or read, for diagnostics.
    const std::string& failure() const { return failure_; }

  private:
    struct Handles;
    explicit TlsChannel(std::unique_ptr<Handles> handles, int fd);
    // Waits for the direction OpenSSL asked for; false on time-out or error.
    bool waitFor(int sslError, int timeoutMs);

    std::unique_ptr<Handles> handles_;
    int fd_;
    std::string failure_;
};

}  // namespace parvola
