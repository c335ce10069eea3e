#include "mail/mime_reader_base64_line.h"

#include <array>
#include <cstdint>

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

}  // namespace

void decodeBase64Line(std::string_view line, std::string& out) {
    uint32_t group = 0;
    int filled = 0;
    int pads = 0;
    for (char c : line) {
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
        out += static_cast<char>(group >> 16);
        if (pads < 2)
            out += static_cast<char>(group >> 8);
        if (pads == 0)
            out += static_cast<char>(group);
        group = 0;
        filled = 0;
    }
}

}  // namespace parvola
