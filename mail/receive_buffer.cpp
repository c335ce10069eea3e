#include "mail/receive_buffer.h"

#include <cstring>

namespace parvola {

char* ReceiveBuffer::room(size_t least, size_t& available) {
    if (storage_.size() - end_ < least && start_ > 0) {
        // Move the unconsumed bytes (normally a few) to the front.
        std::memmove(storage_.data(), storage_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    if (storage_.size() - end_ < least)
        storage_.resize(end_ + least);
    available = storage_.size() - end_;
    return storage_.data() + end_;
}

}  // namespace parvola
