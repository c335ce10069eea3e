#pragma once
// How a mail connection is secured: not at all (the default, as the mail
// protocols began), TLS from the first byte (POP3S, SMTPS), or a plaintext
// start upgraded with STLS / STARTTLS before anything secret is sent.
#include <string>
#include <string_view>

namespace parvola {

enum class TlsMode { None, Implicit, StartTls };

struct TlsSettings {
    TlsMode mode = TlsMode::None;
    // A further trusted CA certificate file (PEM), beside the system's trust
    // store; empty: the system's store alone. Verification is never off.
    std::string caFile;
};

// "none"/"plain"/"" -> None, "implicit"/"tls"/"ssl" -> Implicit,
// "starttls"/"stls" -> StartTls, in any letter case. False for anything else
// (and `mode` untouched).
bool parseTlsMode(std::string_view text, TlsMode& mode);
// "none", "implicit" or "starttls".
const char* tlsModeName(TlsMode mode);

}  // namespace parvola
