#include "mail/login_secret.h"

namespace parvola {
namespace {

// Clears a secret's bytes before its memory goes back.
void wipe(std::string& text) {
    volatile char* bytes = text.data();
    for (size_t i = 0; i < text.size(); ++i)
        bytes[i] = 0;
    text.clear();
}

}  // namespace

SecretAttempt loginWithFreshSecret(const std::function<bool(std::string&, std::string&)>& fetch,
                                   const std::function<SecretAttempt(const std::string&)>& attempt,
                                   std::string& failure) {
    for (int round = 0; round < 2; ++round) {
        std::string secret;
        if (!fetch(secret, failure)) {
            wipe(secret);
            return SecretAttempt::Failed;
        }
        const SecretAttempt result = attempt(secret);
        wipe(secret);
        if (result != SecretAttempt::Refused)
            return result;
    }
    failure = "the server refused the secret twice, the second time a fresh one";
    return SecretAttempt::Refused;
}

SecretAttempt loginWithAccountSecret(
    const MailboxAccount& account, const std::function<SecretAttempt(const std::string&)>& attempt,
    std::string& failure) {
    if (account.fetchSecret)
        return loginWithFreshSecret(account.fetchSecret, attempt, failure);
    return attempt(account.mailboxPassword);
}

const char* secretSourceName(const MailboxAccount& account) {
    return account.bearerToken ? "token command" : "password command";
}

}  // namespace parvola
