#pragma once
// Which accounts of this process keep their store encrypted, and their keys
// once the passphrase opened them. Kept in memory only: the data key and the
// passphrase never reach the disk.
//
// An account nobody registered is a plain one: everything it stores goes out
// as it always did. An encrypted account whose key is not at hand is locked:
// the hooks that would seal for it refuse, so nothing of it leaves in clear.
#include <memory>
#include <string>

#include "crypto/data_key.h"

namespace parvola {

// The keys derived from one account's data key, one per construction.
struct AccountKeys {
    DataKey pieces;
    DataKey names;
    DataKey catalog;
};

enum class AccountEncryption { Plain, Locked, Unlocked };

// Registers the account as encrypted and unlocked with `dataKey`. False when
// the key is not set.
bool unlockAccountKeys(const std::string& loginAddress, const DataKey& dataKey);
// Registers the account as encrypted without its key (a key mail was seen,
// the passphrase not given yet).
void lockAccountKeys(const std::string& loginAddress);
// Forgets the account: it counts as plain again in this process.
void forgetAccountKeys(const std::string& loginAddress);
// Forgets every account (the end of a run; tests between cases).
void forgetAllAccountKeys();

AccountEncryption accountEncryption(const std::string& loginAddress);
// The account's keys; null for a plain or a locked account.
std::shared_ptr<const AccountKeys> accountKeys(const std::string& loginAddress);

}  // namespace parvola
