#pragma once
// Finding a stored file's piece mails in the mailbox, by parsing each
// message's subject and comparing fields (never by a prefix or the first
// hit): fetching one piece, and deleting every piece of a purged file.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "mail/mailbox.h"
#include "mail/mailbox_account.h"
#include "mail/progress_sink.h"
#include "transfer/mailbox_index.h"

namespace parvola {

// Result of a fetch whose piece was retrieved but differs from the digest its
// mail carries: the mail was changed in the mailbox, and a retry reads the
// same changed bytes again.
inline constexpr int kPieceAlteredCode = -2;
// Result of a fetch that read every subject of the mailbox and found no mail
// of the piece: it was deleted from the mailbox (a retry cannot help).
inline constexpr int kPieceMissingCode = -3;

// The number of the newest message whose piece subject has the tag, file
// name, file id and piece index of `subject` (time, length, reserved text and
// count are not compared); catalog mails never match, in the session
// `mailbox` has open. -1 when none matches, no session is open or a header
// read fails.
int FindPieceMessage(Mailbox& mailbox, const std::string& subject);

// One mailbox session for all the pieces of a download: it logs in at the first
// fetch, reads each header at most once for all the searches together (and
// with the mailbox's subject cache, only headers it has not seen before),
// then retrieves piece after piece. A session idle for longer than a server
// may keep it (a pause) is replaced by a new one before the next fetch.
class PieceSession {
  public:
    explicit PieceSession(const MailboxAccount& account);
    // Saves the subject cache and logs out.
    ~PieceSession();
    PieceSession(const PieceSession&) = delete;
    PieceSession& operator=(const PieceSession&) = delete;

    // Finds the newest piece mail matching `subject` (tag, file name, file id,
    // piece index) whose attachment checks against its digest (an older copy
    // when a newer one fails the check) and writes it into `folder`, reporting the
    // retrieval to `sink` under `taskId`. Results as FetchPiece, and
    // kPieceAlteredCode when every copy of the piece differs from the digest
    // of its mail (nothing of it is left in `folder`), kPieceMissingCode when
    // the whole mailbox holds no mail of the piece; after a
    // failure the session is dropped and the next fetch starts a new one.
    int fetch(const std::string& subject, const std::string& folder, int taskId,
              ProgressSink* sink);
    // The same with the piece's decoded bytes handed to `output` while they
    // arrive (Mailbox::streamAttachment); -1 also when the output refused
    // them, which the output tells apart.
    int fetchInto(const std::string& subject, AttachmentOutput& output, int taskId,
                  ProgressSink* sink);
    // Saves the subject cache and ends the session (QUIT over POP3).
    void close();
    // What the last failed fetch met, in words (Mailbox::failureText).
    std::string failureText() const { return mailbox_->failureText(); }
    // Whether another try can help after a fetch that answered -1
    // (Mailbox::failureKind); None after any other answer.
    MailboxFailure failureKind() const { return failureKind_; }

    // Subjects read from the mailbox (TOP over POP3) over the life of this object.
    int headersRead() const { return headersRead_ + (index_ ? index_->headersRead() : 0); }

  private:
    // The search of fetch(), each copy found handed to `save`.
    int fetchWith(const std::string& subject,
                  const std::function<AttachmentSave(int number)>& save);
    bool ensureOpen();
    void drop();
    bool knownAltered(int number) const;
    void rememberAltered(int number);

    std::string cacheName_;
    std::unique_ptr<Mailbox> mailbox_;
    // Present while a session is open.
    std::optional<MailboxIndex> index_;
    std::chrono::steady_clock::time_point lastUse_;
    int headersRead_ = 0;
    MailboxFailure failureKind_ = MailboxFailure::None;
    // Copies whose digest did not check: by stable id across sessions, by
    // number within the session when the server gives no ids.
    std::set<std::string> alteredIds_;
    std::set<int> alteredNumbers_;
};

// True when the mailbox holds a copy of the piece named by `subject` whose
// attachment checks against its digest (it is read back into a scratch
// folder, which goes away). A store that broke off after the server had the
// whole mail may still have stored it: the piece need not go out again.
bool ValidPieceCopyInMailbox(const MailboxAccount& account, const std::string& subject);

// One mailbox session: finds the piece named by `subject` and writes its
// attachment into `folder`, reporting the retrieval to `sink` under `taskId`.
// 0 on success; -1 when the connection fails or a subject cannot be read;
// kPieceMissingCode when no message of the mailbox matches;
// kPieceAlteredCode when the piece read back differs from its mail's digest;
// otherwise the attachment saving's result (kTransferCancelledCode when `sink` stopped it).
int FetchPiece(const MailboxAccount& account, const std::string& subject, const std::string& folder,
               int taskId, ProgressSink* sink);

// Deletes every piece mail of the file named by `subject` (same tag, file
// name, file id and piece count) in one mailbox session. The number of mails
// deleted, or -1 on a failure; a failure abandons the session, so the
// mailbox deletes nothing at all.
int RemovePieceMails(const MailboxAccount& account, const std::string& subject);

}  // namespace parvola
