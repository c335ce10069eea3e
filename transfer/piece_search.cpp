#include "transfer/piece_search.h"

#include <climits>

#include "transfer/catalog_scratch.h"
#include "transfer/mailbox_factory.h"
#include "transfer/piece_subject.h"
#include "transfer/transfer_task.h"

namespace parvola {
namespace {

// Longest idle time after which a session is not trusted to be alive any
// more: servers may end a session after ten idle minutes.
constexpr auto kSessionIdleLimit = std::chrono::seconds(60);

// The transfer engine's result of a fetch whose attachments were saved as
// `save` tells.
int fetchResult(AttachmentSave save) {
    switch (save) {
        case AttachmentSave::Saved:
            return 0;
        case AttachmentSave::Cancelled:
            return kTransferCancelledCode;
        case AttachmentSave::Altered:
            return kPieceAlteredCode;
        case AttachmentSave::Failed:
            break;
    }
    return -1;
}

}  // namespace

int FindPieceMessage(Mailbox& mailbox, const std::string& subject) {
    MailboxIndex index(mailbox);
    if (!index.open())
        return -1;
    return index.findPiece(parseSubject(subject));
}

PieceSession::PieceSession(const MailboxAccount& account)
    : cacheName_(mailboxCacheName(account)), mailbox_(mailboxFor(account)) {}

PieceSession::~PieceSession() {
    close();
}

bool PieceSession::ensureOpen() {
    const auto now = std::chrono::steady_clock::now();
    if (index_ && now - lastUse_ > kSessionIdleLimit)
        close();
    lastUse_ = now;
    if (index_)
        return true;
    if (!mailbox_->open())
        return false;
    index_.emplace(*mailbox_, cacheName_);
    if (!index_->open()) {
        drop();
        return false;
    }
    return true;
}

void PieceSession::drop() {
    // Numbers name messages only within their session.
    alteredNumbers_.clear();
    if (index_)
        headersRead_ += index_->headersRead();
    index_.reset();
    mailbox_->abandon();
}

void PieceSession::close() {
    if (!index_)
        return;
    index_->saveCache();
    mailbox_->close();
    drop();
}

bool PieceSession::knownAltered(int number) const {
    const std::string id = index_->stableId(number);
    return id.empty() ? alteredNumbers_.count(number) != 0 : alteredIds_.count(id) != 0;
}

void PieceSession::rememberAltered(int number) {
    const std::string id = index_->stableId(number);
    if (id.empty())
        alteredNumbers_.insert(number);
    else
        alteredIds_.insert(id);
}

int PieceSession::fetch(const std::string& subject, const std::string& folder, int taskId,
                        ProgressSink* sink) {
    return fetchWith(subject, [&](int number) {
        return mailbox_->saveAttachments(number, folder, taskId, sink);
    });
}

int PieceSession::fetchInto(const std::string& subject, AttachmentOutput& output, int taskId,
                            ProgressSink* sink) {
    return fetchWith(subject, [&](int number) {
        return mailbox_->streamAttachment(number, output, taskId, sink);
    });
}

int PieceSession::fetchWith(const std::string& subject,
                            const std::function<AttachmentSave(int number)>& save) {
    failureKind_ = MailboxFailure::None;
    if (!ensureOpen()) {
        failureKind_ = mailbox_->failureKind();
        return -1;
    }
    const PieceSubject wanted = parseSubject(subject);
    // A piece whose store was tried again may be in the mailbox more than
    // once: the newest copy whose digest checks is taken, and a copy that
    // fails the check sends the search on to the next older one.
    bool altered = false;
    for (int below = INT_MAX;;) {
        const int number = index_->findPiece(wanted, below);
        if (number <= 0) {
            // Every subject read and no (other) copy of the piece: the mail
            // is gone or every copy was changed, which no network problem
            // explains.
            const bool searchedAll = index_->knowsAll();
            if (!searchedAll)
                failureKind_ = mailbox_->failureKind();
            // What was read stays useful to the next session.
            index_->saveCache();
            drop();
            if (!searchedAll)
                return -1;
            return altered ? kPieceAlteredCode : kPieceMissingCode;
        }
        below = number;
        if (knownAltered(number)) {
            altered = true;
            continue;
        }
        const AttachmentSave saved = save(number);
        lastUse_ = std::chrono::steady_clock::now();
        if (saved == AttachmentSave::Saved)
            return 0;
        if (saved == AttachmentSave::Altered) {
            rememberAltered(number);
            altered = true;
            continue;
        }
        if (saved == AttachmentSave::Failed)
            failureKind_ = mailbox_->failureKind();
        index_->saveCache();
        drop();
        return fetchResult(saved);
    }
}

bool ValidPieceCopyInMailbox(const MailboxAccount& account, const std::string& subject) {
    CatalogScratch scratch;
    if (!scratch.ok())
        return false;
    PieceSession session(account);
    return session.fetch(subject, scratch.path(), -1, nullptr) == 0;
    // The copy read back goes away with the scratch folder.
}

int FetchPiece(const MailboxAccount& account, const std::string& subject, const std::string& folder,
               int taskId, ProgressSink* sink) {
    PieceSession session(account);
    return session.fetch(subject, folder, taskId, sink);
}

int RemovePieceMails(const MailboxAccount& account, const std::string& subject) {
    const std::unique_ptr<Mailbox> mailbox = mailboxFor(account);
    if (!mailbox->open())
        return -1;
    const PieceSubject wanted = parseSubject(subject);
    MailboxIndex index(*mailbox, mailboxCacheName(account));
    // Every subject is known before anything is marked, and a failure
    // abandons the session, which forgets the deletions marked so far: a
    // file loses all its pieces or none.
    if (!index.open() || !index.readAll()) {
        mailbox->abandon();
        return -1;
    }
    index.saveCache();
    int deleted = 0;
    for (int number = index.messageCount(); number >= 1; --number) {
        if (!index.isPiece(number))
            continue;
        const PieceSubject& candidate = index.pieceSubject(number);
        if (candidate.tag != wanted.tag || candidate.fileName != wanted.fileName ||
            candidate.fileId != wanted.fileId || candidate.pieceCount != wanted.pieceCount)
            continue;
        if (!mailbox->markDeleted(number)) {
            mailbox->abandon();
            return -1;
        }
        ++deleted;
    }
    // Closing the session carries out the deletions.
    return mailbox->close() ? deleted : -1;
}

}  // namespace parvola
