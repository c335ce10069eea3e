#pragma once
// The opaque stand-in for a file name in an encrypted account's subjects and
// attachment names: a keyed BLAKE2b hash of the name, 16 bytes written as
// URL-safe base64 without padding (22 characters of A-Z a-z 0-9 - _, none of
// them ";" or anything a subject or file name treats specially). The same name
// under the same key always gives the same token, so the piece search and the
// subject cache find a file by its token as they find it by its name; without
// the key a token says nothing of the name.
#include <string>
#include <string_view>

#include "crypto/crypto_result.h"
#include "crypto/data_key.h"

namespace parvola {

inline constexpr size_t kNameTokenLength = 22;

// `namesKey` is the data key's KeyPurpose::Names key.
CryptoResult nameToken(const DataKey& namesKey, std::string_view name, std::string& token);

// True for a text of the token's shape (length and alphabet).
bool looksLikeNameToken(std::string_view text);

}  // namespace parvola
