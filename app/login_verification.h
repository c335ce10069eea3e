#pragma once
// The first step of a login: the web service checks the typed address and
// tells which mailbox holds the store and with what password; the provider
// table then chooses the mailbox's servers. Nothing is shown here: the login
// flow above turns the outcome into the user's message.
#include "mail/mailbox_account.h"

namespace parvola {

enum class LoginVerification {
    Verified,            // the account is filled in and its servers chosen
    ServiceUnreachable,  // the web service could not be asked, or answered nonsense
    WrongPassword,       // unknown address or a password that differs from the record
};

// Asks the web service about `account.typedAddress` and compares the
// password on record with `account.typedPassword` (byte for byte). On
// Verified the mailbox address, its password, the catalog flag, the login
// address and the servers are set; otherwise the account is left as it was.
LoginVerification verifyLogin(MailboxAccount& account);

}  // namespace parvola
