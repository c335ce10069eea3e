#pragma once
// What the IMAP client reads out of a whole response (see
// imap_reply_reader.h): the status of a tagged or untagged status response
// with its bracketed code, capability lists, search results and the items
// of a FETCH. Pure functions on the text; nothing here trusts a number the
// server sends beyond what fits its type.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mail/imap_reply_reader.h"

namespace parvola {

// "OK [UIDVALIDITY 3857529045] UIDs valid": word "OK", code "UIDVALIDITY",
// codeText "3857529045", words "UIDs valid". Word and code are upper-cased.
struct ImapStatus {
    std::string word;      // OK, NO, BAD, BYE, PREAUTH; empty when the text is no status
    std::string code;      // empty without a bracketed code
    std::string codeText;  // what follows the code inside the brackets
    std::string words;     // the human-readable rest
};
ImapStatus parseStatus(std::string_view text);

// The capability names (upper-cased) of "CAPABILITY IMAP4rev1 ..." (an
// untagged response's text or a status's code and codeText); empty
// when the text is neither.
std::vector<std::string> parseCapabilities(std::string_view text);
std::vector<std::string> capabilitiesOfStatus(const ImapStatus& status);
bool hasCapability(const std::vector<std::string>& capabilities, std::string_view name);
// The number after "NAME=" among the capabilities (APPENDLIMIT=35651584);
// 0 when absent or not a number.
uint64_t capabilityNumber(const std::vector<std::string>& capabilities, std::string_view name);

// "SEARCH 4 9 12": the numbers; false when the text is no search result or
// holds something that is not a number from 1 to 2^32-1.
bool parseSearch(std::string_view text, std::vector<uint32_t>& numbers);

// "12 EXISTS", "3 EXPUNGE": the number and the (upper-cased) word.
bool parseNumbered(std::string_view text, uint32_t& number, std::string& word);

// The items of "5 FETCH (UID 9 RFC822.SIZE 120 BODY[HEADER.FIELDS (SUBJECT)] {30})".
struct ImapFetch {
    uint32_t sequence = 0;
    bool hasUid = false;
    uint32_t uid = 0;
    bool hasSize = false;
    uint64_t size = 0;
    // A BODY[HEADER.FIELDS ...] or BODY[HEADER] value (literal or quoted).
    bool hasHeader = false;
    std::string header;
    // A BODY[] value, and whether it was the streamed literal.
    bool hasBody = false;
    bool bodyStreamed = false;
};
// False when the response is no FETCH or its item list does not parse.
bool parseFetch(const ImapResponse& response, ImapFetch& fetch);

}  // namespace parvola
