#pragma once
// A composed mail whose file parts stay in their files: runs of text held in
// memory between files that are read and base64-encoded (76-character lines)
// only while the text is read out. Holding a 49 MiB piece costs an open file
// and a buffer of some 80 KB, not the 70 MB of its encoded text.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/message_text_source.h"

namespace parvola {

class ComposedText final : public MessageTextSource {
  public:
    ComposedText();
    ~ComposedText() override;
    ComposedText(ComposedText&&) noexcept;
    ComposedText& operator=(ComposedText&&) noexcept;

    // Appends text after everything so far.
    void append(std::string_view text);
    ComposedText& operator+=(std::string_view text) {
        append(text);
        return *this;
    }
    // Appends the base64 text of the regular file at `path`, read when the
    // text is read out. False (nothing appended) when it cannot be opened or
    // is no regular file. The file's length is taken now: a file that is
    // shorter when it is read fails the read.
    bool appendFileAsBase64(const std::string& path);
    // The bytes of text appended since `mark` (a size()) was taken, given
    // back; only text appended after the last file may be taken back.
    void truncate(uint64_t mark);

    uint64_t size() const override { return size_; }
    long read(char* buffer, size_t capacity) override;
    bool rewind() override;

    // The whole text at once (tests and small mails); false when a file
    // could not be read.
    bool readAll(std::string& out);

  private:
    struct Segment;
    long readFileSegment(Segment& segment, char* buffer, size_t capacity);
    bool encodeNextSlice(Segment& segment);

    std::vector<Segment> segments_;
    uint64_t size_ = 0;
    // Reading position.
    size_t segment_ = 0;
    uint64_t offset_ = 0;  // within the current segment's text or encoded file
    std::unique_ptr<char[]> input_;
    std::unique_ptr<char[]> encoded_;
    size_t encodedLength_ = 0;
    size_t encodedOffset_ = 0;
};

// The length of `fileBytes` bytes as base64 in 76-character lines joined by
// CRLF (no line break after the last line).
uint64_t wrappedBase64Length(uint64_t fileBytes);

}  // namespace parvola
