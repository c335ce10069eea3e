#pragma once
// The store mail: one mail from the mailbox to itself carrying one attachment.
// Pieces of stored files and the zipped catalog both travel this way, into
// the account's mailbox through the mailbox seam (mailboxFor).
#include <string>

#include "mail/mailbox_account.h"
#include "mail/mailbox_failure.h"
#include "mail/store_mail.h"

namespace parvola {

// Puts `mail` into the account's mailbox in a connection of its own. 0 on
// success, -1 when the server cannot be reached, otherwise the server's
// refusal (a reply code, or kTransferCancelledCode when the mail's progress sink asked to
// stop). `failureReply`, when given, receives the server's own words for a
// refusal ("552 5.3.4 Message size exceeds...", "452 4.2.2 Mailbox full") or
// why TLS failed, for the worker to show the user; empty after a success.
// `failureText`, when given, receives what failed in words (the server, the
// step, the system's or the server's words: Mailbox::failureText).
// `failureKind`, when given, receives whether another try can help
// (Mailbox::failureKind; None after a success).
int SendStoreMail(const MailboxAccount& account, const StoreMail& mail,
                  std::string* failureReply = nullptr, std::string* failureText = nullptr,
                  MailboxFailure* failureKind = nullptr);

}  // namespace parvola
