#include "transfer/catalog_encryption.h"

#include "crypto/catalog_seal.h"
#include "transfer/account_keys.h"

namespace parvola {

bool sealCatalogForMail(const std::string& loginAddress, const std::string& zipPath) {
    switch (accountEncryption(loginAddress)) {
        case AccountEncryption::Plain:
            return true;
        case AccountEncryption::Locked:
            return false;
        case AccountEncryption::Unlocked:
            break;
    }
    const std::shared_ptr<const AccountKeys> keys = accountKeys(loginAddress);
    return keys != nullptr && sealCatalogFile(keys->catalog, zipPath, zipPath) == CryptoResult::Ok;
}

bool openCatalogFromMail(const std::string& loginAddress, const std::string& zipPath) {
    switch (accountEncryption(loginAddress)) {
        case AccountEncryption::Plain:
            return true;
        case AccountEncryption::Locked:
            return false;
        case AccountEncryption::Unlocked:
            break;
    }
    const std::shared_ptr<const AccountKeys> keys = accountKeys(loginAddress);
    return keys != nullptr && openCatalogFile(keys->catalog, zipPath, zipPath) == CryptoResult::Ok;
}

}  // namespace parvola
