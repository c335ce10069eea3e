#pragma once
// The servers one source gave for an address: a reading server (IMAP
// preferred, POP3 as well when offered) and an SMTP server.
#include "setup/server_endpoint.h"

namespace parvola {

struct FoundServers {
    ServerEndpoint imap;
    ServerEndpoint pop3;
    ServerEndpoint smtp;

    // Something to read the mailbox with and something to send with.
    bool complete() const { return (!imap.empty() || !pop3.empty()) && !smtp.empty(); }
};

}  // namespace parvola
