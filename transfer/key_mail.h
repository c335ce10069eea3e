#pragma once
// The key mail: the account's wrapped data key (crypto/key_wrap) kept in the
// mailbox itself, so any computer that reaches the mailbox opens the
// encrypted store with nothing but the passphrase. Its subject is
//
//   PARVOLCONFIGKEY;<time>;<login address>
//
// which holds "PARVOL" (the IMAP search lists it) but no catalog version,
// so neither the catalog load nor its trim nor the piece search take it for
// theirs. The wrapped key travels as the attachment "parvola_key.txt". The
// newest key mail of an address (by the time in its subject) is the one read.
#include <string>

#include "crypto/key_wrap.h"
#include "mail/mailbox_account.h"

namespace parvola {

enum class KeyMailResult {
    Ok,
    NotEncrypted,      // no key mail of this address: a plain account
    AlreadyEncrypted,  // encryption asked for an account that has a key mail
    WrongPassphrase,   // the key mail does not open with this passphrase
    Damaged,           // a key mail whose attachment is not a wrapped key we read
    Refused,           // an empty passphrase
    MailboxFailed,     // the mailbox could not be read, or the key mail not stored
};

std::string keyMailSubject(long long time, const std::string& loginAddress);
// False for anything but a key mail subject; catalog and piece subjects too.
bool parseKeyMailSubject(const std::string& subject, long long& time, std::string& loginAddress);

// Makes the account encrypted from now on: a fresh data key, wrapped under
// `passphrase` and stored as the key mail; the account is unlocked in this
// process. Nothing stored before is touched. AlreadyEncrypted, and nothing
// stored, when the account has a key mail. The caller then mails the catalog
// anew (mailCatalogNow): the catalog mails before it are plain, and an
// encrypted account loads only a sealed one.
KeyMailResult enableEncryption(const MailboxAccount& account, const std::string& passphrase,
                               const KdfParams& params = KdfParams());

// Reads the account's key mail and opens it: Ok unlocks the account in this
// process; NotEncrypted leaves it plain; WrongPassphrase marks it locked.
// Writes nothing to the mailbox, and nothing to the application directory
// unless the account opened or is plain: only then are the subjects it read
// kept in the mailbox's subject cache. The key mail is read in memory.
KeyMailResult unlockEncryption(const MailboxAccount& account, const std::string& passphrase);

// Only whether the account has a key mail (NotEncrypted or Ok), without a
// passphrase; Ok marks it locked in this process unless it is unlocked. A
// lookup that leaves the account locked writes nothing.
KeyMailResult detectEncryption(const MailboxAccount& account);

// Wraps the same data key under `newPassphrase` and stores it as the newest
// key mail, then removes the older key mails it sees (removeOldKeyMails). The
// stored pieces and catalogs stay as they are. `oldKeyMailsLeft`, when given,
// tells whether an older key mail (which the old passphrase still opens) is
// still in the mailbox: the new mail had not arrived yet when it looked.
KeyMailResult changePassphrase(const MailboxAccount& account, const std::string& oldPassphrase,
                               const std::string& newPassphrase,
                               const KdfParams& params = KdfParams(),
                               bool* oldKeyMailsLeft = nullptr);

class MailboxIndex;
// Marks the account locked when the session `index` reads (every subject
// known) holds a key mail of `loginAddress` and this process took the
// account for a plain one: the catalog load at login calls it, so a process
// that was never told of the encryption sends nothing in clear.
void noteKeyMails(const MailboxIndex& index, const std::string& loginAddress);

// Deletes every key mail of the address but the newest. The number of key
// mails left (1 when done), or -1 when the mailbox could not be read.
int removeOldKeyMails(const MailboxAccount& account);

}  // namespace parvola
