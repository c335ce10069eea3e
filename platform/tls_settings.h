#pragma once
// How a mail connection is secured: not at all (the default, as the mail
// protocols began), TLS from the first byte (POP3S, SMTPS), or a plaintext
// start upgraded with STLS / STARTTLS before anything secret is sent.
#include <string>
#include <string_view>

namespace parvola {

// None: plain text throughout. Implicit: TLS from the first byte.
// StartTls: the upgrade is required; a server that does not offer it fails.
// StartTlsIfOffered: upgraded when the server offers it, plain text otherwise
// (the schemes without "s" of a direct account's server URLs).
enum class TlsMode { None, Implicit, StartTls, StartTlsIfOffered };

struct TlsSettings {
    TlsMode mode = TlsMode::None;
    // A further trusted CA certificate file (PEM), beside the system's trust
    // store; empty: the system's store alone. Verification is never off.
    std::string caFile;
    // Whether a password (or any login secret) may go out over a connection
    // that is not secured. True for the deployment's own servers, which say
    // themselves whether they use TLS; a direct account's connections refuse
    // it unless the user allowed plain text (a loopback test server, say).
    bool plaintextLoginAllowed = true;
};

// "none"/"plain"/"" -> None, "implicit"/"tls"/"ssl" -> Implicit,
// "starttls"/"stls" -> StartTls, "starttls-if-offered" -> StartTlsIfOffered,
// in any letter case. False for anything else
// (and `mode` untouched).
bool parseTlsMode(std::string_view text, TlsMode& mode);
// "none", "implicit", "starttls" or "starttls-if-offered".
const char* tlsModeName(TlsMode mode);

}  // namespace parvola
