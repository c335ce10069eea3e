#pragma once
// Confirms a guessed server by connecting and reading its greeting (and, for
// TLS from the first byte, the handshake with a verified certificate). It
// never sends a command, let alone a login.
#include <chrono>
#include <functional>
#include <string>

#include "app/server_url.h"

namespace parvola {

struct ProbeResult {
    bool confirmed = false;
    std::string greeting;  // the first line, when one arrived
};

// True when the server at `endpoint` greets as its protocol does ("* OK",
// "* PREAUTH", "+OK", "220") within `timeout`. `cancelled` is polled while
// it waits.
ProbeResult probeGreeting(const ServerUrl& endpoint, const std::string& caFile,
                          std::chrono::milliseconds timeout,
                          const std::function<bool()>& cancelled);

// Whether `line` is the greeting of `protocol`.
bool isGreetingOf(ServerProtocol protocol, const std::string& line);

}  // namespace parvola
