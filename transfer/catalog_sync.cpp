#include "transfer/catalog_sync.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "catalog/catalog.h"
#include "catalog/catalog_merge.h"
#include "catalog/xml/text_file.h"
#include "catalog/xml/xml_doc.h"
#include "platform/app_dir.h"
#include "platform/file_lock.h"
#include "transfer/account_keys.h"
#include "transfer/catalog_encryption.h"
#include "transfer/catalog_scratch.h"
#include "transfer/key_mail.h"
#include "transfer/mailbox_factory.h"
#include "transfer/mailbox_index.h"
#include "zip/zip_pack.h"

namespace parvola {
namespace {

constexpr const char kCatalogTag[] = "PARVOLCONFIG";

// Reads an optionally signed decimal number at `pos`, moving past it.
bool readNumber(const std::string& text, size_t& pos, long long& value) {
    size_t start = pos;
    bool negative = pos < text.size() && text[pos] == '-';
    if (negative)
        ++pos;
    size_t digits = pos;
    long long result = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (result > (INT64_MAX - 9) / 10)
            return false;
        result = result * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == digits) {
        pos = start;
        return false;
    }
    value = negative ? -result : result;
    return true;
}

// True when the catalog file at `path` reads as a document with a named user;
// `version`, when given, receives its change counter.
bool catalogFileHasUser(const std::string& path, long long* version = nullptr) {
    std::string bytes, diagnostic;
    if (!readFileBytes(path, bytes, diagnostic))
        return false;
    XmlDoc doc;
    doc.loadBytes(std::move(bytes));
    doc.resetPosition();
    if (!doc.findNext("User") || doc.attribute("Name").empty())
        return false;
    if (version != nullptr) {
        const std::string text = doc.attribute("Version");
        size_t pos = 0;
        if (!readNumber(text, pos, *version))
            *version = 0;
    }
    return true;
}

// Every change of the catalog counts itself in the catalog's lock file, so
// that Catalog objects loaded earlier read the file again before they change
// it. A catalog put in place from the mailbox is such a change.
void countCatalogReplacement(const std::string& lockPath) {
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
    uint64_t count = 0;
    if (::pread(fd, &count, sizeof count, 0) != static_cast<ssize_t>(sizeof count))
        count = 0;
    ++count;
    if (::pwrite(fd, &count, sizeof count, 0) != static_cast<ssize_t>(sizeof count)) {
        // Nothing more to do: the new file's own stamp still tells it apart.
    }
    ::close(fd);
}

// Moves the checked, unpacked catalog over the user's catalog file while no
// Catalog of this or another process is in the middle of a change.
bool installCatalogFile(const std::string& user, const std::string& unpacked,
                        CatalogReplacement rule, const CatalogBase* origin) {
    const std::string target = appPath(catalogFileName(user));
    const std::string lockPath = target + ".lock";
    FileLock lock(lockPath);
    // A local catalog that has seen more changes than the mailed one holds
    // changes whose catalog mail is still on its way (another process or
    // thread saved them a moment ago): putting the older one over it would
    // lose them. It stays, and counts as loaded: it is the newest there is.
    long long mailed = 0, local = 0;
    if (rule == CatalogReplacement::UnlessLocalIsNewer && catalogFileHasUser(unpacked, &mailed) &&
        catalogFileHasUser(target, &local) && local > mailed)
        return true;
    std::error_code error;
    std::string text, diagnostic;
    const bool readable = origin != nullptr && readFileBytes(unpacked, text, diagnostic);
    std::filesystem::rename(unpacked, target, error);
    if (error)
        return false;
    countCatalogReplacement(lockPath);
    if (readable) {
        // The catalog in place is the mailbox's: local changes start from it.
        CatalogBase base = *origin;
        base.text = std::move(text);
        resetCatalogBase(user, base);
    }
    return true;
}

// The catalog document in the archive of catalog mail `number`, retrieved
// into a scratch folder of its own.
bool retrieveCatalogText(Mailbox& mailbox, int number, const std::string& user, std::string& text) {
    CatalogScratch scratch;
    if (!scratch.ok())
        return false;
    if (mailbox.saveAttachments(number, scratch.path(), -1, nullptr) != AttachmentSave::Saved ||
        !openCatalogFromMail(user, scratch.file(catalogZipName(user))))
        return false;
    const std::string name = catalogFileName(user);
    if (unpackFileFromZip(scratch.file(catalogZipName(user)), scratch.path(), name) !=
        ZipResult::Ok)
        return false;
    std::string diagnostic;
    return readFileBytes(scratch.file(name), text, diagnostic);
}

// The catalog text with its User's Version raised above `version` (when
// it is not already).
std::string withVersionAbove(const std::string& text, int version) {
    XmlDoc doc;
    doc.setText(text);
    doc.resetPosition();
    if (!doc.findNext("User"))
        return text;
    size_t pos = 0;
    long long own = 0;
    if (!readNumber(doc.attribute("Version"), pos, own))
        own = 0;
    if (own > version)
        return text;
    doc.setAttribute("Version", static_cast<long long>(version) + 1);
    return doc.text();
}

// Writes the merged catalog over the local one under the catalog's lock,
// counted as a change so Catalog objects loaded before read it again.
bool installMergedText(const std::string& catalogPath, const std::string& text) {
    if (!writeFileAtomically(catalogPath, text))
        return false;
    countCatalogReplacement(catalogPath + ".lock");
    return true;
}

}  // namespace

std::vector<CatalogMail> catalogMailsByVersion(const MailboxIndex& index, const std::string& user) {
    std::vector<CatalogMail> mails;
    for (int n = 1; n <= index.messageCount(); ++n) {
        CatalogMail mail;
        std::string address;
        // Only this user's catalog mails: piece mails and the catalog mails of
        // other login addresses sharing the mailbox are neither loaded nor counted.
        if (!parseCatalogSubject(index.subject(n), mail.version, mail.time, address) ||
            address != user)
            continue;
        mail.number = n;
        mails.push_back(mail);
    }
    // Highest version first; between equal versions the newer time, and
    // between equal subjects the later arrival.
    std::sort(mails.begin(), mails.end(), [](const CatalogMail& a, const CatalogMail& b) {
        if (a.version != b.version)
            return a.version > b.version;
        if (a.time != b.time)
            return a.time > b.time;
        return a.number > b.number;
    });
    return mails;
}

std::string CatalogSubject(int version, long long time, const std::string& loginAddress) {
    char head[64];
    std::snprintf(head, sizeof head, "%s%d;%lld;", kCatalogTag, version, time);
    return head + loginAddress;
}

bool parseCatalogSubject(const std::string& subject, int& version, long long& time,
                         std::string& loginAddress) {
    const std::string tag = kCatalogTag;
    if (subject.compare(0, tag.size(), tag) != 0)
        return false;
    size_t pos = tag.size();
    long long number = 0, seconds = 0;
    if (!readNumber(subject, pos, number) || number < INT32_MIN || number > INT32_MAX)
        return false;
    if (pos >= subject.size() || subject[pos] != ';')
        return false;
    ++pos;
    if (!readNumber(subject, pos, seconds))
        return false;
    if (pos >= subject.size() || subject[pos] != ';')
        return false;
    ++pos;
    if (pos >= subject.size())
        return false;
    version = static_cast<int>(number);
    time = seconds;
    loginAddress = subject.substr(pos);
    return true;
}

bool isCatalogSubjectOf(const std::string& subject, const std::string& user) {
    int version = 0;
    long long time = 0;
    std::string address;
    return parseCatalogSubject(subject, version, time, address) && address == user;
}

std::string catalogFileName(const std::string& user) {
    return user + "_config";
}

std::string catalogZipName(const std::string& user) {
    return user + "_config.zip";
}

std::string ZipCatalog(const std::string& user, const std::string& folder) {
    const std::string archive =
        folder.empty() ? appPath(catalogZipName(user)) : folder + "/" + catalogZipName(user);
    // The pack writes beside the archive and renames, so a reader of the
    // archive path sees the old archive or the new one, never half of one.
    if (packFileToZip(appPath(catalogFileName(user)), archive) != ZipResult::Ok)
        return std::string();
    return archive;
}

bool UnzipCatalog(const std::string& user, const std::string& zipPath, CatalogReplacement rule,
                  const CatalogBase* mailed) {
    const std::string archive = zipPath.empty() ? appPath(catalogZipName(user)) : zipPath;
    std::error_code error;
    if (!std::filesystem::is_regular_file(archive, error))
        return false;
    // Unpacked aside first: the catalog file is replaced only by a catalog
    // that unpacked whole and names its user.
    CatalogScratch scratch;
    if (!scratch.ok())
        return false;
    const std::string name = catalogFileName(user);
    if (unpackFileFromZip(archive, scratch.path(), name) != ZipResult::Ok)
        return false;
    const std::string unpacked = scratch.file(name);
    if (!catalogFileHasUser(unpacked))
        return false;
    return installCatalogFile(user, unpacked, rule, mailed);
}

int SyncCatalog(const std::string& user, const MailboxAccount& account, SyncMode mode,
                std::string* failureText) {
    const std::unique_ptr<Mailbox> mailbox = mailboxFor(account);
    auto failed = [&] {
        if (failureText != nullptr)
            *failureText = mailbox->failureText();
        return kSyncFailed;
    };
    if (!mailbox->open())
        return failed();
    // Subjects come from the mailbox's subject cache where it knows them, so
    // the trim after every download reads only the headers of new mails.
    MailboxIndex index(*mailbox, mailboxCacheName(account));
    if (!index.open()) {
        mailbox->close();
        return failed();
    }
    // Providers do not keep the order in which mails arrived, so the
    // catalog is chosen by the version its subject carries (the newer time
    // between equal versions), never by its place in the mailbox.
    if (!index.readAll()) {
        // Closing still carries out nothing: no deletion is marked yet.
        index.saveCache();
        mailbox->close();
        return failed();
    }
    noteKeyMails(index, user);
    // A store this process cannot open leaves nothing of it here, not even
    // the subjects read: a wrong or missing passphrase writes no file.
    if (accountEncryption(user) != AccountEncryption::Locked)
        index.saveCache();
    const std::vector<CatalogMail> mails = catalogMailsByVersion(index, user);
    if (mode == SyncMode::Load) {
        for (const CatalogMail& mail : mails) {
            // Each load retrieves into a folder of its own, so a catalog mail
            // worker zipping at the same time never meets this archive.
            CatalogScratch scratch;
            if (!scratch.ok()) {
                mailbox->close();
                return kSyncFailed;
            }
            const bool retrieved = mailbox->saveAttachments(mail.number, scratch.path(), -1,
                                                            nullptr) == AttachmentSave::Saved;
            CatalogBase mailed;
            mailed.version = mail.version;
            mailed.time = mail.time;
            if (retrieved && openCatalogFromMail(user, scratch.file(catalogZipName(user))) &&
                UnzipCatalog(user, scratch.file(catalogZipName(user)),
                             CatalogReplacement::UnlessLocalIsNewer, &mailed)) {
                mailbox->close();
                return kSyncLoaded;
            }
            // Damaged, foreign or unreadable: try the next lower version.
        }
    } else {
        for (size_t i = static_cast<size_t>(kKeptCatalogMails); i < mails.size(); ++i)
            mailbox->markDeleted(mails[i].number);
    }
    mailbox->close();
    return kSyncNoCatalog;
}

CatalogCatchUp catchUpWithMailbox(const std::string& user, const MailboxAccount& account,
                                  const CatalogBase* pending) {
    CatalogCatchUp result;
    const std::unique_ptr<Mailbox> mailbox = mailboxFor(account);
    auto failed = [&] {
        result.outcome = CatalogCatchUp::Outcome::Failed;
        result.failureText = mailbox->failureText();
        result.failureKind = mailbox->failureKind();
        mailbox->close();
        return result;
    };
    if (!mailbox->open())
        return failed();
    MailboxIndex index(*mailbox, mailboxCacheName(account));
    if (!index.open() || !index.readAll())
        return failed();
    index.saveCache();
    const std::vector<CatalogMail> mails = catalogMailsByVersion(index, user);
    const std::string catalogPath = appPath(catalogFileName(user));
    const std::string lockPath = catalogPath + ".lock";
    CatalogBase base;
    bool haveBase = false;
    {
        FileLock lock(lockPath);
        if (pending != nullptr) {
            for (const CatalogMail& mail : mails) {
                if (mail.version == pending->version && mail.time == pending->time) {
                    noteCatalogBase(user, *pending);
                    result.pendingArrived = true;
                    break;
                }
            }
        }
        haveBase = readCatalogBase(user, base);
    }
    for (const CatalogMail& mail : mails) {
        if (haveBase && !ranksAbove(mail.version, mail.time, base))
            break;
        std::string remote;
        if (!retrieveCatalogText(*mailbox, mail.number, user, remote)) {
            if (mailbox->failureKind() != MailboxFailure::None)
                return failed();
            continue;  // damaged or foreign: the next one down may do
        }
        mailbox->close();
        FileLock lock(lockPath);
        std::string local, diagnostic;
        if (!readFileBytes(catalogPath, local, diagnostic))
            return result;  // no local catalog: nothing of this side to keep
        CatalogBase seen;
        seen.version = mail.version;
        seen.time = mail.time;
        if (!haveBase) {
            // A catalog kept before merges were known: it was loaded from the
            // mailbox or mailed from here, so a mail not above its version is
            // where it came from, not another computer's change.
            long long localVersion = 0;
            if (catalogFileHasUser(catalogPath, &localVersion) && mail.version <= localVersion) {
                seen.text = std::move(remote);
                noteCatalogBase(user, seen);
                return result;
            }
        }
        CatalogMerge merge = mergeCatalogs(haveBase ? base.text : std::string(), local, remote);
        if (merge.outcome == CatalogMergeOutcome::Merged) {
            if (!installMergedText(catalogPath, merge.text))
                return result;  // the local catalog goes out as it is; next time again
            result.outcome = CatalogCatchUp::Outcome::Merged;
            result.conflicts = std::move(merge.conflicts);
            seen.text = std::move(remote);
        } else {
            // Both stay: the other's beside this computer's, and this
            // computer's, with a version above the other's, is the one the
            // next login anywhere loads.
            result.keptPath =
                catalogPath + ".v" + std::to_string(mail.version) + "-" + std::to_string(mail.time);
            if (!writeFileAtomically(result.keptPath, remote) ||
                !installMergedText(catalogPath, withVersionAbove(local, mail.version)))
                return result;
            result.outcome = CatalogCatchUp::Outcome::KeptApart;
            // Nothing is known in common with the other catalog's line of
            // changes: a later merge with it counts everything as added.
            seen.text.clear();
        }
        // The other side's catalog is in the mailbox and in the local one
        // now: later changes start from it.
        noteCatalogBase(user, seen);
        return result;
    }
    mailbox->close();
    return result;
}

int CatalogLoginStep(const MailboxAccount& account, bool* createdNew, std::string* failureText) {
    if (createdNew)
        *createdNew = false;
    const std::string& user = account.loginAddress;
    if (account.catalogFlag != 0) {
        int result = SyncCatalog(user, account, SyncMode::Load, failureText);
        if (result != kSyncNoCatalog)
            return result;
        // A key mail was seen and the key is not at hand: the sealed catalogs
        // could not be opened, which is not the same as having none. A new
        // empty catalog here would hide the store from this computer.
        if (accountEncryption(user) == AccountEncryption::Locked) {
            if (failureText != nullptr)
                *failureText = "the store of " + user + " is encrypted: its passphrase is needed";
            return kSyncFailed;
        }
    }
    Catalog catalog(user);
    catalog.createNew(user);
    {
        // No catalog in the mailbox: another computer's first catalog, mailed
        // at the same moment, has nothing in common with this one, and merges
        // as all added.
        FileLock lock(appPath(catalogFileName(user)) + ".lock");
        resetCatalogBase(user, CatalogBase());
    }
    if (createdNew)
        *createdNew = true;
    return 0;
}

}  // namespace parvola
