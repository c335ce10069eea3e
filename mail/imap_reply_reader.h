#pragma once
// The framing of an IMAP server's replies: received bytes in, whole
// responses out. A response is one line, or a line that announces a literal
// ("{n}" at its end), the literal's n bytes, and the rest of the line after
// it, as often as literals follow. The reader knows nothing of sockets: the
// connection feeds it what arrived, in pieces of any length, and it keeps
// only what it must.
//
// Everything is bounded: a response's text (without its literals) by
// kMaxLineLength, the literals it keeps by kMaxKeptLiterals. The one literal
// that may be of any size, a message fetched whole ("BODY[] {n}"), is not
// kept: it goes to the literal sink, while it arrives, when one is set.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace parvola {

class MessageTextSink;

struct ImapResponse {
    enum class Kind { Untagged, Tagged, Continuation };
    Kind kind = Kind::Untagged;
    // The tag of a tagged response; empty otherwise.
    std::string tag;
    // The text after the tag ("* ", "+ " or "A7 "), with the literal
    // announcements in place ("5 FETCH (UID 9 BODY[] {120})"): the k-th
    // announcement stands for literals[k].
    std::string text;
    // The literals in order; a streamed one is left empty here.
    std::vector<std::string> literals;
    // How many literals went to the sink, and their bytes.
    int streamedLiterals = 0;
    uint64_t streamedBytes = 0;
};

class ImapReplyReader {
  public:
    // A response line (literals aside) longer than this is refused: a
    // search answering a quarter million UIDs still fits.
    static constexpr size_t kMaxLineLength = 2u << 20;
    // Literals kept in one response (header fields, quoted-as-literal
    // strings) together.
    static constexpr size_t kMaxKeptLiterals = 1u << 20;

    enum class Step { NeedMore, Response, Failed };

    // Where a fetched message's literal goes ("BODY[] {n}" in an untagged
    // response); null: such a literal is kept like any other, within the
    // bound. Set before the command whose reply carries it.
    void setLiteralSink(MessageTextSink* sink) { sink_ = sink; }

    // Takes bytes from the front of `bytes` (advancing it) up to the end of
    // the next complete response. Response: response() holds it, and the
    // bytes after it stay in `bytes`. NeedMore: every byte was taken.
    // Failed: the reply breaks the framing or a bound; failure() says how,
    // and the reader stays failed.
    Step feed(std::string_view& bytes);

    const ImapResponse& response() const { return response_; }
    const std::string& failure() const { return failure_; }
    // Bytes of the literal being read that are still to come (0 outside one).
    uint64_t literalLeft() const { return literalLeft_; }
    // Inside a response: the bytes taken so far belong to an unfinished one.
    bool midResponse() const { return started_; }

  private:
    Step fail(std::string why);
    // A line has ended: a literal follows or the response is whole.
    Step endLine();
    void startResponse();

    MessageTextSink* sink_ = nullptr;
    ImapResponse response_;
    std::string line_;  // the current line's bytes, without its line break
    size_t keptLiteralBytes_ = 0;
    uint64_t literalLeft_ = 0;
    bool inLiteral_ = false;
    bool streaming_ = false;
    bool started_ = false;
    bool failed_ = false;
    std::string failure_;
};

// The size a line ending in "{n}" or "{n+}" announces; false when the line
// does not end in one (or the number does not fit 15 digits).
bool literalAnnouncement(std::string_view line, uint64_t& size);

}  // namespace parvola
