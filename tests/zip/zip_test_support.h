#pragma once
// Shared by the zip tests: building archives byte by byte for the cases no
// well-behaved writer produces (tests/support/command.h runs the independent
// zip tools).
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/command.h"
#include "tests/support/temp_dir.h"
#include "zip/zip_bytes.h"

namespace parvola::test {

inline uint32_t crcOf(const std::string& data) {
    return static_cast<uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

inline std::string rawDeflate(const std::string& data) {
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, data.size()) + 16, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// One entry of a hand-built archive: `name` is stored byte for byte.
struct RawEntry {
    std::string name;
    std::string data;
    bool deflated = true;
    uint16_t flags = 0;
    uint16_t method = 0xFFFF;  // 0xFFFF: 8 or 0 from `deflated`
};

// A well-formed archive of `entries`, written the way a plain writer would.
inline std::string buildRawZip(const std::vector<RawEntry>& entries,
                               const std::string& comment = {}) {
    using namespace zipbytes;
    std::string body, directory;
    for (const RawEntry& e : entries) {
        std::string payload = e.deflated ? rawDeflate(e.data) : e.data;
        uint16_t method = e.method != 0xFFFF ? e.method : (e.deflated ? 8 : 0);
        uint32_t offset = static_cast<uint32_t>(body.size());
        auto common = [&](std::string& out) {
            put16(out, 20);
            put16(out, e.flags);
            put16(out, method);
            put16(out, 0x6000);  // 12:00:00
            put16(out, 0x3B59);  // 2009-10-25
            put32(out, crcOf(e.data));
            put32(out, static_cast<uint32_t>(payload.size()));
            put32(out, static_cast<uint32_t>(e.data.size()));
            put16(out, static_cast<uint32_t>(e.name.size()));
            put16(out, 0);
        };
        body += std::string(kLocalSignature);
        common(body);
        body += e.name + payload;
        directory += std::string(kCentralSignature);
        put16(directory, 20);
        common(directory);
        put16(directory, 0);  // comment length
        put16(directory, 0);  // disk
        put16(directory, 0);  // internal attributes
        put32(directory, 0x20);
        put32(directory, offset);
        directory += e.name;
    }
    std::string end(kEndSignature);
    put16(end, 0);
    put16(end, 0);
    put16(end, static_cast<uint32_t>(entries.size()));
    put16(end, static_cast<uint32_t>(entries.size()));
    put32(end, static_cast<uint32_t>(directory.size()));
    put32(end, static_cast<uint32_t>(body.size()));
    put16(end, static_cast<uint32_t>(comment.size()));
    return body + directory + end + comment;
}

}  // namespace parvola::test
