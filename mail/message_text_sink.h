#pragma once
// Where the POP3 reader hands the text of a multi-line reply (a message, a
// header block, a listing) while it arrives: after the status line, without
// the final "." line, byte for byte as the server sent it (lines the server
// dot-stuffed keep their extra dot). The text comes in pieces of any length;
// a piece may end anywhere, inside a line break too.
#include <cstddef>
#include <string>
#include <string_view>

namespace parvola {

class MessageTextSink {
  public:
    virtual ~MessageTextSink() = default;
    // The size the listing announced for the text, before the first piece.
    virtual void expect(size_t /*size*/) {}
    virtual void append(std::string_view bytes) = 0;
    // The text taken so far, when the sink keeps it: it goes into the
    // connection's last reply when the reply breaks off.
    virtual std::string_view keptText() const { return {}; }
};

// Keeps the whole text in a string.
class StringTextSink : public MessageTextSink {
  public:
    // A text grown whole is reserved up to this much from the announced size.
    static constexpr size_t kLargestReservation = 64u << 20;

    explicit StringTextSink(std::string& text) : text_(text) {}
    void expect(size_t size) override {
        text_.reserve(text_.size() + (size < kLargestReservation ? size : kLargestReservation));
    }
    void append(std::string_view bytes) override { text_.append(bytes); }
    std::string_view keptText() const override { return text_; }

  private:
    std::string& text_;
};

}  // namespace parvola
