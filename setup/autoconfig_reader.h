#pragma once
// Reads a mail autoconfiguration document (config-v1.1.xml, as desktop mail
// clients fetch it from autoconfig.DOMAIN) into server settings, and refuses
// one that is hostile or unusable with a reason a person can read.
#include <cstddef>
#include <string>
#include <string_view>

#include "setup/found_servers.h"

namespace parvola {

enum class AutoconfigRefusal {
    None,
    TooLarge,         // longer than kMaxAutoconfigBytes
    NotXml,           // not well-formed XML
    NotAutoconfig,    // no clientConfig/emailProvider
    BadHost,          // a host name with characters no host name has
    BadPort,          // a port that is not 1..65535
    PlainTextServer,  // only servers without TLS, and TLS was asked for
    NoUsableServer,   // no reading server or no SMTP server
};

// Real documents are a few KiB; one this large is not one.
constexpr size_t kMaxAutoconfigBytes = 256 * 1024;

struct AutoconfigResult {
    AutoconfigRefusal refusal = AutoconfigRefusal::None;
    std::string reason;  // why it was refused, empty when it was not
    FoundServers servers;
    std::string displayName;  // the provider's name as the document gives it
};

// `domain` replaces %EMAILDOMAIN% in host names. With `tlsRequired`, servers
// the document lists as plain text are left out, and a document that lists
// nothing else is refused.
AutoconfigResult readAutoconfig(std::string_view document, std::string_view domain,
                                bool tlsRequired);

}  // namespace parvola
