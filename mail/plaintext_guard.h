#pragma once
// The guard in front of every login of the mail clients: a password, or any
// other login secret, goes out only over a secured connection, unless the
// account allows plain text (a loopback test server, a trusted network).
// What the user reads when the guard stops a login is written here once,
// so POP3, SMTP and IMAP say it in the same words.
#include <string>

#include "platform/tls_settings.h"

namespace parvola {

// True when a login may go out over a connection that is or is not secured.
inline bool loginMayGoOut(const TlsSettings& tls, bool secured) {
    return secured || tls.plaintextLoginAllowed;
}

// "POP3 server pop.example.org:110 offers no TLS: the password was not sent
// in plain text ..." for a login the guard stopped.
std::string plaintextLoginRefusal(const char* protocol, const std::string& host, int port);
// The part of `text` (a failure text that may name the server and step
// first) that is the guard's refusal; empty when the guard stopped nothing.
std::string plaintextRefusalIn(const std::string& text);

}  // namespace parvola
