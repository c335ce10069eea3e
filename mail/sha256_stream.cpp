#include "mail/sha256_stream.h"

#include <openssl/evp.h>

namespace parvola {

struct Sha256Stream::Context {
    Context() : md(EVP_MD_CTX_new()) {}
    ~Context() { EVP_MD_CTX_free(md); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    EVP_MD_CTX* md;
};

Sha256Stream::Sha256Stream() : context_(std::make_unique<Context>()) {
    good_ = context_->md != nullptr && EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr) == 1;
}

Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::update(std::string_view bytes) {
    if (good_ && !bytes.empty())
        good_ = EVP_DigestUpdate(context_->md, bytes.data(), bytes.size()) == 1;
}

std::string Sha256Stream::finishHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (!good_ || EVP_DigestFinal_ex(context_->md, digest, &length) != 1)
        return std::string();
    good_ = false;
    static const char* kHex = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

}  // namespace parvola
