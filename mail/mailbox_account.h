#pragma once
// One logged-in user: the address and password typed at login, the mailbox
// that holds the store, and the SMTP and POP3 servers chosen for it.
#include <string>

#include "platform/tls_settings.h"

namespace parvola {

// A plain record: it is copied into every worker that serves the account.
struct MailboxAccount {
    MailboxAccount() = default;
    MailboxAccount(std::string typedAddress, std::string typedPassword);

    // Sets the mailbox user name and, when a provider row of the deployment
    // matches the address's domain, the hosts, ports and TLS settings.
    void SelectProvider(const std::string& mailboxAddress);

    std::string loginAddress;
    std::string mailboxAddress;
    std::string typedAddress;
    std::string typedPassword;
    std::string smtpHost;
    std::string pop3Host;
    std::string mailboxUser;
    std::string mailboxPassword;
    int catalogFlag = 0;
    // Ports of the chosen servers (deployment data, from deploy.ini).
    int smtpPort = 25;
    int pop3Port = 110;
    // Whether and how each connection is secured (deployment data too).
    TlsSettings smtpTls;
    TlsSettings pop3Tls;
};

}  // namespace parvola
