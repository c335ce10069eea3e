#pragma once
// The text of one outgoing mail as it is sent: its whole length is known
// before the first byte goes out (SMTP's SIZE, IMAP's literal), and the bytes
// are produced in order while they are sent, so a mail with a large file
// never has to be held whole.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace parvola {

class MessageTextSource {
  public:
    virtual ~MessageTextSource() = default;
    // The number of bytes read() produces from the start to the end.
    virtual uint64_t size() const = 0;
    // Copies the next bytes into `buffer`: `capacity` bytes unless the text
    // ends first; 0 at the end; -1 when the bytes cannot be produced (a file
    // that cannot be read any more).
    virtual long read(char* buffer, size_t capacity) = 0;
    // Back to the first byte (a command sent again); false when impossible.
    virtual bool rewind() = 0;
};

// A text already in memory (commands, small mails, tests).
class StringTextSource final : public MessageTextSource {
  public:
    explicit StringTextSource(std::string_view text) : text_(text) {}
    uint64_t size() const override { return text_.size(); }
    long read(char* buffer, size_t capacity) override;
    bool rewind() override {
        offset_ = 0;
        return true;
    }

  private:
    std::string_view text_;
    size_t offset_ = 0;
};

// Fills `buffer` from `source` until `capacity` bytes or the end; -1 when the
// source failed.
long readFully(MessageTextSource& source, char* buffer, size_t capacity);

}  // namespace parvola
