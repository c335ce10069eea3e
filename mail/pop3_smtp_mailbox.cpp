#include "mail/pop3_smtp_mailbox.h"

#include <strings.h>

#include "mail/failure_text.h"
#include "mail/login_secret.h"
#include "mail/mime_reader_text.h"
#include "mail/piece_digest.h"
#include "mail/progress_sink.h"
#include "mail/smtp_store.h"

namespace parvola {

Pop3SmtpMailbox::Pop3SmtpMailbox(const MailboxAccount& account) : account_(account) {}

void Pop3SmtpMailbox::pop3Failed(const Pop3Connection& pop3, const char* step) {
    // A refused secure channel has its reason; a "-ERR" has the server's
    // words; anything else is the socket's error.
    const int code = pop3.lastError();
    std::string words = oneLine(pop3.lastReply());
    if (words.empty())
        words = socketErrorText(code);
    failure_ =
        serverLabel("POP3", account_.pop3Host, account_.pop3Port) + ", " + step + ": " + words;
    // A "-ERR" is the server's answer; anything else is the connection's.
    // A reply cut short by a broken connection is not an answer.
    const bool answered = code == kErrorBadReply && pop3.lastReply().size() >= 4 &&
                          strncasecmp(pop3.lastReply().c_str(), "-ERR", 4) == 0;
    failureKind_ = answered ? classifyMailboxAnswer(pop3.lastReply())
                            : classifyConnectionError(code, pop3.lastReply());
}

Pop3SmtpMailbox::~Pop3SmtpMailbox() = default;

bool Pop3SmtpMailbox::open() {
    abandon();
    failure_.clear();
    failureKind_ = MailboxFailure::None;
    std::unique_ptr<Pop3Connection> pop3;
    std::string fetchFailure;
    const SecretAttempt login = loginWithAccountSecret(
        account_,
        [&](const std::string& secret) {
            auto attempt = std::make_unique<Pop3Connection>();
            attempt->setTls(account_.pop3Tls);
            attempt->setBearerToken(account_.bearerToken);
            if (attempt->Connect(account_.pop3Host, account_.mailboxUser, secret,
                                 account_.pop3Port)) {
                pop3 = std::move(attempt);
                return SecretAttempt::Done;
            }
            const int code = attempt->lastError();
            // The step shows in the code: a refused channel, a refused login
            // (a "-ERR" reply), or no connection at all.
            pop3Failed(*attempt, code == kErrorSecureChannel ? "TLS verification"
                                 : code == kErrorBadReply || code == kErrorPlaintextRefused
                                     ? "login"
                                     : "connect");
            return attempt->loginRefused() ? SecretAttempt::Refused : SecretAttempt::Failed;
        },
        fetchFailure);
    if (login != SecretAttempt::Done) {
        if (login == SecretAttempt::Failed && !fetchFailure.empty()) {
            // No secret to log in with: another try at once gets the same.
            failure_ = serverLabel("POP3", account_.pop3Host, account_.pop3Port) + ", " +
                       secretSourceName(account_) + ": " + fetchFailure;
            failureKind_ = MailboxFailure::Permanent;
        }
        return false;
    }
    int count = 0, total = 0;
    // A session whose listing failed is dropped without QUIT: nothing is
    // marked in it, and a server that stopped answering is not waited for
    // once more.
    if (!pop3->Statistics(count, total) || count < 0) {
        pop3Failed(*pop3, "list");
        return false;
    }
    pop3_ = std::move(pop3);
    count_ = count;
    return true;
}

int Pop3SmtpMailbox::messageCount() const {
    return pop3_ ? count_ : -1;
}

bool Pop3SmtpMailbox::stableIds(std::vector<std::string>& ids) {
    if (!pop3_)
        return false;
    if (pop3_->GetUniqueIds(ids))
        return true;
    pop3Failed(*pop3_, "list ids");
    return false;
}

bool Pop3SmtpMailbox::messageSize(int number, uint32_t& size) {
    if (!pop3_)
        return false;
    if (pop3_->GetMessageSize(number, size))
        return true;
    pop3Failed(*pop3_, "list");
    return false;
}

bool Pop3SmtpMailbox::readSubject(int number, std::string& subject) {
    std::string header;
    if (!pop3_)
        return false;
    if (!pop3_->GetMessageHeader(number, header)) {
        pop3Failed(*pop3_, "read header");
        return false;
    }
    subject = MimeMessageText(std::move(header)).GetSubject();
    return true;
}

AttachmentSave Pop3SmtpMailbox::saveAttachments(int number, const std::string& folder, int taskId,
                                                ProgressSink* sink) {
    if (!pop3_)
        return AttachmentSave::Failed;
    failure_.clear();
    failureKind_ = MailboxFailure::None;
    return attachmentSave(pop3_->DownloadAttachments(number, folder, taskId, sink));
}

AttachmentSave Pop3SmtpMailbox::streamAttachment(int number, AttachmentOutput& output, int taskId,
                                                 ProgressSink* sink) {
    if (!pop3_)
        return AttachmentSave::Failed;
    failure_.clear();
    failureKind_ = MailboxFailure::None;
    return attachmentSave(pop3_->StreamAttachment(number, output, taskId, sink));
}

AttachmentSave Pop3SmtpMailbox::attachmentSave(int result) {
    if (result == 0)
        return AttachmentSave::Saved;
    pop3Failed(*pop3_, "retrieve");
    if (result == kTransferCancelledCode)
        return AttachmentSave::Cancelled;
    // The attachment writer leaves its refusal of a changed piece as the
    // connection's last reply.
    return isPieceDigestRefusal(pop3_->lastReply()) ? AttachmentSave::Altered
                                                    : AttachmentSave::Failed;
}

bool Pop3SmtpMailbox::markDeleted(int number) {
    if (!pop3_)
        return false;
    if (pop3_->Delete(number))
        return true;
    pop3Failed(*pop3_, "delete");
    return false;
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
    return storeOverSmtp(account_, mail, failure_, failureKind_, failureReply);
}

uint64_t Pop3SmtpMailbox::storeSizeLimit() {
    return smtpSizeLimit(account_);
}

}  // namespace parvola
