#pragma once
// One receive of a reply that may come slowly: the time-out counts from the
// last byte that arrived, not from the start of the reply, so a long message
// on a slow link is never cut while it is still moving.
#include <chrono>
#include <cstddef>

#include "mail/receive_buffer.h"
#include "mail/socket_channel.h"

namespace parvola {

// Waits for what is left of `idleLimit` since `lastActivity`, then receives
// what has arrived (at least `least` bytes of room) into `inbox`. Returns the
// count received and moves `lastActivity` to now; returns 0 with `errorCode`
// set when the wait runs out, the receive fails or the peer closed.
size_t receiveWithinIdleLimit(SocketChannel& channel, ReceiveBuffer& inbox, size_t least,
                              std::chrono::steady_clock::time_point& lastActivity,
                              std::chrono::milliseconds idleLimit, int& errorCode);

}  // namespace parvola
