#pragma once
// The store mail: one mail from the mailbox to itself carrying one attachment.
// Pieces of stored files and the zipped catalog both travel this way.
#include <string>

#include "mail/progress_sink.h"
#include "platform/tls_settings.h"

namespace parvola {

struct StoreMail {
    std::string smtpHost;
    int smtpPort = 25;
    TlsSettings smtpTls;   // how the connection is secured: the account's smtpTls
    std::string userName;  // AUTH LOGIN credentials
    std::string password;
    std::string subject;  // also the text of the HTML part
    std::string sender;
    std::string recipient;
    std::string bodyText;
    std::string attachmentPath;  // empty: no attachment; the mail carries the file's own name
    std::string extraRecipient;  // empty: none
    int taskId = 0;              // the task-list row that sees the progress; 0 or -1: none
    ProgressSink* progress = nullptr;
    // When given, receives the server's own words when it refused the mail
    // ("552 5.3.4 Message size exceeds...", "452 4.2.2 Mailbox full"), or why
    // TLS failed; empty after a success. For the worker to show the user.
    std::string* failureReply = nullptr;
};

// Composes and sends the mail in its own SMTP session. 0 on success, -1 when
// the connection to the SMTP host fails, otherwise the send result (a reply
// code, or kTransferCancelledCode when the progress sink asked to stop).
int SendStoreMail(const StoreMail& mail);

}  // namespace parvola
