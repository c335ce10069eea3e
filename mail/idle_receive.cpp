#include "mail/idle_receive.h"

#include "platform/tcp_socket.h"

namespace parvola {

size_t receiveWithinIdleLimit(SocketChannel& channel, ReceiveBuffer& inbox, size_t least,
                              std::chrono::steady_clock::time_point& lastActivity,
                              std::chrono::milliseconds idleLimit, int& errorCode) {
    using Clock = std::chrono::steady_clock;
    while (true) {
        const auto idle =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastActivity);
        if (idle > idleLimit) {
            errorCode = kErrorTimedOut;
            return 0;
        }
        // Wait on the time that is left: bytes that have arrived are read at once.
        const int readable = channel.waitReadable(static_cast<int>((idleLimit - idle).count()) + 1);
        if (readable < 0) {
            errorCode = channel.lastError();
            return 0;
        }
        if (readable > 0)
            break;
    }
    size_t available = 0;
    char* room = inbox.room(least, available);
    const ssize_t got = channel.receive(room, available);
    if (got <= 0) {
        // Closed by the server (or a receive error) in the middle of a reply.
        errorCode = got < 0 ? channel.lastError() : kErrorConnectionReset;
        return 0;
    }
    inbox.commit(static_cast<size_t>(got));
    lastActivity = Clock::now();
    return static_cast<size_t>(got);
}

}  // namespace parvola
