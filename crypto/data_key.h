#pragma once
// A 32-byte symmetric key: an account's data key or a key derived from it.
// Owns its bytes and wipes them when it goes; it can be moved, not copied, so
// a key lives in exactly one place.
#include <array>
#include <cstdint>
#include <string_view>

#include "crypto/crypto_result.h"

namespace parvola {

inline constexpr size_t kKeyBytes = 32;

// What a key derived from the data key is for; each purpose gets its own key
// so that no key is ever used by two constructions.
enum class KeyPurpose : uint64_t {
    Pieces = 1,   // the piece stream
    Names = 2,    // name tokens
    Catalog = 3,  // the sealed catalog
};

class DataKey {
  public:
    DataKey() = default;  // all zero, not yet a key: see isSet()
    ~DataKey();
    DataKey(DataKey&& other) noexcept;
    DataKey& operator=(DataKey&& other) noexcept;
    DataKey(const DataKey&) = delete;
    DataKey& operator=(const DataKey&) = delete;

    // A fresh key from the system's random source.
    static CryptoResult random(DataKey& key);
    // Takes exactly kKeyBytes bytes; Refused for any other length.
    static CryptoResult fromBytes(std::string_view bytes, DataKey& key);

    // The key for one purpose, derived with BLAKE2b (crypto_kdf).
    CryptoResult derive(KeyPurpose purpose, DataKey& subkey) const;

    bool isSet() const { return set_; }
    const unsigned char* data() const { return bytes_.data(); }
    bool operator==(const DataKey& other) const;

  private:
    void wipe();

    std::array<unsigned char, kKeyBytes> bytes_{};
    bool set_ = false;
};

}  // namespace parvola
