#pragma once
// The command line's side of an encrypted account: the key mail looked at
// before the login loads the catalog (a sealed catalog opens only with the
// key), the passphrase asked for when one is there, and encryption turned on
// for an account, with the trade-off said and confirmed first.
#include <string>

#include "app/ini_settings.h"
#include "cli/cli_command.h"
#include "mail/mailbox_account.h"

namespace parvola::cli {

inline constexpr const char* kEncryptionTradeOff =
    "An encrypted store can no longer be read by clients that do not know its format.";

// Whether the key mail is worth a look before the login: the passphrase is
// at hand (an option, the keyring), this computer saw the store encrypted,
// or a login can ask on the terminal. A plain account is otherwise logged in
// as it always was, with no extra mailbox session; should its mailbox hold a
// key mail after all, the login stops (explainLockedLogin says why).
bool worthLookingForKeyMail(const std::string& address, const GlobalOptions& options, bool login);

// After a failed login: when the mailbox turned out to hold a key mail,
// says how to give the passphrase.
void explainLockedLogin(const std::string& address);

enum class StoreLock {
    Plain,     // no key mail, or the mailbox could not be read (the login says why)
    Unlocked,  // the key mail opened with the passphrase
    Refused,   // no passphrase, or a wrong one; the reason was printed, nothing written
};

// Looks for the account's key mail and opens it with the passphrase, which
// is asked for only when the mailbox has one; kept in the keyring when
// --remember-passphrase asks. `used` receives the passphrase that opened it.
StoreLock openEncryptedStore(const MailboxAccount& account, const GlobalOptions& options,
                             std::string* used = nullptr);

// States the trade-off and asks for confirmation on a terminal; `yes`
// stands for the answer. False, the reason printed, when nothing may go on.
// `declined` is what a "no" means for the command that asked.
bool confirmEncryption(bool yes, const std::string& declined = "not encrypted");
// Whether confirmEncryption can succeed at all; prints why not.
bool canConfirmEncryption(bool yes);

// Makes the logged-in `account` encrypted from now on: the key mail under a
// new passphrase, then the catalog mailed anew (sealed). Nothing stored
// before is stored again. Prints what it did; the exit code.
int turnEncryptionOn(const MailboxAccount& account, const GlobalOptions& options);

}  // namespace parvola::cli
