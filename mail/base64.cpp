#include "mail/base64.h"

#include "mail/base64_tables.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace parvola {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit group: three input bytes become two
// table loads and two 16-bit stores, which keeps the encoder memory-bound.
struct PairTable {
    std::array<uint16_t, 4096> pairs{};
    constexpr PairTable() {
        for (unsigned i = 0; i < 4096; ++i) {
            // Stored in memory order: first character at the lower address.
            const unsigned char first = static_cast<unsigned char>(kAlphabet[i >> 6]);
            const unsigned char second = static_cast<unsigned char>(kAlphabet[i & 63]);
            pairs[i] = std::endian::native == std::endian::little
                           ? static_cast<uint16_t>(first | (second << 8))
                           : static_cast<uint16_t>((first << 8) | second);
        }
    }
};
constexpr PairTable kPairs;

constexpr uint8_t kInvalid = 0xFF;
constexpr uint8_t kSkip = 0xFE;
constexpr uint8_t kPad = 0xFD;

struct DecodeTable {
    std::array<uint8_t, 256> values{};
    constexpr DecodeTable() {
        for (auto& v : values)
            v = kInvalid;
        for (unsigned i = 0; i < 64; ++i)
            values[static_cast<unsigned char>(kAlphabet[i])] = i;
        values['\r'] = kSkip;
        values['\n'] = kSkip;
        values[' '] = kSkip;
        values['\t'] = kSkip;
        values['='] = kPad;
    }
};
constexpr DecodeTable kDecode;

inline void encodeTriple(const unsigned char* in, char* out) {
    const uint32_t v = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
    std::memcpy(out, &kPairs.pairs[v >> 12], 2);
    std::memcpy(out + 2, &kPairs.pairs[v & 0xFFF], 2);
}

// Encodes whole triples; `length` must be a multiple of 3.
inline char* encodeTriples(const unsigned char* in, size_t length, char* out) {
    const unsigned char* end = in + length;
    // Twelve bytes per round: four triples, sixteen characters.
    while (end - in >= 12) {
        encodeTriple(in, out);
        encodeTriple(in + 3, out + 4);
        encodeTriple(in + 6, out + 8);
        encodeTriple(in + 9, out + 12);
        in += 12;
        out += 16;
    }
    for (; in < end; in += 3, out += 4)
        encodeTriple(in, out);
    return out;
}

inline char* encodeTail(const unsigned char* in, size_t rest, char* out) {
    if (rest == 1) {
        out[0] = kAlphabet[in[0] >> 2];
        out[1] = kAlphabet[(in[0] & 0x03) << 4];
        out[2] = '=';
        out[3] = '=';
        return out + 4;
    }
    if (rest == 2) {
        out[0] = kAlphabet[in[0] >> 2];
        out[1] = kAlphabet[((in[0] & 0x03) << 4) | (in[1] >> 4)];
        out[2] = kAlphabet[(in[1] & 0x0F) << 2];
        out[3] = '=';
        return out + 4;
    }
    return out;
}

}  // namespace

size_t base64EncodeTo(const void* data, size_t length, char* out) {
    const auto* in = static_cast<const unsigned char*>(data);
    const size_t whole = length - length % 3;
    char* end = encodeTriples(in, whole, out);
    end = encodeTail(in + whole, length - whole, end);
    return static_cast<size_t>(end - out);
}

std::string base64Encode(std::string_view data) {
    std::string out(base64EncodedLength(data.size()), '\0');
    base64EncodeTo(data.data(), data.size(), out.data());
    return out;
}

void base64AppendWrapped(std::string_view data, size_t lineLength, std::string& out) {
    const size_t encoded = base64EncodedLength(data.size());
    if (lineLength == 0 || encoded <= lineLength) {
        const size_t start = out.size();
        out.resize(start + encoded);
        base64EncodeTo(data.data(), data.size(), out.data() + start);
        return;
    }
    const size_t breaks = (encoded - 1) / lineLength;
    const size_t start = out.size();
    out.resize(start + encoded + 2 * breaks);
    char* dst = out.data() + start;
    const auto* in = reinterpret_cast<const unsigned char*>(data.data());
    size_t left = data.size();

    if (lineLength % 4 == 0) {
        // Every line holds whole groups: encode a line's worth of input at a time.
        const size_t bytesPerLine = lineLength / 4 * 3;
        while (left > bytesPerLine) {
            dst = encodeTriples(in, bytesPerLine, dst);
            *dst++ = '\r';
            *dst++ = '\n';
            in += bytesPerLine;
            left -= bytesPerLine;
        }
        base64EncodeTo(in, left, dst);
        return;
    }
    // Odd line lengths: encode in one line, then spread it out backwards in place.
    char* base = out.data() + start;
    base64EncodeTo(in, left, base);
    size_t src = encoded;
    size_t dstEnd = encoded + 2 * breaks;
    size_t lastLine = encoded - breaks * lineLength;
    std::memmove(base + dstEnd - lastLine, base + src - lastLine, lastLine);
    src -= lastLine;
    dstEnd -= lastLine;
    while (src > 0) {
        base[--dstEnd] = '\n';
        base[--dstEnd] = '\r';
        std::memmove(base + dstEnd - lineLength, base + src - lineLength, lineLength);
        src -= lineLength;
        dstEnd -= lineLength;
    }
}

bool base64Decode(std::string_view text, std::string& out) {
    out.resize(text.size() / 4 * 3 + 3);
    char* dst = out.data();
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    const auto& values = kDecode.values;
    uint32_t accumulator = 0;
    int held = 0;  // sextets in the accumulator
    size_t i = 0;
    for (;;) {
        // Fast path: four alphabet characters make three bytes at once.
        while (held == 0 && i + 4 <= size) {
            const uint32_t group = base64QuadValue(in + i);
            if (group & kBase64QuadInvalid)
                break;
            if (i + 8 > size) {
                // The last whole group: its fourth stored byte would run past
                // the room, so it is written byte by byte.
                dst[0] = static_cast<char>(group >> 16);
                dst[1] = static_cast<char>(group >> 8);
                dst[2] = static_cast<char>(group);
            } else {
                storeBase64Triple(group, dst);
            }
            dst += 3;
            i += 4;
        }
        if (i >= size)
            break;
        const uint8_t v = values[in[i]];
        if (v < 64) {
            accumulator = (accumulator << 6) | v;
            if (++held == 4) {
                *dst++ = static_cast<char>(accumulator >> 16);
                *dst++ = static_cast<char>(accumulator >> 8);
                *dst++ = static_cast<char>(accumulator);
                accumulator = 0;
                held = 0;
            }
        } else if (v == kPad) {
            break;
        } else if (v != kSkip) {
            out.resize(static_cast<size_t>(dst - out.data()));
            return false;
        }
        ++i;
    }
    // Padding: only after two or three sextets of a group, and nothing but
    // further padding and white space after it.
    int pads = 0;
    bool valid = true;
    for (; i < size; ++i) {
        const uint8_t v = values[in[i]];
        if (v == kPad)
            ++pads;
        else if (v != kSkip)
            valid = false;
    }
    if (held == 1 || (pads > 0 && (held == 0 || held + pads > 4)))
        valid = false;
    if (valid && held == 2) {
        *dst++ = static_cast<char>(accumulator >> 4);
    } else if (valid && held == 3) {
        *dst++ = static_cast<char>(accumulator >> 10);
        *dst++ = static_cast<char>(accumulator >> 2);
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    return valid;
}

}  // namespace parvola
