#pragma once
// The mailbox of an account reached as the providers offer it: read over
// POP3, stored into over SMTP (a mail from the mailbox to itself).
//
// A session is one POP3 connection: open() is USER, PASS and STAT; stable
// ids are the UIDL listing, sizes the LIST listing, a subject the header of
// TOP n 20; deletions are DELE, carried out by the QUIT of close(), and
// forgotten by the server when the connection is dropped without QUIT
// (abandon). Each store is an SMTP session of its own.
#include <memory>
#include <string>
#include <vector>

#include "mail/mailbox.h"
#include "mail/mailbox_account.h"
#include "mail/pop3_connection.h"

namespace parvola {

class Pop3SmtpMailbox : public Mailbox {
  public:
    // Uses the account's POP3 and SMTP hosts, ports and security, its
    // mailbox user name and password, and its mailbox address.
    explicit Pop3SmtpMailbox(const MailboxAccount& account);
    // An open session is dropped without QUIT.
    ~Pop3SmtpMailbox() override;
    Pop3SmtpMailbox(const Pop3SmtpMailbox&) = delete;
    Pop3SmtpMailbox& operator=(const Pop3SmtpMailbox&) = delete;

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
    // The SIZE of the SMTP server's EHLO reply, without a login.
    uint64_t storeSizeLimit() override;
    std::string failureText() const override { return failure_; }
    MailboxFailure failureKind() const override { return failureKind_; }

  private:
    // Describes the POP3 connection's failure at `step` in failure_.
    void pop3Failed(const Pop3Connection& pop3, const char* step);
    // What a retrieval into attachments that answered `result` means.
    AttachmentSave attachmentSave(int result);

    MailboxAccount account_;
    // The session's connection; none between sessions, so each session
    // starts with nothing remembered of the last one.
    std::unique_ptr<Pop3Connection> pop3_;
    int count_ = 0;  // from the session's STAT
    std::string failure_;
    MailboxFailure failureKind_ = MailboxFailure::None;
};

}  // namespace parvola
