#include "transfer/mailbox_index.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/app_dir.h"
#include "platform/private_files.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCacheFolder = "mailbox_index";
constexpr const char* kCacheMagic = "parvola-subjects 1";

uint64_t fnv1a(const std::string& text) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

bool sameFile(const PieceSubject& a, const PieceSubject& b) {
    return a.tag == b.tag && a.fileName == b.fileName && a.fileId == b.fileId;
}

// Reads "<length>\n" followed by that many bytes and "\n".
bool readCounted(std::istream& in, std::string& text) {
    size_t length = 0;
    if (!(in >> length) || in.get() != '\n' || length > (1u << 20))
        return false;
    text.resize(length);
    in.read(text.data(), static_cast<std::streamsize>(length));
    return in.gcount() == static_cast<std::streamsize>(length) && in.get() == '\n';
}

void writeCounted(std::ostream& out, const std::string& text) {
    out << text.size() << '\n';
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out << '\n';
}

}  // namespace

std::string mailboxCacheName(const MailboxAccount& account) {
    // An IMAP folder's ids (UIDVALIDITY/UID) mean nothing in another folder
    // or on the POP3 side of the same mailbox, so each has a cache of its own.
    if (account.reader == MailboxReader::Imap)
        return "imap:" + account.mailboxUser + "@" + account.imapHost + ":" +
               std::to_string(account.imapPort) + "/" + account.mailFolder;
    return account.mailboxUser + "@" + account.pop3Host + ":" + std::to_string(account.pop3Port);
}

std::string mailboxCachePath(const std::string& cacheName) {
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.subjects",
                  static_cast<unsigned long long>(fnv1a(cacheName)));
    return appPath(kCacheFolder) + "/" + name;
}

MailboxIndex::MailboxIndex(Mailbox& mailbox, std::string cacheName)
    : mailbox_(mailbox), cacheName_(std::move(cacheName)) {}

bool MailboxIndex::open() {
    const int count = mailbox_.messageCount();
    if (count < 0)
        return false;
    entries_.assign(static_cast<size_t>(count), Entry());
    lowestKnown_ = count + 1;
    ids_.clear();
    cache_.clear();
    if (cacheName_.empty() || count == 0)
        return true;
    // No stable ids, or a listing that does not fit the count: no cache.
    if (!mailbox_.stableIds(ids_) || ids_.size() != entries_.size()) {
        ids_.clear();
        return true;
    }
    loadCache();
    return true;
}

void MailboxIndex::loadCache() {
    std::ifstream in(mailboxCachePath(cacheName_), std::ios::binary);
    if (!in.is_open())
        return;
    std::string magic, name;
    if (!std::getline(in, magic) || magic != kCacheMagic || !readCounted(in, name) ||
        name != cacheName_) {
        return;
    }
    std::string id;
    while (in >> id) {
        Cached cached;
        if (!(in >> cached.size) || in.get() != ' ' || !readCounted(in, cached.subject)) {
            cache_.clear();  // damaged: trust none of it
            return;
        }
        cache_[id] = std::move(cached);
    }
}

bool MailboxIndex::learn(int number) {
    Entry& entry = entries_[index(number)];
    uint32_t size = 0;
    if (!mailbox_.messageSize(number, size))
        return false;
    bool found = false;
    if (!ids_.empty()) {
        // Same id and same size: the message the subject was read from.
        const auto it = cache_.find(ids_[index(number)]);
        if (it != cache_.end() && it->second.size == size) {
            entry.subject = it->second.subject;
            found = true;
            ++cacheHits_;
        }
    }
    if (!found) {
        if (!mailbox_.readSubject(number, entry.subject))
            return false;
        ++headersRead_;
        if (!ids_.empty())
            cache_[ids_[index(number)]] = Cached{size, entry.subject};
    }
    entry.known = true;
    entry.piece = looksLikePieceSubject(entry.subject);
    if (entry.piece)
        entry.parsed = parseSubject(entry.subject);
    return true;
}

int MailboxIndex::findPiece(const PieceSubject& wanted, int below) {
    // Newest first: the first match is the newest one. Headers are read
    // downwards only as far as a search needs, and only once per session.
    for (int number = std::min(messageCount(), below - 1); number >= 1; --number) {
        if (number < lowestKnown_) {
            if (!learn(number))
                return -1;
            lowestKnown_ = number;
        }
        const Entry& entry = entries_[index(number)];
        if (entry.piece && sameFile(entry.parsed, wanted) &&
            entry.parsed.pieceIndex == wanted.pieceIndex)
            return number;
    }
    return -1;
}

bool MailboxIndex::reach(int target) {
    for (int number = lowestKnown_ - 1; number >= target && number >= 1; --number) {
        if (!learn(number))
            return false;
        lowestKnown_ = number;
    }
    return true;
}

bool MailboxIndex::saveCache() const {
    if (cacheName_.empty() || ids_.empty())
        return false;
    const std::string path = mailboxCachePath(cacheName_);
    std::error_code error;
    // The subjects name the user's files: the cache is the owner's alone.
    createPrivateFolders(fs::path(path).parent_path().string());
    // Written aside and renamed: a reader sees the old cache or the new one.
    static std::atomic<unsigned> serial{0};
    const std::string scratch =
        path + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(++serial);
    {
        if (!createPrivateFile(scratch))
            return false;
        std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
        if (!out.is_open())
            return false;
        out << kCacheMagic << '\n';
        writeCounted(out, cacheName_);
        // Only messages still in the mailbox, with what this session knows.
        for (size_t i = 0; i < ids_.size(); ++i) {
            const auto it = cache_.find(ids_[i]);
            if (it == cache_.end())
                continue;
            out << ids_[i] << ' ' << it->second.size << ' ';
            writeCounted(out, it->second.subject);
        }
        out.flush();
        if (!out.good()) {
            out.close();
            fs::remove(scratch, error);
            return false;
        }
    }
    fs::rename(scratch, path, error);
    if (error) {
        fs::remove(scratch, error);
        return false;
    }
    return true;
}

}  // namespace parvola
