#pragma once
#include <string>

namespace parvola {

// The machine's host name (gethostname), empty on failure.
std::string computerName();
// The first IPv4 address of the machine's own host name in dotted decimal,
// empty when the lookup fails.
std::string localIPv4Address();
// The port of a TCP service from the services database, or `fallback`.
int servicePort(const char* service, int fallback);

}  // namespace parvola
