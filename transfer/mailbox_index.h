#pragma once
// The subjects of a mailbox's messages, read once per session and
// remembered between sessions.
//
// A piece search reads subjects from the newest message down, and every
// subject it has read is kept, so the searches for all pieces of a file
// together read each header at most once. Subjects are also kept in a cache
// file per mailbox in the application directory, keyed by the message's
// stable id (UIDL over POP3) and its size: the next session reads headers
// only of messages it has not seen before. A mailbox without stable ids, or
// a cache that does not fit, simply means the headers are read again.
#include <climits>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "mail/mailbox.h"
#include "mail/mailbox_account.h"
#include "transfer/piece_subject.h"

namespace parvola {

class MailboxIndex {
  public:
    // Indexes the session `mailbox` has open. `cacheName` names the
    // mailbox's cache file (mailboxCacheName); empty means no cache at all.
    explicit MailboxIndex(Mailbox& mailbox, std::string cacheName = std::string());

    // Takes the session's message count, then (with a cache name) the stable
    // ids and the cache file. False when the mailbox has no session open;
    // missing ids or an unreadable cache only turn the cache off.
    bool open();

    int messageCount() const { return static_cast<int>(entries_.size()); }

    // The newest message whose piece subject has the tag, file name, file id
    // and piece index of `wanted` (texts compared byte for byte); catalog
    // mails never match. -1 when none matches or a header read fails first.
    // With `below`, only messages numbered below it are looked at: the next
    // older copy of a piece stored twice.
    int findPiece(const PieceSubject& wanted, int below = INT_MAX);

    // Makes the subjects of messages `number` and up known (from the newest
    // down, as a search would). False when a header read fails.
    bool reach(int number);
    // Reads every subject not known yet. False when a header read fails.
    bool readAll() { return reach(1); }
    // True once every message's subject is known: a search that then found
    // nothing looked at the whole mailbox.
    bool knowsAll() const { return lowestKnown_ <= 1; }
    // The subject text of message `number` (known through reach or a search).
    const std::string& subject(int number) const { return entries_[index(number)].subject; }
    // Whether message `number` carries a piece subject, and that subject
    // parsed (only for messages readAll or a search has reached).
    bool isPiece(int number) const { return entries_[index(number)].piece; }
    const PieceSubject& pieceSubject(int number) const { return entries_[index(number)].parsed; }

    // The stable id of message `number`; empty without stable ids.
    std::string stableId(int number) const {
        return ids_.empty() ? std::string() : ids_[index(number)];
    }

    // Writes what is known into the cache file (replacing it whole), when
    // the server gave unique ids. False when that could not be done.
    bool saveCache() const;

    // How many subjects were read from the mailbox (TOP over POP3), and how
    // many came from the cache.
    int headersRead() const { return headersRead_; }
    int cacheHits() const { return cacheHits_; }
    bool hasUniqueIds() const { return !ids_.empty() || entries_.empty(); }

  private:
    struct Entry {
        bool known = false;
        bool piece = false;
        std::string subject;
        PieceSubject parsed;
    };
    struct Cached {
        uint32_t size = 0;
        std::string subject;
    };

    static size_t index(int number) { return static_cast<size_t>(number) - 1; }
    // Makes message `number` known: from the cache or by reading its subject.
    bool learn(int number);
    void loadCache();

    Mailbox& mailbox_;
    std::string cacheName_;
    std::vector<Entry> entries_;
    std::vector<std::string> ids_;  // by number; empty without stable ids
    std::unordered_map<std::string, Cached> cache_;
    int lowestKnown_ = 1;  // messages from here up are known
    int headersRead_ = 0;
    int cacheHits_ = 0;
};

// The cache name of the account's mailbox: user, host and port (and, for an
// IMAP account, the folder).
std::string mailboxCacheName(const MailboxAccount& account);
// Where the cache file of `cacheName` lives.
std::string mailboxCachePath(const std::string& cacheName);

}  // namespace parvola
