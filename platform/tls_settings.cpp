#include "platform/tls_settings.h"

#include <strings.h>

namespace parvola {
namespace {

bool is(std::string_view text, const char* word) {
    const std::string_view w(word);
    return text.size() == w.size() && strncasecmp(text.data(), word, w.size()) == 0;
}

}  // namespace

bool parseTlsMode(std::string_view text, TlsMode& mode) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.empty() || is(text, "none") || is(text, "plain")) {
        mode = TlsMode::None;
    } else if (is(text, "implicit") || is(text, "tls") || is(text, "ssl")) {
        mode = TlsMode::Implicit;
    } else if (is(text, "starttls") || is(text, "stls")) {
        mode = TlsMode::StartTls;
    } else if (is(text, "starttls-if-offered")) {
        mode = TlsMode::StartTlsIfOffered;
    } else {
        return false;
    }
    return true;
}

const char* tlsModeName(TlsMode mode) {
    switch (mode) {
        case TlsMode::Implicit:
            return "implicit";
        case TlsMode::StartTls:
            return "starttls";
        case TlsMode::StartTlsIfOffered:
            return "starttls-if-offered";
        case TlsMode::None:
            break;
    }
    return "none";
}

}  // namespace parvola
