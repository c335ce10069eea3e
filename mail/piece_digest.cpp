#include "mail/piece_digest.h"

#include <cstdio>
#include <memory>

#include "mail/sha256_stream.h"

namespace parvola {
namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// Feeds `read` blocks into SHA-256 until it returns 0; false on any failure.
template <typename Read>
bool digest(Read read, std::string& hex) {
    Sha256Stream stream;
    char block[64 * 1024];
    long got;
    while ((got = read(block, sizeof block)) > 0)
        stream.update(std::string_view(block, static_cast<size_t>(got)));
    if (got < 0)
        return false;
    hex = stream.finishHex();
    return !hex.empty();
}

}  // namespace

std::string sha256Hex(std::string_view bytes) {
    Sha256Stream stream;
    stream.update(bytes);
    return stream.finishHex();
}

bool sha256HexOfFile(const std::string& path, std::string& hex) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    return digest(
        [&](char* block, size_t capacity) {
            const size_t n = std::fread(block, 1, capacity, file.get());
            return std::ferror(file.get()) ? -1L : static_cast<long>(n);
        },
        hex);
}

bool isPieceDigestRefusal(std::string_view reply) {
    return reply.find(kPieceDigestRefusalMark) != std::string_view::npos;
}

}  // namespace parvola
