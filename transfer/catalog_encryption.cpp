#include "transfer/catalog_encryption.h"

#include "crypto/catalog_seal.h"
#include "transfer/account_keys.h"

namespace parvola {

bool sealCatalogForMail(const std::string& loginAddress, const std::string& zipPath) {
    // No keys: a plain account passes untouched, a locked one sends nothing.
    const std::shared_ptr<const AccountKeys> keys = accountKeys(loginAddress);
    if (keys == nullptr)
        return accountEncryption(loginAddress) == AccountEncryption::Plain;
    return sealCatalogFile(keys->catalog, zipPath, zipPath) == CryptoResult::Ok;
}

bool openCatalogFromMail(const std::string& loginAddress, const std::string& zipPath) {
    // No keys: a plain account passes untouched, a locked one sends nothing.
    const std::shared_ptr<const AccountKeys> keys = accountKeys(loginAddress);
    if (keys == nullptr)
        return accountEncryption(loginAddress) == AccountEncryption::Plain;
    return openCatalogFile(keys->catalog, zipPath, zipPath) == CryptoResult::Ok;
}

}  // namespace parvola
