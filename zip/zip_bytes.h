#pragma once
// Little-endian fields of zip records.
#include <cstdint>
#include <string>
#include <string_view>

namespace parvola::zipbytes {

inline void put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

inline void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

inline uint16_t get16(std::string_view in, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(in[at]) |
                                 static_cast<unsigned char>(in[at + 1]) << 8);
}

inline uint32_t get32(std::string_view in, size_t at) {
    return static_cast<uint32_t>(get16(in, at)) | static_cast<uint32_t>(get16(in, at + 2)) << 16;
}

inline constexpr std::string_view kLocalSignature{"PK\x03\x04", 4};
inline constexpr std::string_view kCentralSignature{"PK\x01\x02", 4};
inline constexpr std::string_view kEndSignature{"PK\x05\x06", 4};
inline constexpr std::string_view kDescriptorSignature{"PK\x07\x08", 4};

}  // namespace parvola::zipbytes
