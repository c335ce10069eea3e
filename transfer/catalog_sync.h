#pragma once
// The catalog's trip through the mailbox: after every change the catalog file
// is zipped and mailed to the mailbox; at login the newest usable catalog mail
// is loaded over the local file; after every download only the ten newest
// catalog mails are kept. "Newest" is the highest version the subject
// carries (then the newer time), whatever order the mailbox keeps.
#include <string>
#include <vector>

#include "catalog/catalog_base.h"
#include "mail/mailbox_account.h"
#include "mail/mailbox_failure.h"

namespace parvola {

// Results of SyncCatalog.
constexpr int kSyncLoaded = 0;         // load: a catalog was loaded
constexpr int kSyncNoCatalog = 65535;  // load: no usable catalog mail; trim: done
constexpr int kSyncFailed = -1;        // connection, STAT or a header read failed

// How many catalog mails of a user a trim keeps.
constexpr int kKeptCatalogMails = 10;

enum class SyncMode { Load = 0, Trim = 1 };

// "PARVOLCONFIG<version>;<time>;<login address>"
std::string CatalogSubject(int version, long long time, const std::string& loginAddress);

// Reads a catalog subject: the "PARVOLCONFIG" tag, a decimal version, ";",
// decimal seconds, ";", and the login address (the rest of the subject).
// False for anything else, piece subjects included.
bool parseCatalogSubject(const std::string& subject, int& version, long long& time,
                         std::string& loginAddress);
// True when `subject` is a catalog subject whose address is exactly `user`.
bool isCatalogSubjectOf(const std::string& subject, const std::string& user);

class MailboxIndex;

// One catalog mail of a user in a mailbox session: its message number and
// what its subject says.
struct CatalogMail {
    int number = 0;
    int version = 0;
    long long time = 0;
};
// The catalog mails of `user` among the messages `index` knows (every
// subject must be known: readAll), highest version first, the newer subject
// time first between equal versions.
std::vector<CatalogMail> catalogMailsByVersion(const MailboxIndex& index, const std::string& user);

// Names of the user's catalog files: user + "_config", user + "_config.zip".
std::string catalogFileName(const std::string& user);
std::string catalogZipName(const std::string& user);

// Zips the user's catalog file into a new archive named catalogZipName(user)
// in `folder` (the application directory when empty), replacing an old one.
// Its path, or the empty text when it could not be made.
std::string ZipCatalog(const std::string& user, const std::string& folder = std::string());

// Unpacks the catalog from the archive at `zipPath` (the application
// directory's catalog zip when empty) and puts it in place of the user's
// catalog file, under the catalog's lock. True only when the archive held the
// entry whole and the unpacked catalog has a user name; otherwise the catalog
// file is left exactly as it was.
//
// The load from the mailbox asks for UnlessLocalIsNewer: a local catalog with
// a higher Version holds changes another process or thread saved a moment
// ago whose catalog mail is still on its way; it stays (and the call answers
// true: the newest catalog there is, is in place).
//
// `mailed`, when given, names the catalog mail the archive came from: a
// catalog put in place then becomes the base of later merges
// (catalog/catalog_base.h).
enum class CatalogReplacement { Always, UnlessLocalIsNewer };
bool UnzipCatalog(const std::string& user, const std::string& zipPath = std::string(),
                  CatalogReplacement rule = CatalogReplacement::Always,
                  const CatalogBase* mailed = nullptr);

// Before a catalog mail goes out: a catalog mail of the user that ranks above
// this application directory's base is another computer's change (or this
// directory's own, whose answer was lost), and is merged into the local
// catalog (catalog/catalog_merge.h), which gets a version above both.
struct CatalogCatchUp {
    enum class Outcome {
        UpToDate,   // nothing above the base: the local catalog goes as it is
        Merged,     // the local catalog now holds both sides' changes
        KeptApart,  // no merge was possible: the other catalog was saved aside
        Failed,     // the mailbox could not be read
    };
    Outcome outcome = Outcome::UpToDate;
    std::vector<std::string> conflicts;  // Merged: what the user is told
    std::string keptPath;                // KeptApart: where the other catalog is
    bool pendingArrived = false;         // the pending mail is in the mailbox
    std::string failureText;             // Failed: what failed, in words
    MailboxFailure failureKind = MailboxFailure::None;
};
// `pending`, when given, is a catalog mail of this directory whose store
// ended without an answer: found in the mailbox, it becomes the base first.
CatalogCatchUp catchUpWithMailbox(const std::string& user, const MailboxAccount& account,
                                  const CatalogBase* pending = nullptr);

// Loads the usable catalog mail of `user` with the highest version, or trims
// the mailbox to the ten highest versions, over POP3 with the account's host, port and mailbox
// credentials. `failureText`, when given, receives what failed in words after kSyncFailed (the
// server, the step, the system's or the server's words).
int SyncCatalog(const std::string& user, const MailboxAccount& account, SyncMode mode,
                std::string* failureText = nullptr);

// The login's catalog step after VerifyLogin: load from the mailbox when the
// account's catalog flag is set (a new catalog when none is found), else a new
// catalog. 0 lets the login go on; -1 ends it. `createdNew`, when given, tells
// whether a new catalog was made (it is mailed once the account is logged in).
// `failureText` as SyncCatalog's.
int CatalogLoginStep(const MailboxAccount& account, bool* createdNew = nullptr,
                     std::string* failureText = nullptr);

// Installs the catalog mail worker as the catalog's after-save hook (once per
// process, by whoever starts the engine: the desktop client, the command line,
// tests). The catalog's other hooks stay as they are.
void installCatalogMailWorker();

}  // namespace parvola
