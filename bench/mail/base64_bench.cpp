// Throughput of the base64 codec on a large buffer.
//   bench_base64_bench [MiB]
// Whole-process decoding of a file, to set beside `base64 -d FILE` of
// coreutils (the file as `base64` writes it: 76-column lines):
//   bench_base64_bench decode FILE          the strict decoder, the whole file
//   bench_base64_bench decode-lines FILE    the attachment decoder, line by line
// Both write the decoded bytes to standard output.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "mail/base64.h"
#include "mail/mime_reader_part_decoder.h"
#include "tests/support/temp_dir.h"

using namespace parvola;
using Clock = std::chrono::steady_clock;

template <typename Fn>
double bestSeconds(int rounds, Fn fn) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        fn();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

// Decodes the file in blocks of whole lines (76-column lines hold whole
// groups), as a stream decoder does: read a block, decode, write.
int decodeFile(const std::string& mode, const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return 2;
    constexpr size_t kBlock = 1 << 20;
    std::string text(kBlock, '\0');
    std::string decoded;
    decoded.reserve(kBlock);
    PartBodyDecoder decoder(PartBodyDecoder::Kind::Base64);
    size_t held = 0;
    bool ok = true;
    while (ok) {
        const size_t got = std::fread(text.data() + held, 1, kBlock - held, file);
        const size_t size = held + got;
        if (size == 0)
            break;
        // Whole lines only, unless the file has ended.
        size_t cut = size;
        if (got != 0) {
            const size_t lastFeed = std::string_view(text.data(), size).rfind('\n');
            cut = lastFeed == std::string_view::npos ? size : lastFeed + 1;
        }
        std::string_view block(text.data(), cut);
        decoded.clear();
        if (mode == "decode") {
            ok = base64Decode(block, decoded);
        } else {
            // Line by line as an attachment part is read.
            while (!block.empty()) {
                const size_t end = block.find('\n');
                const size_t take = end == std::string_view::npos ? block.size() : end + 1;
                decoder.feed(block.substr(0, take), decoded);
                block.remove_prefix(take);
            }
        }
        ok = ok && std::fwrite(decoded.data(), 1, decoded.size(), stdout) == decoded.size();
        held = size - cut;
        std::memmove(text.data(), text.data() + cut, held);
        if (got == 0 && held == 0)
            break;
    }
    std::fclose(file);
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc > 2)
        return decodeFile(argv[1], argv[2]);
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const std::string data = test::randomBytes(mib << 20, 1);
    std::string line(base64EncodedLength(data.size()), '\0');
    const double encode =
        bestSeconds(5, [&] { base64EncodeTo(data.data(), data.size(), line.data()); });
    std::string wrapped;
    wrapped.reserve(line.size() + line.size() / 38 + 2);
    const double wrap = bestSeconds(5, [&] {
        wrapped.clear();
        base64AppendWrapped(data, 76, wrapped);
    });
    std::string decoded;
    bool ok = true;
    const double decode = bestSeconds(3, [&] { ok = base64Decode(line, decoded) && ok; });
    std::string wrappedDecoded;
    const double decodeWrapped =
        bestSeconds(3, [&] { ok = base64Decode(wrapped, wrappedDecoded) && ok; });
    std::string lineDecoded;
    lineDecoded.reserve(data.size() + 4096);
    const double decodeLines = bestSeconds(3, [&] {
        lineDecoded.clear();
        PartBodyDecoder decoder(PartBodyDecoder::Kind::Base64);
        std::string_view rest(wrapped);
        while (!rest.empty()) {
            const size_t end = rest.find('\n');
            const size_t take = end == std::string_view::npos ? rest.size() : end + 1;
            decoder.feed(rest.substr(0, take), lineDecoded);
            rest.remove_prefix(take);
        }
    });
    ok = ok && wrappedDecoded == data && lineDecoded == data;
    const double gb = static_cast<double>(data.size()) / 1e9;
    std::printf("command: bench_base64_bench %zu\n", mib);
    std::printf("input %zu MiB of random bytes, best of 5 (decode: 3)\n", mib);
    std::printf("encode, one line:        %.2f GB/s of input\n", gb / encode);
    std::printf("encode, 76-column lines: %.2f GB/s of input\n", gb / wrap);
    std::printf("decode, one line:        %.2f GB/s of output%s\n", gb / decode,
                ok && decoded == data ? "" : " (MISMATCH)");
    std::printf("decode, 76-column lines: %.2f GB/s of output\n", gb / decodeWrapped);
    std::printf("attachment line decoder: %.2f GB/s of output (76-column lines)\n",
                gb / decodeLines);
    return ok && decoded == data ? 0 : 1;
}
