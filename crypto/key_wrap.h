#pragma once
// An account's data key, wrapped by a key derived from the user's passphrase,
// as a small text that can travel through the mailbox:
//
//   Parvola-Key: 1
//   KDF: argon2id13
//   Ops: 3
//   Mem: 268435456
//   Salt: <16 bytes, hex>
//   Nonce: <24 bytes, hex>
//   Key: <the 32-byte data key sealed with XChaCha20-Poly1305, 48 bytes, hex>
//
// The passphrase goes through Argon2id (crypto_pwhash) with the salt and the
// parameters written beside it, so another computer needs nothing but the
// passphrase. The lines before "Key" are the sealing's additional data: a text
// whose parameters were changed does not open. Lines end in LF or CRLF; lines
// of other names are skipped, so later versions can add some.
#include <cstdint>
#include <string>
#include <string_view>

#include "crypto/crypto_result.h"
#include "crypto/data_key.h"

namespace parvola {

struct KdfParams {
    uint64_t opsLimit = 3;           // Argon2id passes
    uint64_t memLimit = 256u << 20;  // bytes of memory the derivation needs

    // The cheapest parameters libsodium takes: for tests only.
    static KdfParams fastest();
    bool operator==(const KdfParams&) const = default;
};

// Wraps `key` under `passphrase` with a fresh salt and nonce into `text`.
// Refused for an empty passphrase or a key not set; Unsupported for parameters
// outside what unwrapDataKey accepts.
CryptoResult wrapDataKey(const DataKey& key, std::string_view passphrase, const KdfParams& params,
                         std::string& text);

// Opens a wrapped key. WrongPassphrase when the passphrase (or the sealed key
// itself) does not authenticate; Damaged for a text that is not a wrapped key;
// Unsupported for another version, derivation, or parameters beyond the
// bounds (a hostile text must not make us allocate gigabytes).
CryptoResult unwrapDataKey(std::string_view text, std::string_view passphrase, DataKey& key);

// The parameters a wrapped-key text names, without deriving anything.
CryptoResult readWrapParams(std::string_view text, KdfParams& params);

// Wraps the same data key under a new passphrase (fresh salt and nonce); the
// data key, and so everything stored, stays as it is.
CryptoResult rewrapDataKey(std::string_view text, std::string_view oldPassphrase,
                           std::string_view newPassphrase, const KdfParams& params,
                           std::string& newText);

}  // namespace parvola
