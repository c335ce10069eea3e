#pragma once
// The secret a mailbox login sends: the password kept in the account record,
// or one fetched for this very login (a password command, an OAuth 2 token
// helper) and then forgotten. A fetched secret the server refuses (a token
// that expired) is fetched once more and the login tried again; a second
// refusal stands.
#include <functional>
#include <string>

#include "mail/mailbox_account.h"

namespace parvola {

// How one login with a secret ended.
enum class SecretAttempt { Done, Refused, Failed };

// Fetches with `fetch` and hands the secret to `attempt`, once more after a
// refusal. `failure` says why when the result is not Done and the reason is
// the fetch or the second refusal (a failed attempt keeps its own words).
SecretAttempt loginWithFreshSecret(const std::function<bool(std::string&, std::string&)>& fetch,
                                   const std::function<SecretAttempt(const std::string&)>& attempt,
                                   std::string& failure);

// The same for an account: with its fetchSecret when it has one, else once
// with its kept password.
SecretAttempt loginWithAccountSecret(
    const MailboxAccount& account, const std::function<SecretAttempt(const std::string&)>& attempt,
    std::string& failure);

// "password command" or "token command": what the failure of a fetch is
// told as.
const char* secretSourceName(const MailboxAccount& account);

}  // namespace parvola
