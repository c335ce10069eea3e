#include "setup/server_endpoint.h"

#include <charconv>

namespace parvola {

const char* protocolName(MailProtocol protocol) {
    switch (protocol) {
        case MailProtocol::Imap:
            return "imap";
        case MailProtocol::Pop3:
            return "pop3";
        case MailProtocol::Smtp:
            return "smtp";
    }
    return "imap";
}

int standardPort(MailProtocol protocol, bool implicitTls) {
    switch (protocol) {
        case MailProtocol::Imap:
            return implicitTls ? 993 : 143;
        case MailProtocol::Pop3:
            return implicitTls ? 995 : 110;
        case MailProtocol::Smtp:
            return implicitTls ? 465 : 587;
    }
    return 0;
}

bool isAcceptableHostName(std::string_view host) {
    if (host.empty() || host.size() > 253 || host.front() == '.' || host.back() == '.')
        return false;
    size_t label = 0;
    for (size_t i = 0; i < host.size(); ++i) {
        const char c = host[i];
        if (c == '.') {
            if (label == 0)
                return false;
            label = 0;
            continue;
        }
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '-')
            return false;
        if (c == '-' && (label == 0 || i + 1 == host.size() || host[i + 1] == '.'))
            return false;
        if (++label > 63)
            return false;
    }
    return true;
}

bool parseServerUrl(std::string_view text, ServerEndpoint& endpoint, std::string& error) {
    struct Scheme {
        const char* name;
        MailProtocol protocol;
        bool implicitTls;
    };
    static constexpr Scheme kSchemes[] = {
        {"imaps", MailProtocol::Imap, true}, {"imap", MailProtocol::Imap, false},
        {"pop3s", MailProtocol::Pop3, true}, {"pop3", MailProtocol::Pop3, false},
        {"smtps", MailProtocol::Smtp, true}, {"smtp", MailProtocol::Smtp, false},
    };
    bool requireStartTls = false;
    constexpr std::string_view kStartTls = " starttls";
    if (text.size() > kStartTls.size() &&
        text.substr(text.size() - kStartTls.size()) == kStartTls) {
        requireStartTls = true;
        text.remove_suffix(kStartTls.size());
    }
    const size_t sep = text.find("://");
    if (sep == std::string_view::npos) {
        error = "not a server URL (imaps://HOST:PORT and the like): " + std::string(text);
        return false;
    }
    const std::string_view scheme = text.substr(0, sep);
    const Scheme* found = nullptr;
    for (const Scheme& s : kSchemes)
        if (scheme == s.name)
            found = &s;
    if (!found) {
        error = "unknown scheme \"" + std::string(scheme) + "\"";
        return false;
    }
    if (requireStartTls && found->implicitTls) {
        error = "\"starttls\" after a scheme that is TLS from the start";
        return false;
    }
    std::string_view rest = text.substr(sep + 3);
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);
    int port = standardPort(found->protocol, found->implicitTls);
    const size_t colon = rest.rfind(':');
    if (colon != std::string_view::npos) {
        const std::string_view digits = rest.substr(colon + 1);
        int value = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
            value < 1 || value > 65535) {
            error = "bad port \"" + std::string(digits) + "\"";
            return false;
        }
        port = value;
        rest = rest.substr(0, colon);
    }
    if (!isAcceptableHostName(rest)) {
        error = "not a host name: \"" + std::string(rest) + "\"";
        return false;
    }
    endpoint.protocol = found->protocol;
    endpoint.host = std::string(rest);
    endpoint.port = port;
    endpoint.tls = found->implicitTls ? TlsMode::Implicit
                   : requireStartTls  ? TlsMode::StartTls
                                      : TlsMode::StartTlsIfOffered;
    return true;
}

std::string serverUrl(const ServerEndpoint& endpoint) {
    std::string url = protocolName(endpoint.protocol);
    if (endpoint.tls == TlsMode::Implicit)
        url += 's';
    url += "://" + endpoint.host + ":" + std::to_string(endpoint.port);
    if (endpoint.tls == TlsMode::StartTls)
        url += " starttls";
    return url;
}

}  // namespace parvola
