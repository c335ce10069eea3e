#include "mail/piece_digest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace parvola {
namespace {

struct DigestContext {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

std::string toHex(const unsigned char* digest, unsigned length) {
    static const char* kHex = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

// Feeds `read` blocks into SHA-256 until it returns 0; false on any failure.
template <typename Read>
bool digest(Read read, std::string& hex) {
    std::unique_ptr<EVP_MD_CTX, DigestContext> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return false;
    unsigned char block[64 * 1024];
    long got;
    while ((got = read(block, sizeof block)) > 0) {
        if (EVP_DigestUpdate(context.get(), block, static_cast<size_t>(got)) != 1)
            return false;
    }
    if (got < 0)
        return false;
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (EVP_DigestFinal_ex(context.get(), out, &length) != 1)
        return false;
    hex = toHex(out, length);
    return true;
}

}  // namespace

std::string sha256Hex(std::string_view bytes) {
    std::string hex;
    size_t at = 0;
    digest(
        [&](unsigned char* block, size_t capacity) {
            const size_t n = std::min(capacity, bytes.size() - at);
            std::copy_n(bytes.data() + at, n, block);
            at += n;
            return static_cast<long>(n);
        },
        hex);
    return hex;
}

bool sha256HexOfFile(const std::string& path, std::string& hex) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    return digest(
        [&](unsigned char* block, size_t capacity) {
            const size_t n = std::fread(block, 1, capacity, file.get());
            return std::ferror(file.get()) ? -1L : static_cast<long>(n);
        },
        hex);
}

bool isPieceDigestRefusal(std::string_view reply) {
    return reply.find(kPieceDigestRefusalMark) != std::string_view::npos;
}

}  // namespace parvola
