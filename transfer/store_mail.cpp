#include "transfer/store_mail.h"

#include "mail/piece_digest.h"
#include "mail/smtp_client.h"
#include "mail/smtp_message.h"

namespace parvola {
namespace {

// Nothing reads this part back; it tells a person who opens the mail in a web
// mail reader what the mail is for.
constexpr const char* kFillerParagraph =
    "This message holds part of a file kept in this mailbox by Parvola. "
    "Please do not delete it, or the file can no longer be read back.";

}  // namespace

int SendStoreMail(const StoreMail& mail) {
    SmtpMessage message;
    message.setSender(SmtpAddress(mail.sender));
    message.setRecipient(SmtpAddress(mail.recipient));
    if (!mail.extraRecipient.empty())
        message.addRecipient(SmtpAddress(mail.extraRecipient));
    message.setSubject(mail.subject);
    message.addBody(SmtpMessageBody(kFillerParagraph, "text/plain", "iso-8859-1"));
    message.addBody(SmtpMessageBody("<html><body>" + mail.bodyText + "</body></html>@", "text/html",
                                    "iso-8859-1"));
    if (!mail.attachmentPath.empty()) {
        message.addFile(SmtpFilePart(mail.attachmentPath));
        // The reader checks the piece it writes against this digest.
        std::string digest;
        if (sha256HexOfFile(mail.attachmentPath, digest))
            message.addHeader(kPieceDigestHeader, digest);
    }

    SmtpClient smtp;
    smtp.setPort(mail.smtpPort);
    smtp.setTls(mail.smtpTls);
    smtp.setCredentials(mail.userName, mail.password);
    if (!smtp.Connect(mail.smtpHost)) {
        smtp.Close();
        if (mail.failureReply != nullptr)
            *mail.failureReply = smtp.failureReply();
        return -1;
    }
    int result = smtp.SendMessage(message, mail.taskId, mail.progress);
    smtp.Close();
    if (mail.failureReply != nullptr)
        *mail.failureReply = result == 0 ? std::string() : smtp.failureReply();
    return result;
}

}  // namespace parvola
