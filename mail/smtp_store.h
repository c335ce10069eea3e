#pragma once
// A store mail sent over SMTP from the account's mailbox to itself: the one
// way both mailbox kinds use when a store goes over SMTP.
#include <cstdint>
#include <string>

#include "mail/mailbox_account.h"
#include "mail/mailbox_failure.h"
#include "mail/store_mail.h"

namespace parvola {

// Sends `mail` through the account's SMTP server, as Mailbox::store
// answers: 0, -1 (no connection, not secured), kTransferCancelledCode, or
// the refusal's reply code. `failureText` gets "SMTP host:port, step:
// words" for a failure (empty on success, and for a cancel), `failureKind`
// whether another try may help; `failureReply`, when given, the server's own
// words.
int storeOverSmtp(const MailboxAccount& account, const StoreMail& mail, std::string& failureText,
                  MailboxFailure& failureKind, std::string* failureReply);

// The SIZE the account's SMTP server announces in its EHLO reply (after TLS
// as for a store, without a login); 0 when it names none or cannot be reached.
uint64_t smtpSizeLimit(const MailboxAccount& account);

}  // namespace parvola
