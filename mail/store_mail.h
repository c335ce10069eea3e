#pragma once
// The store mail: one mail from the mailbox to itself carrying one file.
// Pieces of stored files and the zipped catalog both travel this way. The
// composition lives here, apart from any transport, because every way of
// reaching a mailbox puts the same mail there: sent over SMTP, or added to
// the mailbox as it is where the server takes that.
#include <string>

#include "mail/smtp_message.h"

namespace parvola {

class ProgressSink;

struct StoreMail {
    std::string subject;         // the tagged subject by which the mail is found again
    std::string bodyText;        // the text of the HTML part (the subject, by custom)
    std::string attachmentPath;  // empty: no attachment; the mail carries the file's own name
    int taskId = 0;              // the task-list row that sees the progress; 0 or -1: none
    ProgressSink* progress = nullptr;
};

// The mail from `mailboxAddress` to the same address: a constant text part
// for a person who opens it in a web mail reader, the HTML part holding the
// body text, the file, and the SHA-256 of the file's bytes in the header the
// attachment reader checks the piece against.
SmtpMessage composeStoreMail(const StoreMail& mail, const std::string& mailboxAddress);

// The whole text of that mail, byte for byte what SMTP's DATA carries (without
// the end-of-data line): what is appended where the mail is added to the
// mailbox as it is.
std::string storeMailText(const StoreMail& mail, const std::string& mailboxAddress);

}  // namespace parvola
