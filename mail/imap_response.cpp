#include "mail/imap_response.h"

#include <strings.h>

#include <algorithm>
#include <cctype>

namespace parvola {
namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The next blank-separated word of `text` from `at` (advanced past it).
std::string_view nextWord(std::string_view text, size_t& at) {
    while (at < text.size() && text[at] == ' ')
        ++at;
    const size_t start = at;
    while (at < text.size() && text[at] != ' ')
        ++at;
    return text.substr(start, at - start);
}

bool toNumber(std::string_view digits, uint64_t limit, uint64_t& value) {
    if (digits.empty() || digits.size() > 19)
        return false;
    value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= limit;
}

// A literal's announcement "{n}" or "{n+}" starting at `at`: its length in
// the text, 0 when there is none.
size_t literalMarkAt(std::string_view text, size_t at) {
    if (at >= text.size() || text[at] != '{')
        return 0;
    size_t end = at + 1;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    if (end == at + 1)
        return 0;
    if (end < text.size() && text[end] == '+')
        ++end;
    if (end >= text.size() || text[end] != '}')
        return 0;
    return end + 1 - at;
}

// Walks the item list of a FETCH response.
class FetchItems {
  public:
    FetchItems(const ImapResponse& response, std::string_view text, size_t at)
        : response_(response), text_(text), at_(at) {}

    bool parse(ImapFetch& fetch) {
        if (!take('('))
            return false;
        while (true) {
            skipBlanks();
            if (at_ >= text_.size())
                return false;
            if (text_[at_] == ')')
                return at_ + 1 == text_.size();
            std::string_view name;
            if (!itemName(name))
                return false;
            skipBlanks();
            if (!value(name, fetch))
                return false;
        }
    }

  private:
    bool take(char c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void skipBlanks() {
        while (at_ < text_.size() && text_[at_] == ' ')
            ++at_;
    }
    // An atom, with a bracketed section that may hold blanks and parentheses
    // ("BODY[HEADER.FIELDS (SUBJECT)]") and a partial "<0>".
    bool itemName(std::string_view& name) {
        const size_t start = at_;
        while (at_ < text_.size() && text_[at_] != ' ' && text_[at_] != '(' && text_[at_] != ')') {
            if (text_[at_] == '[') {
                const size_t close = text_.find(']', at_);
                if (close == std::string_view::npos)
                    return false;
                at_ = close;
            }
            ++at_;
        }
        name = text_.substr(start, at_ - start);
        return !name.empty();
    }
    // A quoted string, unescaped.
    bool quoted(std::string& out) {
        if (!take('"'))
            return false;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"')
                return true;
            if (c == '\\') {
                if (at_ >= text_.size())
                    return false;
                out += text_[at_++];
            } else {
                out += c;
            }
        }
        return false;
    }
    // A string value: quoted, literal (its bytes, or streamed) or NIL.
    bool stringValue(std::string& out, bool& streamed) {
        streamed = false;
        if (at_ < text_.size() && text_[at_] == '"')
            return quoted(out);
        const size_t mark = literalMarkAt(text_, at_);
        if (mark > 0) {
            if (literal_ >= response_.literals.size())
                return false;
            out = response_.literals[literal_];
            // The streamed literals are the empty entries the sink took;
            // an empty kept literal announces {0}.
            streamed = out.empty() && text_.substr(at_, mark) != "{0}";
            ++literal_;
            at_ += mark;
            return true;
        }
        std::string_view word;
        return atom(word) && equalsIgnoringCase(word, "NIL");
    }
    bool atom(std::string_view& word) {
        const size_t start = at_;
        while (at_ < text_.size() && text_[at_] != ' ' && text_[at_] != ')' && text_[at_] != '(')
            ++at_;
        word = text_.substr(start, at_ - start);
        return !word.empty();
    }
    // A parenthesised list, skipped (FLAGS and the like); literals in it
    // are counted so that later ones keep their numbers.
    bool skipList() {
        int depth = 0;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '"') {
                std::string ignored;
                if (!quoted(ignored))
                    return false;
                continue;
            }
            const size_t mark = literalMarkAt(text_, at_);
            if (mark > 0) {
                ++literal_;
                at_ += mark;
                continue;
            }
            ++at_;
            if (c == '(')
                ++depth;
            else if (c == ')' && --depth == 0)
                return true;
        }
        return false;
    }
    bool value(std::string_view name, ImapFetch& fetch) {
        if (at_ < text_.size() && text_[at_] == '(')
            return skipList();
        if (equalsIgnoringCase(name, "UID") || equalsIgnoringCase(name, "RFC822.SIZE")) {
            std::string_view word;
            uint64_t number = 0;
            const bool uid = equalsIgnoringCase(name, "UID");
            if (!atom(word) || !toNumber(word, uid ? 0xffffffffull : (1ull << 53), number))
                return false;
            if (uid) {
                if (number == 0)
                    return false;
                fetch.hasUid = true;
                fetch.uid = static_cast<uint32_t>(number);
            } else {
                fetch.hasSize = true;
                fetch.size = number;
            }
            return true;
        }
        const std::string upperName = upper(name);
        if (upperName.rfind("BODY[", 0) == 0) {
            std::string bytes;
            bool streamed = false;
            if (!stringValue(bytes, streamed))
                return false;
            if (upperName == "BODY[]") {
                fetch.hasBody = true;
                fetch.bodyStreamed = streamed;
            } else if (upperName.rfind("BODY[HEADER", 0) == 0) {
                fetch.hasHeader = true;
                fetch.header = std::move(bytes);
            }
            return true;
        }
        // Anything else: one string or atom, ignored.
        if (at_ < text_.size() && (text_[at_] == '"' || literalMarkAt(text_, at_) > 0)) {
            std::string ignored;
            bool streamed = false;
            return stringValue(ignored, streamed);
        }
        std::string_view word;
        return atom(word);
    }

    const ImapResponse& response_;
    std::string_view text_;
    size_t at_;
    size_t literal_ = 0;
};

}  // namespace

ImapStatus parseStatus(std::string_view text) {
    ImapStatus status;
    size_t at = 0;
    const std::string word = upper(nextWord(text, at));
    if (word != "OK" && word != "NO" && word != "BAD" && word != "BYE" && word != "PREAUTH")
        return status;
    status.word = word;
    while (at < text.size() && text[at] == ' ')
        ++at;
    if (at < text.size() && text[at] == '[') {
        const size_t close = text.find(']', at);
        if (close != std::string_view::npos) {
            const std::string_view inside = text.substr(at + 1, close - at - 1);
            const size_t blank = inside.find(' ');
            status.code = upper(inside.substr(0, blank));
            if (blank != std::string_view::npos)
                status.codeText = std::string(inside.substr(blank + 1));
            at = close + 1;
            while (at < text.size() && text[at] == ' ')
                ++at;
        }
    }
    status.words = std::string(text.substr(std::min(at, text.size())));
    return status;
}

std::vector<std::string> parseCapabilities(std::string_view text) {
    std::vector<std::string> names;
    size_t at = 0;
    if (upper(nextWord(text, at)) != "CAPABILITY")
        return names;
    for (std::string_view word = nextWord(text, at); !word.empty(); word = nextWord(text, at))
        names.push_back(upper(word));
    return names;
}

std::vector<std::string> capabilitiesOfStatus(const ImapStatus& status) {
    if (status.code != "CAPABILITY")
        return {};
    return parseCapabilities("CAPABILITY " + status.codeText);
}

bool hasCapability(const std::vector<std::string>& capabilities, std::string_view name) {
    return std::any_of(capabilities.begin(), capabilities.end(),
                       [&](const std::string& c) { return equalsIgnoringCase(c, name); });
}

uint64_t capabilityNumber(const std::vector<std::string>& capabilities, std::string_view name) {
    for (const std::string& c : capabilities) {
        if (c.size() > name.size() + 1 && c[name.size()] == '=' &&
            equalsIgnoringCase(std::string_view(c).substr(0, name.size()), name)) {
            uint64_t value = 0;
            if (toNumber(std::string_view(c).substr(name.size() + 1), UINT64_MAX / 10, value))
                return value;
        }
    }
    return 0;
}

bool parseSearch(std::string_view text, std::vector<uint32_t>& numbers) {
    numbers.clear();
    size_t at = 0;
    if (upper(nextWord(text, at)) != "SEARCH")
        return false;
    for (std::string_view word = nextWord(text, at); !word.empty(); word = nextWord(text, at)) {
        uint64_t value = 0;
        if (!toNumber(word, 0xffffffffull, value) || value == 0) {
            numbers.clear();
            return false;
        }
        numbers.push_back(static_cast<uint32_t>(value));
    }
    return true;
}

bool parseNumbered(std::string_view text, uint32_t& number, std::string& word) {
    size_t at = 0;
    uint64_t value = 0;
    if (!toNumber(nextWord(text, at), 0xffffffffull, value))
        return false;
    number = static_cast<uint32_t>(value);
    word = upper(nextWord(text, at));
    return !word.empty();
}

bool parseFetch(const ImapResponse& response, ImapFetch& fetch) {
    fetch = ImapFetch();
    if (response.kind != ImapResponse::Kind::Untagged)
        return false;
    const std::string_view text = response.text;
    size_t at = 0;
    uint64_t sequence = 0;
    if (!toNumber(nextWord(text, at), 0xffffffffull, sequence) ||
        upper(nextWord(text, at)) != "FETCH")
        return false;
    fetch.sequence = static_cast<uint32_t>(sequence);
    while (at < text.size() && text[at] == ' ')
        ++at;
    return FetchItems(response, text, at).parse(fetch);
}

}  // namespace parvola
