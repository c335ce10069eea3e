#pragma once
// The desktop's keyring (the freedesktop Secret Service, through libsecret):
// where a remembered mailbox password goes instead of a file, when a keyring
// answers on the session bus. Each secret is filed under the mailbox
// address it belongs to.
#include <string>

namespace parvola {

enum class KeyringResult {
    Ok,
    NotFound,     // the keyring answered and holds nothing for the address
    Unavailable,  // no keyring answers (no session bus, no Secret Service, or built without one)
    Failed,       // the keyring answered with an error (locked and not unlocked, say)
};

// Files `secret` under `address`, replacing what was there.
KeyringResult keyringStore(const std::string& address, const std::string& secret,
                           std::string& failure);
// The secret filed under `address`.
KeyringResult keyringLookup(const std::string& address, std::string& secret, std::string& failure);
// Removes what is filed under `address`; NotFound when nothing was.
KeyringResult keyringRemove(const std::string& address, std::string& failure);
// Whether a keyring answers now: a lookup that is not Unavailable.
bool keyringAnswers();

}  // namespace parvola
