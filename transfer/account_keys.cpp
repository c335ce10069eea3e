#include "transfer/account_keys.h"

#include <map>
#include <mutex>

namespace parvola {
namespace {

struct Registry {
    std::mutex mutex;
    // A null pointer: encrypted, locked.
    std::map<std::string, std::shared_ptr<const AccountKeys>> accounts;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

bool unlockAccountKeys(const std::string& loginAddress, const DataKey& dataKey) {
    auto keys = std::make_shared<AccountKeys>();
    if (dataKey.derive(KeyPurpose::Pieces, keys->pieces) != CryptoResult::Ok ||
        dataKey.derive(KeyPurpose::Names, keys->names) != CryptoResult::Ok ||
        dataKey.derive(KeyPurpose::Catalog, keys->catalog) != CryptoResult::Ok)
        return false;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.accounts[loginAddress] = std::move(keys);
    return true;
}

void lockAccountKeys(const std::string& loginAddress) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.accounts[loginAddress] = nullptr;
}

void forgetAccountKeys(const std::string& loginAddress) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.accounts.erase(loginAddress);
}

void forgetAllAccountKeys() {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.accounts.clear();
}

AccountEncryption accountEncryption(const std::string& loginAddress) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto found = r.accounts.find(loginAddress);
    if (found == r.accounts.end())
        return AccountEncryption::Plain;
    return found->second ? AccountEncryption::Unlocked : AccountEncryption::Locked;
}

std::shared_ptr<const AccountKeys> accountKeys(const std::string& loginAddress) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto found = r.accounts.find(loginAddress);
    return found == r.accounts.end() ? nullptr : found->second;
}

}  // namespace parvola
