#pragma once
// Whether trying a failed mailbox call again can help. The transfer engine
// retries what is transient, waits out a provider's limit, and gives up at
// once on what another try would only meet again; each Mailbox
// implementation tells its last failure's kind (Mailbox::failureKind) with
// the classifiers below, so every protocol draws the same line.
#include <string_view>

namespace parvola {

enum class MailboxFailure {
    None,       // the last call did not fail, or the mailbox cannot tell
    Transient,  // the connection was refused, reset, closed or timed out, a
                // TLS exchange broke off, an SMTP 4xx, or an answer that
                // marks itself temporary (POP3 [IN-USE], [SYS/TEMP],
                // [LOGIN-DELAY]; IMAP [UNAVAILABLE]): a new connection may
                // succeed in a moment
    Permanent,  // the login refused, a message too large, the mailbox full,
                // an address refused, a certificate refused, any other SMTP
                // 5xx or POP3 -ERR: another try gets the same answer
    Limit,      // the provider's limit for now (an SMTP 4xx that names a
                // rate or a limit, a 550 5.4.5-style daily quota, IMAP
                // [LIMIT]): wait for the provider, then try again
    Spam,       // the provider refused the mail as spam
};

// An SMTP reply (`code` its three digits, `reply` its text).
MailboxFailure classifySmtpReply(int code, std::string_view reply);
// A POP3 "-ERR" or an IMAP "NO"/"BAD" answer, by the response code in
// brackets it carries; an answer without one is Permanent.
MailboxFailure classifyMailboxAnswer(std::string_view reply);
// A failure with no answer from the server: a socket error code
// (platform/tcp_socket.h; 0 when the connection just ended), and for a TLS
// failure its reason.
MailboxFailure classifyConnectionError(int socketError, std::string_view reason);

// True when a server's words say it takes no further session of this
// mailbox now: a POP3 maildrop locked by the session already open ([IN-USE],
// "locked"), or a cap on simultaneous connections. A transfer that reads
// over several connections then goes on with the ones it has.
bool meansNoFurtherSession(std::string_view reply);

// True for the kinds a later try may get past.
inline bool isRetryable(MailboxFailure kind) {
    return kind == MailboxFailure::Transient || kind == MailboxFailure::Limit;
}

}  // namespace parvola
