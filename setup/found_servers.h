#pragma once
// The servers one source gave for an address: a reading server (IMAP
// preferred, POP3 as well when offered) and an SMTP server.
#include "app/direct_account.h"
#include "app/server_url.h"

namespace parvola {

struct FoundServers {
    ServerUrl imap;
    ServerUrl pop3;
    ServerUrl smtp;

    // Something to read the mailbox with and something to send with.
    bool complete() const { return (!imap.empty() || !pop3.empty()) && !smtp.empty(); }
};

// The servers config.ini remembers for a direct account, as a search's
// first answer.
inline FoundServers foundServersOf(const DirectAccountSettings& remembered) {
    FoundServers servers;
    (remembered.reader == MailboxReader::Imap ? servers.imap : servers.pop3) =
        remembered.readServer;
    servers.smtp = remembered.smtpServer;
    return servers;
}

}  // namespace parvola
