#include "mail/store_mail.h"

#include "mail/piece_digest.h"

namespace parvola {
namespace {

// Nothing reads this part back; it tells a person who opens the mail in a web
// mail reader what the mail is for.
constexpr const char* kFillerParagraph =
    "This message holds part of a file kept in this mailbox by Parvola. "
    "Please do not delete it, or the file can no longer be read back.";

}  // namespace

SmtpMessage composeStoreMail(const StoreMail& mail, const std::string& mailboxAddress) {
    SmtpMessage message;
    message.setSender(SmtpAddress(mailboxAddress));
    message.setRecipient(SmtpAddress(mailboxAddress));
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
    return message;
}

std::string storeMailText(const StoreMail& mail, const std::string& mailboxAddress) {
    std::string text;
    composeStoreMail(mail, mailboxAddress).GetMessageText(text);
    return text;
}

}  // namespace parvola
