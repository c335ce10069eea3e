#pragma once
// The mailbox as the transfer engine uses it, whatever protocol reaches it:
// the messages with their sizes, stable ids and subjects, one message's
// attachments written into a folder (checked against the digest the mail
// carries), one store mail added, messages deleted.
//
// The line runs here because the transfer engine decides *which* mail to
// read, keep or delete (the subject index and its cache, the piece search,
// the catalog trim) and the mail layer decides *how* the mailbox is reached.
// Pop3SmtpMailbox reads over POP3 and stores over SMTP. A mailbox reached by
// IMAP answers the same calls: UIDs (with the folder's UIDVALIDITY) as
// stable ids, a header fetch for the subject, APPEND for a store, and the
// UIDs marked for deletion flagged and expunged when the session closes.
//
// Reading happens in sessions. open() logs in and takes the listing: the
// messages are numbered 1 (oldest) to messageCount() (newest), and the
// numbers stay as they are until the session ends, whatever arrives
// meanwhile. Deletions marked in a session are carried out only when it ends
// with close(); a session that is abandoned, breaks off or whose object is
// destroyed deletes nothing. After a session has ended, open() starts a new
// one. store() needs no session and leaves an open one as it is.
//
// One object is used by one thread at a time. No call throws.
#include <cstdint>
#include <string>
#include <vector>

#include "mail/attachment_output.h"
#include "mail/mailbox_failure.h"
#include "mail/store_mail.h"

namespace parvola {

class ProgressSink;

// How saving one message's attachments ended.
enum class AttachmentSave {
    Saved,      // every attachment is in the folder, each matching its digest
    Failed,     // no connection, the retrieval broke off, or a file could not be written
    Altered,    // a file differs from the digest its mail carries: changed in the mailbox
    Cancelled,  // the progress sink asked to stop; the session has ended
};

class Mailbox {
  public:
    virtual ~Mailbox() = default;

    // Logs in and takes the listing. False when the server cannot be
    // reached, refuses the login or the listing; no session is open then.
    virtual bool open() = 0;
    // The number of messages in the session's listing; -1 without a session.
    virtual int messageCount() const = 0;

    // The id of every message, ids[n - 1] for message n, that names the same
    // message in later sessions. False when the server gives none (they are
    // optional in POP3) or a listing that does not fit; nothing is cached then.
    virtual bool stableIds(std::vector<std::string>& ids) = 0;
    // The size of message `number` in bytes.
    virtual bool messageSize(int number, uint32_t& size) = 0;
    // The subject of message `number` in UTF-8, read without the body.
    virtual bool readSubject(int number, std::string& subject) = 0;
    // Writes each attachment of message `number` into `folder` under the
    // (made safe) file name the mail gives, while the message arrives;
    // progress goes to `sink` under `taskId` (no reports with a null sink).
    // A file that does not arrive whole or differs from its digest is not
    // left in the folder.
    virtual AttachmentSave saveAttachments(int number, const std::string& folder, int taskId,
                                           ProgressSink* sink) = 0;
    // The same for the first attachment only, its decoded bytes handed to
    // `output` while the message arrives; nothing is written to disk here.
    // Failed as well when the output refused a block (it knows why).
    virtual AttachmentSave streamAttachment(int number, AttachmentOutput& output, int taskId,
                                            ProgressSink* sink) = 0;
    // Marks message `number` for deletion when the session closes.
    virtual bool markDeleted(int number) = 0;

    // Ends the session, carrying out the deletions marked in it. False when
    // no session was open or the server did not confirm the end.
    virtual bool close() = 0;
    // Ends the session at once without deleting anything.
    virtual void abandon() = 0;

    // Puts one store mail into the mailbox, in a connection of its own. 0 on
    // success; -1 when the server cannot be reached or the connection not
    // secured; kTransferCancelledCode when the mail's progress sink asked to stop;
    // otherwise the server's refusal as its reply code. `failureReply`, when given,
    // receives the server's own words for a refusal (or why a secured
    // connection failed), and is emptied on success.
    virtual int store(const StoreMail& mail, std::string* failureReply = nullptr) = 0;

    // The largest store mail, in bytes on the wire, that the server says it
    // takes (SMTP's SIZE, IMAP's APPENDLIMIT), asked in a connection of its
    // own; 0 when the server does not say or cannot be reached. Piece sizes
    // of direct accounts are chosen below it.
    virtual uint64_t storeSizeLimit() { return 0; }

    // What the last failed call met, for the user: the server ("POP3
    // pop.example.org:995"), the step (connect, TLS verification, login,
    // list, retrieve, greeting, send) and the system's or the server's words.
    // Empty when the last call did not fail or the mailbox cannot tell.
    virtual std::string failureText() const { return {}; }
    // Whether another try can help after the last failed call (open, a
    // listing, a header, saveAttachments returning Failed, store): what the
    // server answered classified by the functions of mail/mailbox_failure.h,
    // Transient for a connection that broke. None when the last call did
    // not fail. An implementation that cannot tell answers None, and the
    // engine then treats the failure as permanent.
    virtual MailboxFailure failureKind() const { return MailboxFailure::None; }
};

}  // namespace parvola
