#pragma once
// One logged-in user: the address and password typed at login, the mailbox
// that holds the store, and the SMTP and POP3 servers chosen for it.
#include <functional>
#include <string>

#include "platform/tls_settings.h"

namespace parvola {

// How the mailbox is read. POP3 is what the deployment's providers offer;
// IMAP is for direct accounts whose server offers it.
enum class MailboxReader { Pop3, Imap };
// How a piece mail gets into the mailbox: sent to itself over SMTP, or
// appended to the mail folder over IMAP (no sending quota is spent).
enum class StoreRoute { Smtp, ImapAppend };

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

    // A direct account is the user's own mailbox, reached without the web
    // service: no login verification, no notification, the mailbox address
    // is the login address. Service accounts leave everything below as is.
    bool direct = false;
    MailboxReader reader = MailboxReader::Pop3;
    StoreRoute storeRoute = StoreRoute::Smtp;
    std::string imapHost;
    int imapPort = 143;
    TlsSettings imapTls;
    // The IMAP folder that holds the store's mails.
    std::string mailFolder = "INBOX";
    // Where each login's secret comes from when it is not kept in
    // mailboxPassword (a password command, an OAuth 2 token helper): called
    // for every login, false with the reason in `failure`.
    std::function<bool(std::string& secret, std::string& failure)> fetchSecret;
    // The secret is an OAuth 2 bearer token (SASL OAUTHBEARER / XOAUTH2).
    bool bearerToken = false;
    // Bytes per piece the user set for a direct account; 0: chosen from the
    // limit the server announces (service accounts: the provider's size).
    long long pieceSize = 0;
};

}  // namespace parvola
