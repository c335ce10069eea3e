#pragma once
// A password or an OAuth 2 token from a command the user names, the way mail
// tools on Linux take one: the first line the command prints on its standard
// output (a pass store lookup, a keyring query, a gpg-decrypted file, a
// token helper). The command runs through /bin/sh each time a secret is
// needed; what it prints is handed to the caller and kept nowhere else.
#include <chrono>
#include <functional>
#include <string>

namespace parvola {

enum class SecretCommandOutcome { Ok, CouldNotStart, Failed, TimedOut, Empty };

struct SecretCommandResult {
    SecretCommandOutcome outcome = SecretCommandOutcome::CouldNotStart;
    std::string secret;   // the first line, without its line break
    std::string failure;  // what went wrong, in words, with the command's own error line
};

// Runs `command` with its standard input on /dev/null; a command still
// running after `limit` is killed with everything it started.
SecretCommandResult runSecretCommand(const std::string& command,
                                     std::chrono::milliseconds limit = std::chrono::seconds(60));

// A fetch for MailboxAccount::fetchSecret that runs `command` each time.
std::function<bool(std::string& secret, std::string& failure)> secretCommandFetch(
    const std::string& command);

}  // namespace parvola
