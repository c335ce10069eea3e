#pragma once
// The mailbox of an account read over IMAP, stored into by APPEND (or over
// SMTP, as the account says).
//
// A session is one IMAP connection with the account's mail folder selected.
// open() searches the folder once, server-side, for the messages whose
// subject holds "PARVOL" (every piece subject does, and catalog subjects
// begin with it) and not flagged deleted; the session's messages 1..N are
// those UIDs in ascending order, so the newest is N as over POP3. The
// search only narrows: the transfer engine confirms every subject exactly.
// Stable ids are "UIDVALIDITY/UID", so the subject cache of a second session
// holds for every message still there and nothing is read twice. Sizes
// (RFC822.SIZE) come for all messages in one go, subjects
// (BODY.PEEK[HEADER.FIELDS (SUBJECT)]) in batches of the next messages
// downwards, the order in which the piece search reads them. A batch starts
// at one subject and doubles (up to kSubjectBatch) while the reads go on
// right below the last batch: the engine asks only for subjects its cache
// does not hold, so a second session with a few new messages asks for little
// more than those, and a first session for all in a few commands.
//
// Deletions are by UID: the marked messages are flagged \Deleted when the
// session closes and expunged by UID EXPUNGE where the server has UIDPLUS.
// Without UIDPLUS only a plain EXPUNGE is left, which would also remove
// whatever another client flagged: it is sent only when the folder's
// flagged messages are exactly ours; otherwise ours stay flagged (every
// later search leaves them out) until someone expunges the folder.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mail/imap_connection.h"
#include "mail/mailbox.h"
#include "mail/mailbox_account.h"

namespace parvola {

class AttachmentWriter;

class ImapMailbox : public Mailbox {
  public:
    // Subjects read per command at most.
    static constexpr size_t kSubjectBatch = 64;
    // UIDs named per command (sizes, flags), so a command line stays short.
    static constexpr size_t kUidsPerCommand = 1000;
    // What the search asks for.
    static constexpr const char* kSearchCriteria = "UNDELETED SUBJECT \"PARVOL\"";

    // Uses the account's IMAP host, port, security and mail folder, its
    // mailbox user name and password; stores by its store route.
    explicit ImapMailbox(const MailboxAccount& account);
    // An open session is dropped without LOGOUT.
    ~ImapMailbox() override;
    ImapMailbox(const ImapMailbox&) = delete;
    ImapMailbox& operator=(const ImapMailbox&) = delete;

    bool open() override;
    int messageCount() const override;
    bool stableIds(std::vector<std::string>& ids) override;
    bool messageSize(int number, uint32_t& size) override;
    bool readSubject(int number, std::string& subject) override;
    AttachmentSave saveAttachments(int number, const std::string& folder, int taskId,
                                   ProgressSink* sink) override;
    AttachmentSave streamAttachment(int number, AttachmentOutput& output, int taskId,
                                    ProgressSink* sink) override;
    bool markDeleted(int number) override;
    bool close() override;
    void abandon() override;
    int store(const StoreMail& mail, std::string* failureReply = nullptr) override;
    uint64_t storeSizeLimit() override;
    std::string failureText() const override { return failure_; }
    MailboxFailure failureKind() const override { return failureKind_; }

    // Commands the current (or last) session has sent, for the measurements.
    int sessionCommands() const { return commands_ + (imap_ ? imap_->commandsSent() : 0); }

  private:
    // Fetches message `number` into `writer` and finishes it.
    AttachmentSave fetchInto(int number, int taskId, ProgressSink* sink, AttachmentWriter& writer);

    struct Message {
        uint32_t uid = 0;
        bool hasSize = false;
        uint32_t size = 0;
        bool hasSubject = false;
        std::string subject;
    };

    // A connection logged in to the account's server; null on failure (with
    // failure_ set).
    std::unique_ptr<ImapConnection> connect();
    void imapFailed(const ImapConnection& imap, const char* step);
    bool valid(int number) const;
    // The message with `uid` among the session's; null when it is none.
    Message* byUid(uint32_t uid);
    // Sizes of every message, asked in commands of kUidsPerCommand UIDs.
    bool fetchSizes();
    // Subjects (and sizes) of `number` and the messages below it not known yet.
    bool fetchSubjects(int number);

    MailboxAccount account_;
    std::unique_ptr<ImapConnection> imap_;
    uint32_t uidValidity_ = 0;
    std::vector<Message> messages_;  // the session's, by number - 1
    std::vector<uint32_t> marked_;
    size_t batch_ = 1;    // the next batch's size when the reads go on below
    int belowBatch_ = 0;  // the number right below the last batch
    int commands_ = 0;
    std::string failure_;
    MailboxFailure failureKind_ = MailboxFailure::None;
};

}  // namespace parvola
