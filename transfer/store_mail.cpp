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
    CSmtpMessage message;
    message.Sender = CSmtpAddress(mail.sender);
    message.Recipient = CSmtpAddress(mail.recipient);
    if (!mail.extraRecipient.empty())
        message.ToList.emplace_back(mail.extraRecipient);
    message.Subject = mail.subject;
    message.Bodies.emplace_back(kFillerParagraph, "text/plain", "iso-8859-1");
    message.Bodies.emplace_back("<html><body>" + mail.bodyText + "</body></html>@", "text/html",
                                "iso-8859-1");
    if (!mail.attachmentPath.empty()) {
        message.Files.emplace_back(mail.attachmentPath);
        // The reader checks the piece it writes against this digest.
        std::string digest;
        if (sha256HexOfFile(mail.attachmentPath, digest))
            message.addHeader(kPieceDigestHeader, digest);
    }

    CSmtp smtp;
    smtp.Port = mail.smtpPort;
    smtp.Tls = mail.smtpTls;
    smtp.UserName = mail.userName;
    smtp.Password = mail.password;
    if (!smtp.Connect(mail.smtpHost)) {
        smtp.Close();
        if (mail.failureReply != nullptr)
            *mail.failureReply = smtp.FailureReply;
        return -1;
    }
    int result = smtp.SendMessage(message, mail.taskId, mail.progress);
    smtp.Close();
    if (mail.failureReply != nullptr)
        *mail.failureReply = result == 0 ? std::string() : smtp.FailureReply;
    return result;
}

}  // namespace parvola
