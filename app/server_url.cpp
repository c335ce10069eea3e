#include "app/server_url.h"

#include <strings.h>

#include <array>

namespace parvola {
namespace {

struct Scheme {
    const char* name;
    ServerProtocol protocol;
    bool implicitTls;
};

constexpr std::array<Scheme, 6> kSchemes{{
    {"imap", ServerProtocol::Imap, false},
    {"imaps", ServerProtocol::Imap, true},
    {"pop3", ServerProtocol::Pop3, false},
    {"pop3s", ServerProtocol::Pop3, true},
    {"smtp", ServerProtocol::Smtp, false},
    {"smtps", ServerProtocol::Smtp, true},
}};

constexpr const char* kSchemeList = "imap://, imaps://, pop3://, pop3s://, smtp:// or smtps://";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHostNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '-' || c == '.' ||
           c == '_';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The characters an IPv6 address is written with, with at least two colons
// ("::1", "fe80::1", "::ffff:127.0.0.1"); a zone ("%eth0") is not taken.
bool looksLikeIpv6(std::string_view text) {
    int colons = 0;
    for (char c : text) {
        if (c == ':')
            ++colons;
        else if (!isHexDigit(c) && c != '.')
            return false;
    }
    return colons >= 2 && text.size() <= 45;
}

bool fail(std::string& error, std::string_view text, const std::string& why) {
    error = "\"" + std::string(text) + "\" is not a server address: " + why;
    return false;
}

}  // namespace

bool isServerHostName(std::string_view host) {
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    if (host.empty() || host.size() > 253)
        return false;
    while (true) {
        const size_t dot = host.find('.');
        const std::string_view label = host.substr(0, dot);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (char c : label)
            if (!isHostNameChar(c))
                return false;
        if (dot == std::string_view::npos)
            return true;
        host.remove_prefix(dot + 1);
    }
}

int defaultServerPort(ServerProtocol protocol, bool implicitTls) {
    switch (protocol) {
        case ServerProtocol::Imap:
            return implicitTls ? 993 : 143;
        case ServerProtocol::Pop3:
            return implicitTls ? 995 : 110;
        case ServerProtocol::Smtp:
            break;
    }
    return implicitTls ? 465 : 587;
}

const char* serverProtocolName(ServerProtocol protocol) {
    switch (protocol) {
        case ServerProtocol::Imap:
            return "IMAP";
        case ServerProtocol::Pop3:
            return "POP3";
        case ServerProtocol::Smtp:
            break;
    }
    return "SMTP";
}

const char* serverSchemeName(ServerProtocol protocol) {
    switch (protocol) {
        case ServerProtocol::Imap:
            return "imap";
        case ServerProtocol::Pop3:
            return "pop3";
        case ServerProtocol::Smtp:
            break;
    }
    return "smtp";
}

bool parseServerUrl(std::string_view text, ServerUrl& url, std::string& error) {
    // Control characters are refused first: the text is shown back in the
    // error, and a line break in a server name would reach a config file.
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            error = "a server address must not hold control characters";
            return false;
        }
    }
    if (text.empty()) {
        error = std::string("no server address given; write ") + kSchemeList + " and HOST[:PORT]";
        return false;
    }
    // " starttls" at the end: upgrade always, never go on in plain text.
    constexpr std::string_view kStartTls = " starttls";
    bool requireStartTls = false;
    if (text.size() > kStartTls.size() && strncasecmp(text.data() + text.size() - kStartTls.size(),
                                                      kStartTls.data(), kStartTls.size()) == 0) {
        requireStartTls = true;
        text.remove_suffix(kStartTls.size());
    }
    const size_t separator = text.find("://");
    if (separator == std::string_view::npos)
        return fail(error, text, std::string("write it as ") + kSchemeList + " and HOST[:PORT]");
    const std::string_view schemeText = text.substr(0, separator);
    const Scheme* scheme = nullptr;
    for (const Scheme& s : kSchemes)
        if (schemeText.size() == std::string_view(s.name).size() &&
            strncasecmp(schemeText.data(), s.name, schemeText.size()) == 0)
            scheme = &s;
    if (scheme == nullptr)
        return fail(error, text,
                    "unknown scheme \"" + std::string(schemeText) + "\"; use " + kSchemeList);
    if (requireStartTls && scheme->implicitTls)
        return fail(error, text, "\"starttls\" after a scheme that is TLS from the start");

    std::string_view rest = text.substr(separator + 3);
    // One "/" at the end is what a browser adds; anything after it is a path.
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);
    if (rest.find_first_of("/?#") != std::string_view::npos)
        return fail(error, text, "a server address has no path, query or fragment");
    if (rest.find('@') != std::string_view::npos)
        return fail(error, text,
                    "no user name in the address: the mailbox address is the user name");
    if (rest.find_first_of(" \t") != std::string_view::npos)
        return fail(error, text, "a server address holds no blanks");

    std::string_view host;
    std::string_view portText;
    bool hasPort = false;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos)
            return fail(error, text, "the IPv6 address has no closing \"]\"");
        host = rest.substr(1, close - 1);
        if (!looksLikeIpv6(host))
            return fail(error, text, "\"" + std::string(host) + "\" is not an IPv6 address");
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return fail(error, text, "only \":PORT\" may follow the IPv6 address");
            portText = after.substr(1);
            hasPort = true;
        }
    } else {
        const size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        if (colon != std::string_view::npos) {
            if (rest.find(':', colon + 1) != std::string_view::npos)
                return fail(error, text, "an IPv6 address is written in brackets: [::1]:993");
            portText = rest.substr(colon + 1);
            hasPort = true;
        }
        if (host.empty())
            return fail(error, text, "no host name");
        if (!isServerHostName(host))
            return fail(error, text, "\"" + std::string(host) + "\" is not a host name");
    }
    if (host.empty())
        return fail(error, text, "no host name");

    int port = defaultServerPort(scheme->protocol, scheme->implicitTls);
    if (hasPort) {
        if (portText.empty() || portText.size() > 5)
            return fail(error, text, "the port must be a number from 1 to 65535");
        port = 0;
        for (char c : portText) {
            if (!isDigit(c))
                return fail(error, text, "the port must be a number from 1 to 65535");
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535)
            return fail(error, text, "the port must be a number from 1 to 65535");
    }
    url.protocol = scheme->protocol;
    url.host = std::string(host);
    url.port = port;
    url.tls = scheme->implicitTls ? TlsMode::Implicit
              : requireStartTls   ? TlsMode::StartTls
                                  : TlsMode::StartTlsIfOffered;
    return true;
}

std::string formatServerUrl(const ServerUrl& url) {
    std::string text = serverSchemeName(url.protocol);
    if (url.tls == TlsMode::Implicit)
        text += 's';
    text += "://";
    if (url.host.find(':') != std::string::npos)
        text += "[" + url.host + "]";
    else
        text += url.host;
    text += ":" + std::to_string(url.port);
    if (url.tls == TlsMode::StartTls)
        text += " starttls";
    return text;
}

}  // namespace parvola
