#pragma once
// A whole catalog file sealed for its trip through the mailbox:
//
//   "PVC1" | nonce (24 bytes, fresh for every mail) | XChaCha20-Poly1305 of the file
//
// with the magic as additional data. A catalog is a few megabytes at most and
// is read whole anyway, so it is sealed in one piece rather than streamed.
#include <string>
#include <string_view>

#include "crypto/crypto_result.h"
#include "crypto/data_key.h"

namespace parvola {

inline constexpr std::string_view kCatalogMagic = "PVC1";

// `catalogKey` is the data key's KeyPurpose::Catalog key.
CryptoResult sealCatalog(const DataKey& catalogKey, std::string_view plain, std::string& sealed);
// Damaged when `sealed` is not in this form; Tampered when it does not
// authenticate (changed, or sealed under another key). `plain` is untouched
// unless the answer is Ok.
CryptoResult openCatalog(const DataKey& catalogKey, std::string_view sealed, std::string& plain);

// The same from one file to another. The output is written beside itself and
// renamed into place only when whole, so a failure leaves `outputPath` as it
// was. FileError when a file cannot be read or written.
CryptoResult sealCatalogFile(const DataKey& catalogKey, const std::string& inputPath,
                             const std::string& outputPath);
CryptoResult openCatalogFile(const DataKey& catalogKey, const std::string& inputPath,
                             const std::string& outputPath);

}  // namespace parvola
