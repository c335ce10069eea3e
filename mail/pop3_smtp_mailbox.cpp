#include "mail/pop3_smtp_mailbox.h"

#include "mail/mime_reader_text.h"
#include "mail/piece_digest.h"
#include "mail/progress_sink.h"
#include "mail/smtp_client.h"

namespace parvola {

Pop3SmtpMailbox::Pop3SmtpMailbox(const MailboxAccount& account) : account_(account) {}

Pop3SmtpMailbox::~Pop3SmtpMailbox() = default;

bool Pop3SmtpMailbox::open() {
    abandon();
    auto pop3 = std::make_unique<Pop3Connection>();
    pop3->setTls(account_.pop3Tls);
    if (!pop3->Connect(account_.pop3Host, account_.mailboxUser, account_.mailboxPassword,
                       account_.pop3Port))
        return false;
    int count = 0, total = 0;
    // A session whose listing failed is dropped without QUIT: nothing is
    // marked in it, and a server that stopped answering is not waited for
    // once more.
    if (!pop3->Statistics(count, total) || count < 0)
        return false;
    pop3_ = std::move(pop3);
    count_ = count;
    return true;
}

int Pop3SmtpMailbox::messageCount() const {
    return pop3_ ? count_ : -1;
}

bool Pop3SmtpMailbox::stableIds(std::vector<std::string>& ids) {
    return pop3_ && pop3_->GetUniqueIds(ids);
}

bool Pop3SmtpMailbox::messageSize(int number, uint32_t& size) {
    return pop3_ && pop3_->GetMessageSize(number, size);
}

bool Pop3SmtpMailbox::readSubject(int number, std::string& subject) {
    std::string header;
    if (!pop3_ || !pop3_->GetMessageHeader(number, header))
        return false;
    subject = MimeMessageText(std::move(header)).GetSubject();
    return true;
}

AttachmentSave Pop3SmtpMailbox::saveAttachments(int number, const std::string& folder, int taskId,
                                                ProgressSink* sink) {
    if (!pop3_)
        return AttachmentSave::Failed;
    const int result = pop3_->DownloadAttachments(number, folder, taskId, sink);
    if (result == 0)
        return AttachmentSave::Saved;
    if (result == kTransferCancelledCode)
        return AttachmentSave::Cancelled;
    // The attachment writer leaves its refusal of a changed piece as the
    // connection's last reply.
    return isPieceDigestRefusal(pop3_->lastReply()) ? AttachmentSave::Altered
                                                    : AttachmentSave::Failed;
}

bool Pop3SmtpMailbox::markDeleted(int number) {
    return pop3_ && pop3_->Delete(number);
}

bool Pop3SmtpMailbox::close() {
    if (!pop3_)
        return false;
    // QUIT carries out the DELE commands of the session. A connection that
    // already broke off sends nothing and only closes its socket.
    const bool confirmed = pop3_->Disconnect();
    pop3_.reset();
    return confirmed;
}

void Pop3SmtpMailbox::abandon() {
    pop3_.reset();  // closes the socket without QUIT
}

int Pop3SmtpMailbox::store(const StoreMail& mail, std::string* failureReply) {
    SmtpMessage message = composeStoreMail(mail, account_.mailboxAddress);
    SmtpClient smtp;
    smtp.setPort(account_.smtpPort);
    smtp.setTls(account_.smtpTls);
    smtp.setCredentials(account_.mailboxUser, account_.mailboxPassword);
    if (!smtp.Connect(account_.smtpHost)) {
        smtp.Close();
        if (failureReply != nullptr)
            *failureReply = smtp.failureReply();
        return -1;
    }
    const int result = smtp.SendMessage(message, mail.taskId, mail.progress);
    smtp.Close();
    if (failureReply != nullptr)
        *failureReply = result == 0 ? std::string() : smtp.failureReply();
    return result;
}

}  // namespace parvola
