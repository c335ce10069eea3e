#include "mail/message_text_source.h"

#include <algorithm>
#include <cstring>

namespace parvola {

long StringTextSource::read(char* buffer, size_t capacity) {
    const size_t n = std::min(capacity, text_.size() - offset_);
    std::memcpy(buffer, text_.data() + offset_, n);
    offset_ += n;
    return static_cast<long>(n);
}

long readFully(MessageTextSource& source, char* buffer, size_t capacity) {
    size_t filled = 0;
    while (filled < capacity) {
        const long got = source.read(buffer + filled, capacity - filled);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        filled += static_cast<size_t>(got);
    }
    return static_cast<long>(filled);
}

}  // namespace parvola
