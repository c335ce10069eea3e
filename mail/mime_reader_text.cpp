#include "mail/mime_reader_text.h"

#include <algorithm>

#include "platform/text_codec.h"

namespace parvola {
namespace {

const std::string kHeaderEnd = "\r\n\r\n";

// ASCII only: the bytes of GB18030 characters are left as they are.
std::string asciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

std::string MimeMessageText::GetHeaderBlock() const {
    const size_t end = text_.find(kHeaderEnd);
    return end == std::string::npos ? text_ : text_.substr(0, end);
}

std::string MimeMessageText::GetBody() const {
    const size_t end = text_.find(kHeaderEnd);
    return end == std::string::npos ? std::string() : text_.substr(end + kHeaderEnd.size());
}

std::string MimeMessageText::GetRawHeaderField(const std::string& name, int index) const {
    // A leading line break lets the first field be found like every other.
    const std::string block = "\r\n" + GetHeaderBlock();
    const std::string upper = asciiUpper(block);
    const std::string key = "\r\n" + asciiUpper(name) + ":";
    size_t at = upper.find(key);
    for (int i = 0; i < index && at != std::string::npos; ++i) {
        at = upper.find(key, at + key.size());
    }
    if (at == std::string::npos || index < 0)
        return std::string();

    // The value runs to a line break that does not start a folded line.
    const size_t start = at + key.size();
    size_t end = start;
    while (true) {
        end = block.find("\r\n", end);
        if (end == std::string::npos) {
            end = block.size();
            break;
        }
        if (end + 2 < block.size() && (block[end + 2] == ' ' || block[end + 2] == '\t')) {
            end += 2;
            continue;
        }
        break;
    }
    std::string value;
    value.reserve(end - start);
    for (size_t i = start; i < end; ++i) {
        if (block[i] == '\r' && i + 1 < end && block[i + 1] == '\n') {
            ++i;  // unfolding joins the lines directly
            continue;
        }
        value += block[i] == '\t' ? ' ' : block[i];
    }
    const size_t first = value.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    const size_t last = value.find_last_not_of(' ');
    return value.substr(first, last - first + 1);
}

std::string MimeMessageText::GetHeaderField(const std::string& name, int index) const {
    return wireToUtf8(GetRawHeaderField(name, index));
}

std::string MimeMessageText::GetContentType() const {
    const std::string value = GetHeaderField("Content-Type", 0);
    return value.substr(0, value.find(';'));
}

std::string MimeMessageText::GetBoundary() const {
    const std::string value = GetRawHeaderField("Content-Type", 0);
    const size_t open = value.find('"');
    if (open == std::string::npos)
        return std::string();
    const size_t close = value.find('"', open + 1);
    if (close == std::string::npos)
        return std::string();
    return value.substr(open + 1, close - open - 1);
}

}  // namespace parvola
