#include "mail/mime_composer_encoding.h"

#include <cstdio>
#include <cstring>

#include "mail/base64.h"
#include "platform/system_hooks.h"

namespace parvola {
namespace {

constexpr std::string_view kBreakCharacters = " -;.,?!";

bool isPrintable(unsigned char c) {
    return (c >= 0x20 && c <= 0x7E) || c == '\t' || c == '\r' || c == '\n';
}

// Calls `line(text, terminated)` for each CR-terminated line of `in` and for
// the unterminated rest; the CR and one LF after it are not part of the line.
template <typename LineFn>
void forEachLine(std::string_view in, LineFn line) {
    size_t start = 0;
    while (start < in.size()) {
        const size_t cr = in.find('\r', start);
        if (cr == std::string_view::npos) {
            line(in.substr(start), false);
            return;
        }
        line(in.substr(start, cr - start), true);
        start = cr + 1;
        if (start < in.size() && in[start] == '\n')
            ++start;
    }
}

std::string_view upToFirstNul(const char* data, size_t length) {
    const void* nul = std::memchr(data, '\0', length);
    return {data, nul ? static_cast<size_t>(static_cast<const char*>(nul) - data) : length};
}

}  // namespace

const char* encodingName(int encoding) {
    switch (encoding) {
        case kEncoding7Bit:
            return "7bit";
        case kEncoding8Bit:
            return "8bit";
        case kEncodingQuotedPrintable:
            return "quoted-printable";
        case kEncodingBase64:
            return "base64";
        default:
            return "";
    }
}

int ChooseEncoding(const char* data, size_t length) {
    if (length == 0)
        return kEncoding7Bit;
    size_t printable = 0;
    bool longLine = false;
    size_t lineStart = 0;
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (isPrintable(c))
            ++printable;
        if (c == '\r') {
            if (i - lineStart > kMimeLineLimit)
                longLine = true;
            lineStart = i + 1;
            if (lineStart < length && data[lineStart] == '\n')
                ++lineStart;
        }
    }
    if (printable * 100 / length < 90)
        return kEncodingBase64;
    if (longLine)
        return kEncodingQuotedPrintable;
    if (printable < length)
        return kEncoding8Bit;
    return kEncoding7Bit;
}

void WrapText(std::string& out, std::string_view in, size_t limit) {
    out.clear();
    out.reserve(in.size() + in.size() / (limit ? limit : 1) * 2 + 2);
    forEachLine(in, [&](std::string_view line, bool terminated) {
        if (limit > 0 && line.size() > limit) {
            const bool hasBreak = line.find_first_of(kBreakCharacters) != std::string_view::npos;
            while (line.size() > limit) {
                size_t cut = limit;
                if (hasBreak) {
                    // Nearest break character at or before the byte at position
                    // `limit` (1-based), i.e. index limit - 1.
                    const size_t at = line.substr(0, limit).find_last_of(kBreakCharacters);
                    if (at != std::string_view::npos)
                        cut = at + 1;
                }
                out.append(line.substr(0, cut));
                out.append("\r\n");
                line.remove_prefix(cut);
            }
        }
        out.append(line);
        if (terminated)
            out.append("\r\n");
    });
}

void EncodeQuotedPrintable(std::string& out, std::string_view in) {
    out.clear();
    if (in.empty())
        return;
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(in.size() + in.size() / 8);
    for (const char ch : in) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain =
            (c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c <= 0x7E)) && c != '=';
        if (plain) {
            escaped.push_back(ch);
        } else {
            escaped.push_back('=');
            escaped.push_back(kHex[c >> 4]);
            escaped.push_back(kHex[c & 0x0F]);
        }
    }
    out.reserve(escaped.size() + escaped.size() / 25 + 2);
    forEachLine(escaped, [&](std::string_view line, bool terminated) {
        std::string tail;  // a line whose last blank or tab was escaped
        for (;;) {
            while (line.size() > kMimeLineLimit) {
                size_t cut = 75;
                if (line[74] == '=')
                    cut = 74;
                else if (line[73] == '=')
                    cut = 73;
                out.append(line.substr(0, cut));
                out.append("=\r\n");
                line.remove_prefix(cut);
            }
            if (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
                const auto c = static_cast<unsigned char>(line.back());
                std::string escapedEnd(line.substr(0, line.size() - 1));
                escapedEnd.push_back('=');
                escapedEnd.push_back(kHex[c >> 4]);
                escapedEnd.push_back(kHex[c & 0x0F]);
                tail = std::move(escapedEnd);
                line = tail;
                continue;
            }
            break;
        }
        out.append(line);
        if (terminated)
            out.append("\r\n");
    });
}

void ForceSevenBit(std::string& out, std::string_view in) {
    out.assign(in);
    for (char& ch : out) {
        if (static_cast<unsigned char>(ch) >= 0x7F)
            ch = '?';
    }
}

void DotStuff(std::string& out, std::string_view in) {
    out.clear();
    out.reserve(in.size() + 16);
    size_t start = 0;
    if (!in.empty() && in.front() == '.')
        out.push_back('.');
    for (;;) {
        const size_t at = in.find("\r\n.", start);
        if (at == std::string_view::npos)
            break;
        out.append(in.substr(start, at + 3 - start));
        out.push_back('.');
        start = at + 3;
    }
    out.append(in.substr(start));
}

void EncodeText(int encoding, std::string& text, std::string& name, const char* data,
                size_t length) {
    const unsigned long started = tickCountMs();
    std::string ownCopy;
    if (data == nullptr) {
        ownCopy = text;
        data = ownCopy.data();
        length = ownCopy.size();
    }
    if (encoding == kEncodingAutomatic)
        encoding = ChooseEncoding(data, length);

    std::string encoded;
    switch (encoding) {
        case kEncoding7Bit: {
            std::string seven;
            ForceSevenBit(seven, upToFirstNul(data, length));
            WrapText(encoded, seven, kMimeLineLimit);
            break;
        }
        case kEncoding8Bit:
            WrapText(encoded, upToFirstNul(data, length), kMimeLineLimit);
            break;
        case kEncodingQuotedPrintable:
            EncodeQuotedPrintable(encoded, upToFirstNul(data, length));
            break;
        case kEncodingBase64:
        default:
            // An unknown encoding number is sent as base64: it keeps every byte.
            encoding = kEncodingBase64;
            base64AppendWrapped({data, length}, kMimeLineLimit, encoded);
            break;
    }
    name = encodingName(encoding);
    ownCopy.clear();
    ownCopy.shrink_to_fit();
    if (encoding == kEncodingBase64) {
        // The base64 alphabet has no dot: nothing to stuff.
        text = std::move(encoded);
    } else {
        DotStuff(text, encoded);
    }
    char line[64];
    std::snprintf(line, sizeof line, "Encoding took %lums", tickCountMs() - started);
    debugOutput(line);
}

}  // namespace parvola
