#pragma once
// Bytes received from a connection and not yet consumed by a reply reader.
// A reply reader looks at the unconsumed bytes, consumes what belongs to its
// reply and leaves the rest for the next one, so where one receive call
// happens to end never decides where a reply ends.
#include <cstddef>
#include <vector>

namespace parvola {

class ReceiveBuffer {
  public:
    // The unconsumed bytes. Offsets into them stay valid across room() (the
    // bytes may move, their order and count do not).
    const char* data() const { return storage_.data() + start_; }
    size_t size() const { return end_ - start_; }

    void consume(size_t count) {
        start_ += count;
        if (start_ == end_)
            start_ = end_ = 0;
    }

    // Space for at least `least` more bytes after the unconsumed ones:
    // returns where to receive, with the space available in `available`.
    char* room(size_t least, size_t& available);
    // `count` bytes were received into the space room() gave.
    void commit(size_t count) { end_ += count; }

  private:
    std::vector<char> storage_;
    size_t start_ = 0;
    size_t end_ = 0;
};

}  // namespace parvola
