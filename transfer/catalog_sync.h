#pragma once
// The catalog's trip through the mailbox: after every change the catalog file
// is zipped and mailed to the mailbox; at login the newest usable catalog mail
// is loaded over the local file; after every download only the ten newest
// catalog mails are kept.
#include <string>

#include "mail/mailbox_account.h"

namespace parvola {

// Results of SyncCatalog.
constexpr int kSyncLoaded = 0;         // load: a catalog was loaded
constexpr int kSyncNoCatalog = 65535;  // load: no usable catalog mail; trim: done
constexpr int kSyncFailed = -1;        // connection, STAT or a header read failed

enum class SyncMode { Load = 0, Trim = 1 };

// "PARVOLCONFIG<version>;<time>;<login address>"
std::string CatalogSubject(int version, long long time, const std::string& loginAddress);

// Path of the user's catalog zip, made afresh; empty when it could not be made.
std::string ZipCatalog(const std::string& user);
// Unpacks the user's catalog zip over the catalog file; true when the result
// has a user name.
bool UnzipCatalog(const std::string& user);

// Loads the newest usable catalog mail, or trims the mailbox to the ten newest.
int SyncCatalog(const std::string& user, const MailboxAccount& account, SyncMode mode);

// The login's catalog step after VerifyLogin: load from the mailbox when the
// account's catalog flag is set (a new catalog when none is found), else a new
// catalog. 0 lets the login go on; -1 ends it.
int CatalogLoginStep(const MailboxAccount& account);

// Installs the catalog mail worker as the catalog's after-save hook (once per
// process, by whoever starts the engine: the desktop client, the command line,
// tests).
void installCatalogMailWorker();

}  // namespace parvola
