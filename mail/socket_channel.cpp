#include "mail/socket_channel.h"

namespace parvola {

bool SocketChannel::send(const void* data, size_t length) {
    return socket_.sendAll(data, length);
}

bool SocketChannel::isReadable(bool& readable) {
    int rc = socket_.waitReadable(0);
    readable = rc == 1;
    return rc >= 0;
}

}  // namespace parvola
