#include "transfer/piece_search.h"

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

int PieceSession::fetch(const std::string& subject, const std::string& folder, int taskId,
                        ProgressSink* sink) {
    if (!ensureOpen())
        return -1;
    const int number = index_->findPiece(parseSubject(subject));
    if (number <= 0) {
        // Every subject read and none of them the piece's: the mail is gone,
        // which no network problem explains.
        const bool missing = index_->knowsAll();
        // What was read stays useful to the next session.
        index_->saveCache();
        drop();
        return missing ? kPieceMissingCode : -1;
    }
    const int result = fetchResult(mailbox_->saveAttachments(number, folder, taskId, sink));
    lastUse_ = std::chrono::steady_clock::now();
    if (result != 0) {
        index_->saveCache();
        drop();
    }
    return result;
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
