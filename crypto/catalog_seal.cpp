#include "crypto/catalog_seal.h"

#include <sodium.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "crypto/sodium_ready.h"

namespace parvola {

namespace {

constexpr size_t kNonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t kTagBytes = crypto_aead_xchacha20poly1305_ietf_ABYTES;

const unsigned char* bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

bool readWhole(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool writeWhole(const std::string& path, const std::string& content) {
    std::string partial = path + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(partial.c_str());
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, path, error);
    if (error) {
        std::remove(partial.c_str());
        return false;
    }
    return true;
}

using Transform = CryptoResult (*)(const DataKey&, std::string_view, std::string&);

CryptoResult transformFile(Transform transform, const DataKey& key, const std::string& inputPath,
                           const std::string& outputPath) {
    std::string input;
    if (!readWhole(inputPath, input)) {
        return CryptoResult::FileError;
    }
    std::string output;
    if (CryptoResult result = transform(key, input, output); result != CryptoResult::Ok) {
        return result;
    }
    return writeWhole(outputPath, output) ? CryptoResult::Ok : CryptoResult::FileError;
}

}  // namespace

CryptoResult sealCatalog(const DataKey& catalogKey, std::string_view plain, std::string& sealed) {
    if (!catalogKey.isSet()) {
        return CryptoResult::Refused;
    }
    if (!sodiumReady()) {
        return CryptoResult::Unavailable;
    }
    sealed.assign(kCatalogMagic);
    sealed.resize(kCatalogMagic.size() + kNonceBytes + plain.size() + kTagBytes);
    auto* nonce = reinterpret_cast<unsigned char*>(sealed.data() + kCatalogMagic.size());
    randombytes_buf(nonce, kNonceBytes);
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        nonce + kNonceBytes, nullptr, bytes(plain), plain.size(), bytes(kCatalogMagic),
        kCatalogMagic.size(), nullptr, nonce, catalogKey.data());
    return CryptoResult::Ok;
}

CryptoResult openCatalog(const DataKey& catalogKey, std::string_view sealed, std::string& plain) {
    if (!catalogKey.isSet()) {
        return CryptoResult::Refused;
    }
    if (!sodiumReady()) {
        return CryptoResult::Unavailable;
    }
    size_t head = kCatalogMagic.size() + kNonceBytes;
    if (sealed.size() < head + kTagBytes ||
        sealed.substr(0, kCatalogMagic.size()) != kCatalogMagic) {
        return CryptoResult::Damaged;
    }
    std::string opened(sealed.size() - head - kTagBytes, '\0');
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(
            reinterpret_cast<unsigned char*>(opened.data()), nullptr, nullptr, bytes(sealed) + head,
            sealed.size() - head, bytes(kCatalogMagic), kCatalogMagic.size(),
            bytes(sealed) + kCatalogMagic.size(), catalogKey.data()) != 0) {
        return CryptoResult::Tampered;
    }
    plain = std::move(opened);
    return CryptoResult::Ok;
}

CryptoResult sealCatalogFile(const DataKey& catalogKey, const std::string& inputPath,
                             const std::string& outputPath) {
    return transformFile(sealCatalog, catalogKey, inputPath, outputPath);
}

CryptoResult openCatalogFile(const DataKey& catalogKey, const std::string& inputPath,
                             const std::string& outputPath) {
    return transformFile(openCatalog, catalogKey, inputPath, outputPath);
}

}  // namespace parvola
