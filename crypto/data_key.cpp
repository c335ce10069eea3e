#include "crypto/data_key.h"

#include <sodium.h>

#include "crypto/sodium_ready.h"

namespace parvola {

namespace {
// crypto_kdf's context: eight bytes naming this program's key tree.
constexpr char kKdfContext[crypto_kdf_CONTEXTBYTES + 1] = "ParvolaK";
static_assert(crypto_kdf_KEYBYTES == kKeyBytes);
}  // namespace

DataKey::~DataKey() {
    wipe();
}

DataKey::DataKey(DataKey&& other) noexcept : bytes_(other.bytes_), set_(other.set_) {
    other.wipe();
}

DataKey& DataKey::operator=(DataKey&& other) noexcept {
    if (this != &other) {
        bytes_ = other.bytes_;
        set_ = other.set_;
        other.wipe();
    }
    return *this;
}

void DataKey::wipe() {
    sodium_memzero(bytes_.data(), bytes_.size());
    set_ = false;
}

CryptoResult DataKey::random(DataKey& key) {
    if (!sodiumReady()) {
        return CryptoResult::Unavailable;
    }
    crypto_kdf_keygen(key.bytes_.data());
    key.set_ = true;
    return CryptoResult::Ok;
}

CryptoResult DataKey::fromBytes(std::string_view bytes, DataKey& key) {
    if (bytes.size() != kKeyBytes) {
        return CryptoResult::Refused;
    }
    for (size_t i = 0; i < kKeyBytes; ++i) {
        key.bytes_[i] = static_cast<unsigned char>(bytes[i]);
    }
    key.set_ = true;
    return CryptoResult::Ok;
}

CryptoResult DataKey::derive(KeyPurpose purpose, DataKey& subkey) const {
    if (!set_) {
        return CryptoResult::Refused;
    }
    if (!sodiumReady()) {
        return CryptoResult::Unavailable;
    }
    crypto_kdf_derive_from_key(subkey.bytes_.data(), kKeyBytes, static_cast<uint64_t>(purpose),
                               kKdfContext, bytes_.data());
    subkey.set_ = true;
    return CryptoResult::Ok;
}

bool DataKey::operator==(const DataKey& other) const {
    return set_ == other.set_ && sodium_memcmp(bytes_.data(), other.bytes_.data(), kKeyBytes) == 0;
}

}  // namespace parvola
