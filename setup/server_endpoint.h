#pragma once
// One mail server as the set-up finds and shows it: protocol, host, port and
// how the connection is secured, written as a server URL ("imaps://HOST:PORT",
// "smtp://HOST:PORT starttls").
#include <string>
#include <string_view>

#include "platform/tls_settings.h"

namespace parvola {

enum class MailProtocol { Imap, Pop3, Smtp };

struct ServerEndpoint {
    MailProtocol protocol = MailProtocol::Imap;
    std::string host;  // empty: no server of this kind
    int port = 0;
    TlsMode tls = TlsMode::Implicit;

    bool empty() const { return host.empty(); }
    bool operator==(const ServerEndpoint&) const = default;
};

// "imap", "pop3" or "smtp".
const char* protocolName(MailProtocol protocol);
// The port a protocol uses with TLS from the first byte (993, 995, 465) or
// with a plain start (143, 110, 587).
int standardPort(MailProtocol protocol, bool implicitTls);

// A host name that may be shown and connected to: letters, digits, '-' and
// '.', labels of 1 to 63 bytes, 253 bytes at most; or a dotted IPv4 address.
// Control characters, spaces, '/', '@', ':' and everything else are refused.
bool isAcceptableHostName(std::string_view host);

// Reads "SCHEME://HOST[:PORT][ starttls]" where SCHEME is imap, imaps, pop3,
// pop3s, smtp or smtps. The "s" schemes are TLS from the first byte; the
// others upgrade when offered, or always with " starttls". False with the
// reason in `error` for anything else.
bool parseServerUrl(std::string_view text, ServerEndpoint& endpoint, std::string& error);
// The URL form parseServerUrl reads.
std::string serverUrl(const ServerEndpoint& endpoint);

}  // namespace parvola
