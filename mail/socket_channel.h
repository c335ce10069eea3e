#pragma once
// The POP3 connection's TCP channel: a thin layer over the platform socket
// with the calls the reply readers are written against.
#include <sys/types.h>
#include <cstddef>
#include <string>

#include "platform/tcp_socket.h"

namespace parvola {

class SocketChannel {
  public:
    bool create() { return socket_.create(); }
    // Dotted IPv4 used as is, otherwise the first address of the name;
    // an unknown host sets 10022.
    bool connect(const std::string& host, int port) { return socket_.connect(host, port); }
    // Sends everything (a short send, rare for a command, is continued
    // rather than leaving half a command on the wire); false on an error.
    bool send(const void* data, size_t length);
    bool send(const std::string& text) { return send(text.data(), text.size()); }
    // One receive call: its byte count (0 = closed, negative = error).
    ssize_t receive(void* buffer, size_t capacity) { return socket_.receive(buffer, capacity); }
    // Zero-time readiness test; false only when the test itself fails.
    bool isReadable(bool& readable);
    // Waits up to `timeoutMs` and returns as soon as data (or the end of the
    // stream) is there: 1 readable, 0 nothing yet, -1 the wait failed.
    int waitReadable(int timeoutMs) { return socket_.waitReadable(timeoutMs); }
    // The close result, -1 when nothing was open.
    int close() { return socket_.close(); }
    // Secures the connection (see TcpSocket::startTls).
    bool startTls(const std::string& host, const std::string& caFile, int timeoutMs) {
        return socket_.startTls(host, caFile, timeoutMs);
    }
    const std::string& tlsFailure() const { return socket_.tlsFailure(); }

    bool isOpen() const { return socket_.isOpen(); }
    int lastError() const { return socket_.lastError(); }

  private:
    TcpSocket socket_;
};

}  // namespace parvola
