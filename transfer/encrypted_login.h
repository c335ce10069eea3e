#pragma once
// The decisions about an encrypted store that both clients make around a
// login: which account the login will reach (the key mail is looked for
// before the catalog loads, as a sealed catalog opens only with the key),
// whether a look is worth an extra mailbox session, opening the store with a
// passphrase, and turning encryption on for a logged-in account. Asking for
// the passphrase and every word said to the user stay with each client.
#include <optional>
#include <string>

#include "app/ini_settings.h"
#include "mail/mailbox_account.h"
#include "transfer/account_login.h"

namespace parvola {

// The account a login of `address` will reach, found before the login: a
// direct account from its remembered settings (nothing asked), a web-service
// account from the service's verification. The verification is handed to
// loginAccount (`earlier`), so a login asks the service once.
struct AccountBeforeLogin {
    bool reached = false;  // `account` can open the mailbox
    MailboxAccount account;
    std::optional<EarlierVerification> verification;  // web-service accounts only
};
AccountBeforeLogin accountBeforeLogin(const std::string& address, const std::string& password,
                                      const IniSettings& settings);

// Where the keyring files the passphrase of `address` (beside its password).
std::string passphraseKeyringName(const std::string& address);
// The passphrase the keyring keeps for `address`, if any.
std::optional<std::string> keptPassphrase(const std::string& address);

// Whether this computer saw the store of `address` encrypted (config.ini
// remembers that, never a key or a passphrase), and noting that it did.
bool seenEncrypted(const std::string& address, const IniSettings& settings);
void noteSeenEncrypted(const std::string& address, const IniSettings& settings);

// Whether a look for the key mail is worth a mailbox session before a login
// without a passphrase at hand: the store was seen encrypted here, or the
// keyring keeps its passphrase.
bool keyMailWorthALook(const std::string& address, const IniSettings& settings);

// Whether the mailbox holds a key mail of the account (it is then marked
// locked in this process). False for a plain store and for a mailbox that
// could not be read (the login then says why).
bool storeIsEncrypted(const MailboxAccount& account);

enum class StoreOpening {
    Plain,            // no key mail: nothing to open
    Unlocked,         // the passphrase opened the key; the store is noted as encrypted
    WrongPassphrase,  // nothing written anywhere
    Damaged,          // the key mail is not one we read
    Unreadable,       // the mailbox could not be read
};
// Opens the store of `account` with `passphrase`. Writes nothing but the
// note that the store is encrypted, and that only on Unlocked.
StoreOpening openStoreWith(const MailboxAccount& account, const std::string& passphrase,
                           const IniSettings& settings);

enum class EncryptionStart {
    Done,              // key mail stored, catalog mailed sealed, store noted as encrypted
    AlreadyEncrypted,  // nothing changed
    KeyMailFailed,     // the key mail could not be stored; the store stays plain
    CatalogNotMailed,  // encrypted, but the sealed catalog goes out with the next change
};
// Makes the logged-in `account` encrypted from now on under `passphrase`:
// the key mail, then the catalog mailed anew, sealed (an encrypted account
// loads only a sealed catalog). Nothing stored before is stored again. A
// catalog mail already under way goes out first, so the sealed one is the
// newest: the caller waits for it before calling.
EncryptionStart startEncryption(const MailboxAccount& account, const std::string& passphrase,
                                const IniSettings& settings);

}  // namespace parvola
