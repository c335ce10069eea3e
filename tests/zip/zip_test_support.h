#pragma once
// Shared by the zip tests: running the independent zip tools, and building
// archives byte by byte for the cases no well-behaved writer produces.
#include <zlib.h>

#include <sys/wait.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "zip/zip_bytes.h"

namespace parvola::test {

inline constexpr const char* kPython = "/usr/bin/python3";

inline std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// Runs `command` with /bin/sh; returns its exit status (-1 when it could not
// run) and, when asked, what it wrote to standard output and error.
inline int runCommand(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = ::pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a Python script given as text, with arguments.
inline int runPython(const std::string& script, const std::vector<std::string>& args,
                     std::string* output = nullptr) {
    std::string command = std::string(kPython) + " -c " + shellQuote(script);
    for (const std::string& arg : args)
        command += " " + shellQuote(arg);
    return runCommand(command, output);
}

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
