#pragma once
// Header access on a fetched mail text (as GetMessageHeader or Retrieve of
// the POP3 connection return it): header block, blank line, body.
//
// Header values travel in GB18030 (what Windows clients of the same store
// write in code page 936); the values returned here are UTF-8.
#include <string>

namespace parvola {

class MimeMessageText {
  public:
    MimeMessageText() = default;
    explicit MimeMessageText(std::string text) : text_(std::move(text)) {}

    void setText(std::string text) { text_ = std::move(text); }
    void clear() { text_.clear(); }
    const std::string& text() const { return text_; }

    // Up to (not including) the first "\r\n\r\n"; the whole text without one.
    std::string GetHeaderBlock() const;
    // After the first "\r\n\r\n"; empty when there is none.
    std::string GetBody() const;
    // The value of the index-th (0 = first) field called `name` (any letter
    // case), unfolded and trimmed, in UTF-8; empty when there is none.
    std::string GetHeaderField(const std::string& name, int index = 0) const;
    std::string GetSubject() const { return GetHeaderField("Subject", 0); }
    // The Content-Type value up to its first ";".
    std::string GetContentType() const;
    // The text between the first two double quotation marks of the
    // Content-Type value, byte for byte as on the wire; empty without them.
    std::string GetBoundary() const;

    // The field value exactly as on the wire (unfolded and trimmed, no code
    // page conversion).
    std::string GetRawHeaderField(const std::string& name, int index = 0) const;

  private:
    std::string text_;
};

}  // namespace parvola
