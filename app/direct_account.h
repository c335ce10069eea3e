#pragma once
// Accounts that name their own servers: the user's own mailbox, reached
// without the web service. Here are the rules both clients apply to what the
// user typed (which servers, which store route, which folder), the account
// record the engine works with, and how config.ini remembers the settings.
//
// The settings are kept in a section of their own per address,
// "[direct <address>]", beside the list of remembered accounts ("user" in
// "Generic"), which keeps the password where it keeps every other
// account's. config.ini is the owner's alone (platform/private_files.h).
#include <optional>
#include <string>

#include "app/server_url.h"
#include "mail/mailbox_account.h"

namespace parvola {

// What a user chose for a direct account; written by the login of either
// client, read back at every later login of the address.
struct DirectAccountSettings {
    std::string address;
    MailboxReader reader = MailboxReader::Imap;
    ServerUrl readServer;  // IMAP or POP3
    // The SMTP server; a host is needed only when pieces are stored over SMTP.
    ServerUrl smtpServer{ServerProtocol::Smtp, {}, 587, TlsMode::StartTlsIfOffered};
    StoreRoute storeRoute = StoreRoute::ImapAppend;
    std::string mailFolder = "INBOX";
    // A password may go out over a connection without TLS (off unless asked).
    bool plaintextAllowed = false;
    // Bytes per piece the user set; 0: chosen from the server's limit.
    long long pieceSize = 0;
    // A command whose first line of output is the password, run for each
    // login and never stored; or one that prints an OAuth 2 bearer token.
    // The command is remembered, its output never.
    std::string passwordCommand;
    std::string tokenCommand;
    bool operator==(const DirectAccountSettings&) const = default;
};

// What the user typed, each text as given (empty: not given).
struct DirectAccountRequest {
    std::string address;
    std::string imapUrl;
    std::string pop3Url;
    std::string smtpUrl;
    std::string storeWith;   // "append", "smtp" or empty (the reader's default)
    std::string mailFolder;  // empty: INBOX
    bool allowPlaintext = false;
    long long pieceSize = 0;
};

// Applies the rules: an address of the form local@domain; --imap or --pop3,
// not both; a server not given taken from the deployment's provider row of
// the address's domain (its POP3 and SMTP servers, upgraded to TLS when they
// offer it), else an error that asks for the URLs; append for IMAP accounts
// and smtp for POP3 unless chosen, append never with a POP3 reader; an SMTP
// server whenever pieces go over SMTP. True with `settings` filled, or false
// with `error` in words the user can act on.
bool chooseDirectSettings(const DirectAccountRequest& request, DirectAccountSettings& settings,
                          std::string& error);

// The account record the engine works with: the address is the login
// address, the mailbox address and the mailbox user; the catalog is always
// looked for in the mailbox; the deployment's CA file is trusted beside the
// system's store.
MailboxAccount directMailboxAccount(const DirectAccountSettings& settings,
                                    const std::string& password);

// config.ini's sections: the settings of `address`, when it is a direct account.
std::optional<DirectAccountSettings> rememberedDirectAccount(const std::string& configPath,
                                                             const std::string& address);
// Writes the settings whole; false when the file cannot be written or the
// address cannot name a section.
bool rememberDirectAccount(const std::string& configPath, const DirectAccountSettings& settings);

}  // namespace parvola
