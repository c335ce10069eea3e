#pragma once
// The server addresses a user types for an account that names its own
// servers: imap://, imaps://, pop3://, pop3s://, smtp:// or smtps:// and
// HOST[:PORT], HOST a name, a dotted IPv4 address or an IPv6 address in
// brackets. The "s" schemes use TLS from the first byte; the others upgrade
// with STARTTLS / STLS whenever the server offers it, or always when the
// address ends in " starttls" (how the set-up writes a server a document or
// a record says must upgrade). Nothing else is taken: no user name (the
// mailbox address is the user), no path, no query. The one reader of server
// addresses, for what the user types, what config.ini remembers and what
// the search for a mailbox's servers finds.
#include <string>
#include <string_view>

#include "platform/tls_settings.h"

namespace parvola {

enum class ServerProtocol { Imap, Pop3, Smtp };

struct ServerUrl {
    ServerProtocol protocol = ServerProtocol::Imap;
    std::string host;  // without the brackets of an IPv6 address
    int port = 0;
    TlsMode tls = TlsMode::StartTlsIfOffered;
    // No server of this kind (a search that found none, an SMTP server not needed).
    bool empty() const { return host.empty(); }
    bool operator==(const ServerUrl&) const = default;
};

// 143/993, 110/995, 587/465: the port a scheme means when none is given.
int defaultServerPort(ServerProtocol protocol, bool implicitTls);
// "IMAP", "POP3", "SMTP".
const char* serverProtocolName(ServerProtocol protocol);
// "imap", "pop3", "smtp": the scheme without TLS.
const char* serverSchemeName(ServerProtocol protocol);

// A host name that may be shown and connected to: labels of letters,
// digits, "-" and "_" between dots, 1 to 63 bytes each, 253 at most, one
// final dot allowed; a dotted IPv4 address passes as one. Control
// characters, blanks, "/", "@", ":" and everything else are refused.
bool isServerHostName(std::string_view host);

// True with `url` set, or false with `error` saying in words what is wrong
// with `text` ("unknown scheme "ftp"; ...", "the port must be 1 to 65535").
bool parseServerUrl(std::string_view text, ServerUrl& url, std::string& error);
// The address as it reads back: "imaps://imap.example.org:993",
// "smtp://[::1]:587", "smtp://smtp.example.org:587 starttls" (the port
// always written).
std::string formatServerUrl(const ServerUrl& url);

}  // namespace parvola
