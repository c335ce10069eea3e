#include "mail/mime_reader_base64_line.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "mail/base64_tables.h"

namespace parvola {
namespace {

constexpr int kNotInAlphabet = -1;

constexpr std::array<int8_t, 256> makeTable() {
    std::array<int8_t, 256> table{};
    for (auto& v : table)
        v = kNotInAlphabet;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
    return table;
}

constexpr std::array<int8_t, 256> kValues = makeTable();

// Lines are decoded a block at a time into this much room on the stack.
constexpr size_t kBlock = 4096;

}  // namespace

void decodeBase64Line(std::string_view line, std::string& out) {
    // Room for a block's bytes plus the fourth byte a quad's store writes.
    char buffer[kBlock / 4 * 3 + 4];
    const auto* in = reinterpret_cast<const unsigned char*>(line.data());
    const size_t size = line.size();
    uint32_t group = 0;
    int filled = 0;
    int pads = 0;
    size_t i = 0;
    while (i < size) {
        char* dst = buffer;
        const size_t blockEnd = size - i > kBlock ? i + kBlock : size;
        while (i < blockEnd) {
            // Whole groups of four alphabet characters, three bytes each,
            // as long as no padding has been seen on the line.
            if (filled == 0 && pads == 0) {
                while (i + 4 <= blockEnd) {
                    const uint32_t quad = base64QuadValue(in + i);
                    if (quad & kBase64QuadInvalid)
                        break;
                    storeBase64Triple(quad, dst);
                    dst += 3;
                    i += 4;
                }
                if (i >= blockEnd)
                    break;
            }
            const char c = static_cast<char>(in[i++]);
            int value;
            if (c == '=') {
                value = 0;
                ++pads;
            } else {
                value = kValues[static_cast<unsigned char>(c)];
                if (value == kNotInAlphabet)
                    continue;
            }
            group = (group << 6) | static_cast<uint32_t>(value);
            if (++filled < 4)
                continue;
            *dst++ = static_cast<char>(group >> 16);
            if (pads < 2)
                *dst++ = static_cast<char>(group >> 8);
            if (pads == 0)
                *dst++ = static_cast<char>(group);
            group = 0;
            filled = 0;
        }
        out.append(buffer, static_cast<size_t>(dst - buffer));
    }
}

}  // namespace parvola
