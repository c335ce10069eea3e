// A mail autoconfiguration document from any bytes: either refused with a
// reason, or servers that are complete and all have acceptable host names
// and ports, none in plain text when TLS was asked for.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "setup/autoconfig_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const bool tlsRequired = (data[0] & 1) != 0;
    const std::string_view document(reinterpret_cast<const char*>(data + 1), size - 1);
    const parvola::AutoconfigResult result =
        parvola::readAutoconfig(document, "example.org", tlsRequired);
    if (result.refusal != parvola::AutoconfigRefusal::None) {
        if (result.reason.empty())
            __builtin_trap();
        return 0;
    }
    if (!result.servers.complete())
        __builtin_trap();
    for (const parvola::ServerUrl* s :
         {&result.servers.imap, &result.servers.pop3, &result.servers.smtp}) {
        if (s->empty())
            continue;
        if (!parvola::isServerHostName(s->host) || s->port < 1 || s->port > 65535)
            __builtin_trap();
        if (tlsRequired && s->tls != parvola::TlsMode::Implicit &&
            s->tls != parvola::TlsMode::StartTls)
            __builtin_trap();
    }
    return 0;
}
