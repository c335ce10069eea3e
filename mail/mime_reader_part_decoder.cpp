#include "mail/mime_reader_part_decoder.h"

#include <strings.h>

#include "mail/mime_reader_base64_line.h"

namespace parvola {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool is(std::string_view text, const char* word) {
    const std::string_view w(word);
    return text.size() == w.size() && strncasecmp(text.data(), word, w.size()) == 0;
}

}  // namespace

PartBodyDecoder::Kind PartBodyDecoder::kindFor(std::string_view encoding) {
    const size_t comment = encoding.find('(');
    if (comment != std::string_view::npos)
        encoding = encoding.substr(0, comment);
    while (!encoding.empty() && (encoding.front() == ' ' || encoding.front() == '\t'))
        encoding.remove_prefix(1);
    while (!encoding.empty() &&
           (encoding.back() == ' ' || encoding.back() == '\t' || encoding.back() == '\r' ||
            encoding.back() == '\n' || encoding.back() == ';')) {
        encoding.remove_suffix(1);
    }
    if (is(encoding, "quoted-printable"))
        return Kind::QuotedPrintable;
    if (is(encoding, "7bit") || is(encoding, "8bit") || is(encoding, "binary"))
        return Kind::Identity;
    return Kind::Base64;
}

void PartBodyDecoder::feed(std::string_view chunk, std::string& out) {
    if (kind_ == Kind::Base64) {
        // Each piece by itself, exactly as base64 parts have always been read.
        decodeBase64Line(chunk, out);
        return;
    }
    line_.append(chunk);
    if (!line_.empty() && line_.back() == '\n') {
        decodeLine(line_, out);
        line_.clear();
    }
}

void PartBodyDecoder::finish(std::string& out) {
    if (kind_ != Kind::Base64 && !line_.empty())
        decodeLine(line_, out);
    line_.clear();
    pendingBreak_.clear();  // the break before the boundary is the boundary's
}

void PartBodyDecoder::decodeLine(std::string_view line, std::string& out) {
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (!line.empty() && line.front() == '.')
        line.remove_prefix(1);  // the POP3 server's dot-stuffing
    out += pendingBreak_;
    pendingBreak_ = "\r\n";
    if (kind_ == Kind::Identity) {
        out.append(line);
        return;
    }
    // Quoted-printable: blanks at the end of a line were added in transit;
    // a final "=" is a soft break that joins this line to the next.
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '=') {
        line.remove_suffix(1);
        pendingBreak_.clear();
    }
    bool endsInEncodedCr = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '=') {
            const int high = i + 1 < line.size() ? hexValue(line[i + 1]) : -1;
            const int low = i + 2 < line.size() ? hexValue(line[i + 2]) : -1;
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                endsInEncodedCr = high * 16 + low == '\r' && i + 1 == line.size();
                continue;
            }
        }
        out += line[i];  // a stray "=" is kept as it is
    }
    // Encoders that work on bytes rather than text write a CR as "=0D" and
    // end the line at the LF: that line break stands for the LF alone.
    if (endsInEncodedCr && !pendingBreak_.empty())
        pendingBreak_ = "\n";
}

}  // namespace parvola
