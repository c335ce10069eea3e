#pragma once
// Where the transfer engine gets the mailbox of an account: every read,
// store and deletion of the engine goes through the Mailbox this returns,
// never through a protocol client of its own.
//
// The choice of implementation is made here, above the mail layer, because
// it is the one place that knows every kind of mailbox the engine can use:
// today each account is read over POP3 and stored into over SMTP; an
// account reached by IMAP gets its own implementation from the same call.
// Tests replace the factory to watch what the engine asks of the mailbox.
#include <functional>
#include <memory>

#include "mail/mailbox.h"
#include "mail/mailbox_account.h"

namespace parvola {

using MailboxFactory = std::function<std::unique_ptr<Mailbox>(const MailboxAccount& account)>;

// A new mailbox object for the account, with no session open.
std::unique_ptr<Mailbox> mailboxFor(const MailboxAccount& account);

// Replaces how mailboxes are made, for the whole process (safe from any
// thread); an empty factory restores the default. Returns the previous one.
MailboxFactory setMailboxFactory(MailboxFactory factory);

}  // namespace parvola
