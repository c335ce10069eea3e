#include "cli/text_width.h"

namespace parvola::cli {
namespace {

// The wide ranges that occur in this program's texts: CJK, Hangul, full-width
// forms and the emoji planes.
bool isWide(unsigned cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1FAFF) ||
           (cp >= 0x20000 && cp <= 0x3FFFD);
}

}  // namespace

size_t displayWidth(const std::string& utf8) {
    size_t width = 0;
    for (size_t i = 0; i < utf8.size();) {
        auto c = static_cast<unsigned char>(utf8[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        unsigned cp = len == 1 ? c : c & (0x7F >> len);
        for (size_t k = 1; k < len && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        width += isWide(cp) ? 2 : 1;
        i += len;
    }
    return width;
}

std::string padToWidth(const std::string& text, size_t width, bool right) {
    size_t used = displayWidth(text);
    std::string blanks(used < width ? width - used : 0, ' ');
    return right ? blanks + text : text + blanks;
}

}  // namespace parvola::cli
