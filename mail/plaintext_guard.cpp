#include "mail/plaintext_guard.h"

namespace parvola {

namespace {

constexpr const char* kMarker = " offers no TLS: the password was not sent in plain text.";

}  // namespace

std::string plaintextLoginRefusal(const char* protocol, const std::string& host, int port) {
    return std::string(protocol) + " server " + host + ":" + std::to_string(port) + kMarker +
           " Use the server's TLS "
           "address, or allow plain text for this account only when the server is on this "
           "computer or a network you trust.";
}

std::string plaintextRefusalIn(const std::string& text) {
    const size_t marker = text.find(kMarker);
    if (marker == std::string::npos)
        return {};
    // The refusal begins with "<protocol> server"; what precedes it names
    // the server and the step again.
    const size_t start = text.rfind(" server ", marker);
    if (start == std::string::npos)
        return text;
    const size_t begin = text.rfind(' ', start == 0 ? 0 : start - 1);
    return begin == std::string::npos ? text : text.substr(begin + 1);
}

}  // namespace parvola
