#include "crypto/name_token.h"

#include <sodium.h>

#include "crypto/sodium_ready.h"

namespace parvola {

namespace {
constexpr size_t kTokenHashBytes = 16;
static_assert(kNameTokenLength == (kTokenHashBytes * 4 + 2) / 3);
}  // namespace

CryptoResult nameToken(const DataKey& namesKey, std::string_view name, std::string& token) {
    if (!namesKey.isSet()) {
        return CryptoResult::Refused;
    }
    if (!sodiumReady()) {
        return CryptoResult::Unavailable;
    }
    unsigned char hash[kTokenHashBytes];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(name.data()),
                       name.size(), namesKey.data(), kKeyBytes);
    char text[kNameTokenLength + 1];
    sodium_bin2base64(text, sizeof text, hash, sizeof hash,
                      sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    token.assign(text, kNameTokenLength);
    return CryptoResult::Ok;
}

bool looksLikeNameToken(std::string_view text) {
    if (text.size() != kNameTokenLength) {
        return false;
    }
    for (char c : text) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

}  // namespace parvola
