#include "catalog/xml/xml_entities.h"

#include <algorithm>
#include <cstring>

namespace parvola {
namespace {

bool isAsciiAlpha(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
unsigned char lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Parses the digits of "&#...;" or "&#x...;" (without & and ;); 0 when malformed.
uint32_t numericReference(std::string_view body) {
    bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
    std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty())
        return 0;
    uint32_t value = 0;
    for (char ch : digits) {
        unsigned char c = static_cast<unsigned char>(ch);
        uint32_t d;
        if (isDigit(c)) {
            d = c - '0';
        } else if (hex && lower(c) >= 'a' && lower(c) <= 'f') {
            d = lower(c) - 'a' + 10;
        } else {
            return 0;
        }
        value = value * (hex ? 16 : 10) + d;
        if (value > 0x10FFFF)
            return 0;
    }
    return value;
}

// Start of a well-formed reference at text[i] == '&': its length including ';', or 0.
size_t wellFormedReferenceLength(std::string_view text, size_t i) {
    size_t j = i + 1;
    if (j >= text.size())
        return 0;
    unsigned char c = static_cast<unsigned char>(text[j]);
    if (!(isAsciiAlpha(c) || c == '#' || c == ':' || c == '_'))
        return 0;
    for (++j; j < text.size(); ++j) {
        c = static_cast<unsigned char>(text[j]);
        if (c == ';')
            return j - i + 1;
        if (!(isAsciiAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == ':' || c == '_'))
            return 0;
    }
    return 0;
}

}  // namespace

int namedEntityCodePoint(std::string_view name) {
    const NamedEntity* begin = kNamedEntities;
    const NamedEntity* end = kNamedEntities + kNamedEntityCount;
    const NamedEntity* hit = std::lower_bound(
        begin, end, name, [](const NamedEntity& e, std::string_view n) { return e.name < n; });
    if (hit != end && name == hit->name)
        return hit->codePoint;
    for (const NamedEntity* e = begin; e != end; ++e) {
        if (equalsIgnoringCase(e->name, name))
            return e->codePoint;
    }
    return 0;
}

bool appendUtf8(std::string& out, uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return true;
}

std::string resolveEntities(std::string_view raw) {
    if (raw.find('&') == std::string_view::npos)
        return std::string(raw);
    std::string out;
    out.reserve(raw.size());
    size_t i = 0;
    while (i < raw.size()) {
        char ch = raw[i];
        if (ch != '&') {
            out += ch;
            ++i;
            continue;
        }
        // A reference is '&', one to nine ASCII characters, then ';'.
        size_t j = i + 1;
        bool plain = true;
        while (j < raw.size() && raw[j] != ';' && j - i - 1 < 10) {
            if (static_cast<unsigned char>(raw[j]) >= 0x80)
                plain = false;
            ++j;
        }
        size_t bodyLength = j - i - 1;
        bool resolved = false;
        if (plain && j < raw.size() && raw[j] == ';' && bodyLength >= 1 && bodyLength <= 9) {
            std::string_view body = raw.substr(i + 1, bodyLength);
            uint32_t cp = body[0] == '#' ? numericReference(body)
                                         : static_cast<uint32_t>(namedEntityCodePoint(body));
            if (appendUtf8(out, cp)) {
                i = j + 1;
                resolved = true;
            }
        }
        if (!resolved) {
            out += '&';
            ++i;
        }
    }
    return out;
}

std::string escapeMarkup(std::string_view text, int flags) {
    std::string out;
    out.reserve(text.size() + text.size() / 10 + 7);
    bool quotes = (flags & kMarkupEscapeQuotes) != 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char ch = text[i];
        switch (ch) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                if ((flags & kMarkupKeepReferences) != 0) {
                    size_t n = wellFormedReferenceLength(text, i);
                    if (n > 0) {
                        out.append(text.substr(i, n));
                        i += n - 1;
                        break;
                    }
                }
                out += "&amp;";
                break;
            case '"':
                out += quotes ? "&quot;" : "\"";
                break;
            case '\'':
                out += quotes ? "&apos;" : "'";
                break;
            default:
                out += ch;
        }
    }
    return out;
}

std::string cdataSection(std::string_view text) {
    std::string out = "<![CDATA[";
    size_t from = 0;
    while (true) {
        size_t hit = text.find("]]>", from);
        if (hit == std::string_view::npos)
            break;
        out.append(text.substr(from, hit - from));
        out += "]]]]><![CDATA[>";
        from = hit + 3;
    }
    out.append(text.substr(from));
    out += "]]>";
    return out;
}

}  // namespace parvola
