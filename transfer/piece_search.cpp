#include "transfer/piece_search.h"

#include "mail/piece_digest.h"
#include "transfer/piece_subject.h"
#include "transfer/transfer_task.h"

namespace parvola {
namespace {

bool connectTo(Pop3Connection& connection, const MailboxAccount& account) {
    connection.setTls(account.pop3Tls);
    return connection.Connect(account.pop3Host, account.mailboxUser, account.mailboxPassword,
                              account.pop3Port);
}

// Longest idle time after which a session is not trusted to be alive any
// more: servers may end a session after ten idle minutes.
constexpr auto kSessionIdleLimit = std::chrono::seconds(60);

}  // namespace

int FindPieceMessage(Pop3Connection& connection, const std::string& subject) {
    MailboxIndex index(connection);
    if (!index.open())
        return -1;
    return index.findPiece(parseSubject(subject));
}

PieceSession::PieceSession(const MailboxAccount& account) : account_(account) {}

PieceSession::~PieceSession() {
    close();
}

bool PieceSession::ensureOpen() {
    const auto now = std::chrono::steady_clock::now();
    if (connection_ && now - lastUse_ > kSessionIdleLimit)
        close();
    lastUse_ = now;
    if (connection_)
        return true;
    connection_ = std::make_unique<Pop3Connection>();
    index_.emplace(*connection_, mailboxCacheName(account_));
    if (!connectTo(*connection_, account_) || !index_->open()) {
        drop();
        return false;
    }
    return true;
}

void PieceSession::drop() {
    if (index_)
        headersRead_ += index_->headersRead();
    index_.reset();
    connection_.reset();  // closes the socket without QUIT
}

void PieceSession::close() {
    if (!connection_)
        return;
    index_->saveCache();
    if (connection_->isConnected())
        connection_->Disconnect();
    drop();
}

int PieceSession::fetch(const std::string& subject, const std::string& folder, int taskId,
                        ProgressSink* sink) {
    if (!ensureOpen())
        return -1;
    const int number = index_->findPiece(parseSubject(subject));
    if (number <= 0) {
        // What was read stays useful to the next session.
        index_->saveCache();
        drop();
        return -1;
    }
    int result = connection_->DownloadAttachments(number, folder, taskId, sink);
    lastUse_ = std::chrono::steady_clock::now();
    if (result != 0) {
        if (result != kTransferCancelledCode && isPieceDigestRefusal(connection_->lastReply()))
            result = kPieceAlteredCode;
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
    Pop3Connection connection;
    if (!connectTo(connection, account))
        return -1;
    const PieceSubject wanted = parseSubject(subject);
    MailboxIndex index(connection, mailboxCacheName(account));
    // Every subject is known before anything is marked. Leaving without QUIT
    // after a failure makes the server forget the deletions marked so far:
    // a file loses all its pieces or none.
    if (!index.open() || !index.readAll())
        return -1;
    index.saveCache();
    int deleted = 0;
    for (int number = index.messageCount(); number >= 1; --number) {
        if (!index.isPiece(number))
            continue;
        const PieceSubject& candidate = index.pieceSubject(number);
        if (candidate.tag != wanted.tag || candidate.fileName != wanted.fileName ||
            candidate.fileId != wanted.fileId || candidate.pieceCount != wanted.pieceCount)
            continue;
        if (!connection.Delete(number))
            return -1;
        ++deleted;
    }
    // QUIT carries out the deletions.
    return connection.Disconnect() ? deleted : -1;
}

}  // namespace parvola
