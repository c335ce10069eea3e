// The IMAP reply reader and the interpretation of its responses on a
// server's byte stream that is the fuzz input.
//
// Input: one selector byte, then the server's bytes. Bit 0 of the selector
// gives the reader a sink for fetched messages (as a FETCH of BODY[] has);
// the other bits pick the piece size the bytes are fed in (1 to 128), so
// that every place a piece may end is tried. Every response is read as a
// status, a capability list, a search result, a numbered response and a
// FETCH; a failure must stick, and nothing kept may pass its bound.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "mail/imap_reply_reader.h"
#include "mail/imap_response.h"
#include "mail/message_text_sink.h"

namespace {

class CountingSink : public parvola::MessageTextSink {
  public:
    void append(std::string_view bytes) override { count += bytes.size(); }
    size_t count = 0;
};

void interpret(const parvola::ImapResponse& response) {
    if (response.text.size() > parvola::ImapReplyReader::kMaxLineLength)
        std::abort();
    size_t kept = 0;
    for (const std::string& literal : response.literals)
        kept += literal.size();
    if (kept > parvola::ImapReplyReader::kMaxKeptLiterals)
        std::abort();
    const parvola::ImapStatus status = parvola::parseStatus(response.text);
    parvola::capabilityNumber(parvola::capabilitiesOfStatus(status), "APPENDLIMIT");
    parvola::parseCapabilities(response.text);
    std::vector<uint32_t> uids;
    parvola::parseSearch(response.text, uids);
    uint32_t number = 0;
    std::string word;
    parvola::parseNumbered(response.text, number, word);
    parvola::ImapFetch fetch;
    if (parvola::parseFetch(response, fetch) && fetch.hasUid && fetch.uid == 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const int selector = data[0];
    const size_t step = static_cast<size_t>(selector >> 1) + 1;
    CountingSink sink;
    parvola::ImapReplyReader reader;
    if ((selector & 1) != 0)
        reader.setLiteralSink(&sink);
    const char* bytes = reinterpret_cast<const char*>(data) + 1;
    const size_t length = size - 1;
    bool failed = false;
    for (size_t at = 0; at < length && !failed; at += step) {
        std::string_view piece(bytes + at, std::min(step, length - at));
        while (!piece.empty()) {
            const auto result = reader.feed(piece);
            if (result == parvola::ImapReplyReader::Step::Response) {
                interpret(reader.response());
            } else if (result == parvola::ImapReplyReader::Step::Failed) {
                failed = true;
                break;
            }
        }
    }
    if (failed) {
        std::string_view more = "* OK\r\n";
        if (reader.feed(more) != parvola::ImapReplyReader::Step::Failed)
            std::abort();
    }
    return 0;
}
