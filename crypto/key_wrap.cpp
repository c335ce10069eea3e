#include "crypto/key_wrap.h"

#include <sodium.h>

#include <array>
#include <charconv>
#include <map>

#include "crypto/sodium_ready.h"

namespace parvola {

namespace {

constexpr std::string_view kVersionField = "Parvola-Key";
constexpr std::string_view kVersion = "1";
constexpr std::string_view kKdf = "argon2id13";
constexpr size_t kSaltBytes = crypto_pwhash_SALTBYTES;
constexpr size_t kNonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t kSealedKeyBytes = kKeyBytes + crypto_aead_xchacha20poly1305_ietf_ABYTES;
// Beyond these a text is refused rather than obeyed: 4 GiB and 32 passes are
// far past any setting we write and still finish on an ordinary computer.
constexpr uint64_t kMaxMem = uint64_t{4} << 30;
constexpr uint64_t kMaxOps = 32;

bool paramsInBounds(const KdfParams& params) {
    return params.opsLimit >= crypto_pwhash_OPSLIMIT_MIN && params.opsLimit <= kMaxOps &&
           params.memLimit >= crypto_pwhash_MEMLIMIT_MIN && params.memLimit <= kMaxMem;
}

std::string toHex(const unsigned char* bytes, size_t size) {
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, size);
    hex.pop_back();
    return hex;
}

// Exactly `size` bytes of lower- or upper-case hex, nothing else.
bool fromHex(std::string_view hex, unsigned char* bytes, size_t size) {
    size_t written = 0;
    const char* end = nullptr;
    return hex.size() == size * 2 &&
           sodium_hex2bin(bytes, size, hex.data(), hex.size(), nullptr, &written, &end) == 0 &&
           written == size && end == hex.data() + hex.size();
}

bool readNumber(std::string_view text, uint64_t& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

struct WrapFields {
    KdfParams params;
    std::array<unsigned char, kSaltBytes> salt{};
    std::array<unsigned char, kNonceBytes> nonce{};
    std::array<unsigned char, kSealedKeyBytes> sealed{};
};

// What the sealing authenticates besides the key: every field before it.
std::string additionalData(const KdfParams& params, const unsigned char* salt) {
    return std::string(kVersionField) + ": " + std::string(kVersion) +
           "\nKDF: " + std::string(kKdf) + "\nOps: " + std::to_string(params.opsLimit) +
           "\nMem: " + std::to_string(params.memLimit) + "\nSalt: " + toHex(salt, kSaltBytes) +
           "\n";
}

CryptoResult parseFields(std::string_view text, WrapFields& fields) {
    std::map<std::string_view, std::string_view> values;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        size_t colon = line.find(": ");
        if (colon == std::string_view::npos) {
            if (line.empty()) {
                continue;
            }
            return CryptoResult::Damaged;
        }
        if (!values.emplace(line.substr(0, colon), line.substr(colon + 2)).second) {
            return CryptoResult::Damaged;  // a field twice: which would we believe?
        }
    }
    auto version = values.find(kVersionField);
    if (version == values.end()) {
        return CryptoResult::Damaged;
    }
    if (version->second != kVersion || values[std::string_view("KDF")] != kKdf) {
        return CryptoResult::Unsupported;
    }
    if (!readNumber(values["Ops"], fields.params.opsLimit) ||
        !readNumber(values["Mem"], fields.params.memLimit) ||
        !fromHex(values["Salt"], fields.salt.data(), kSaltBytes) ||
        !fromHex(values["Nonce"], fields.nonce.data(), kNonceBytes) ||
        !fromHex(values["Key"], fields.sealed.data(), kSealedKeyBytes)) {
        return CryptoResult::Damaged;
    }
    return paramsInBounds(fields.params) ? CryptoResult::Ok : CryptoResult::Unsupported;
}

// The key that wraps: Argon2id of the passphrase.
CryptoResult passphraseKey(std::string_view passphrase, const KdfParams& params,
                           const unsigned char* salt, DataKey& key) {
    std::array<unsigned char, kKeyBytes> derived{};
    if (crypto_pwhash(derived.data(), derived.size(), passphrase.data(), passphrase.size(), salt,
                      params.opsLimit, static_cast<size_t>(params.memLimit),
                      crypto_pwhash_ALG_ARGON2ID13) != 0) {
        return CryptoResult::OutOfMemory;
    }
    CryptoResult result = DataKey::fromBytes(
        std::string_view(reinterpret_cast<const char*>(derived.data()), derived.size()), key);
    sodium_memzero(derived.data(), derived.size());
    return result;
}

}  // namespace

KdfParams KdfParams::fastest() {
    return KdfParams{crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

CryptoResult wrapDataKey(const DataKey& key, std::string_view passphrase, const KdfParams& params,
                         std::string& text) {
    if (!key.isSet() || passphrase.empty()) {
        return CryptoResult::Refused;
    }
    if (!paramsInBounds(params)) {
        return CryptoResult::Unsupported;
    }
    if (!sodiumReady()) {
        return CryptoResult::Unavailable;
    }
    WrapFields fields;
    fields.params = params;
    randombytes_buf(fields.salt.data(), fields.salt.size());
    randombytes_buf(fields.nonce.data(), fields.nonce.size());
    DataKey wrapping;
    if (CryptoResult derived = passphraseKey(passphrase, params, fields.salt.data(), wrapping);
        derived != CryptoResult::Ok) {
        return derived;
    }
    std::string header = additionalData(params, fields.salt.data());
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        fields.sealed.data(), nullptr, key.data(), kKeyBytes,
        reinterpret_cast<const unsigned char*>(header.data()), header.size(), nullptr,
        fields.nonce.data(), wrapping.data());
    text = header + "Nonce: " + toHex(fields.nonce.data(), kNonceBytes) +
           "\nKey: " + toHex(fields.sealed.data(), kSealedKeyBytes) + "\n";
    return CryptoResult::Ok;
}

CryptoResult readWrapParams(std::string_view text, KdfParams& params) {
    WrapFields fields;
    CryptoResult parsed = parseFields(text, fields);
    if (parsed == CryptoResult::Ok) {
        params = fields.params;
    }
    return parsed;
}

CryptoResult unwrapDataKey(std::string_view text, std::string_view passphrase, DataKey& key) {
    if (!sodiumReady()) {
        return CryptoResult::Unavailable;
    }
    WrapFields fields;
    if (CryptoResult parsed = parseFields(text, fields); parsed != CryptoResult::Ok) {
        return parsed;
    }
    DataKey wrapping;
    if (CryptoResult derived =
            passphraseKey(passphrase, fields.params, fields.salt.data(), wrapping);
        derived != CryptoResult::Ok) {
        return derived;
    }
    std::string header = additionalData(fields.params, fields.salt.data());
    std::array<unsigned char, kKeyBytes> plain{};
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(
            plain.data(), nullptr, nullptr, fields.sealed.data(), fields.sealed.size(),
            reinterpret_cast<const unsigned char*>(header.data()), header.size(),
            fields.nonce.data(), wrapping.data()) != 0) {
        return CryptoResult::WrongPassphrase;
    }
    CryptoResult result = DataKey::fromBytes(
        std::string_view(reinterpret_cast<const char*>(plain.data()), plain.size()), key);
    sodium_memzero(plain.data(), plain.size());
    return result;
}

CryptoResult rewrapDataKey(std::string_view text, std::string_view oldPassphrase,
                           std::string_view newPassphrase, const KdfParams& params,
                           std::string& newText) {
    DataKey key;
    if (CryptoResult opened = unwrapDataKey(text, oldPassphrase, key); opened != CryptoResult::Ok) {
        return opened;
    }
    return wrapDataKey(key, newPassphrase, params, newText);
}

}  // namespace parvola
