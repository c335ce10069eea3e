#pragma once
// The decoding step shared by the base64 decoders: four characters at once
// through four tables that hold each character's six bits already shifted
// to their place in the 24-bit group. A character outside the alphabet
// ("=", line breaks, anything else) sets a high bit that no valid group has.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace parvola {

inline constexpr uint32_t kBase64QuadInvalid = 0x80000000u;

struct Base64QuadTables {
    std::array<uint32_t, 256> shifted[4]{};
    constexpr Base64QuadTables() {
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int t = 0; t < 4; ++t) {
            for (auto& v : shifted[t])
                v = kBase64QuadInvalid;
            for (uint32_t i = 0; i < 64; ++i)
                shifted[t][static_cast<unsigned char>(alphabet[i])] = i << (18 - 6 * t);
        }
    }
};

inline constexpr Base64QuadTables kBase64Quad;

// The 24-bit group of the four characters at `in`, or a value with
// kBase64QuadInvalid set when one of them is not in the alphabet.
inline uint32_t base64QuadValue(const unsigned char* in) {
    return kBase64Quad.shifted[0][in[0]] | kBase64Quad.shifted[1][in[1]] |
           kBase64Quad.shifted[2][in[2]] | kBase64Quad.shifted[3][in[3]];
}

// Writes the group's three bytes at `out`, and one byte more after them
// (the room must allow it; the next step overwrites it).
inline void storeBase64Triple(uint32_t group, char* out) {
    uint32_t word = group << 8;
    if constexpr (std::endian::native == std::endian::little)
        word = __builtin_bswap32(word);
    std::memcpy(out, &word, 4);
}

}  // namespace parvola
