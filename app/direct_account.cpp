#include "app/direct_account.h"

#include <algorithm>

#include "platform/deploy_config.h"
#include "platform/ini_file.h"
#include "platform/secret_command.h"

namespace parvola {
namespace {

constexpr const char* kSectionPrefix = "direct ";

std::string sectionFor(const std::string& address) {
    return kSectionPrefix + address;
}

bool hasControlCharacter(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

// local@domain, one "@", neither side empty, nothing config.ini or the list
// of remembered accounts would read differently.
bool validAddress(const std::string& address, std::string& error) {
    const size_t at = address.find('@');
    if (address.empty() || at == 0 || at == std::string::npos || at + 1 == address.size() ||
        address.find('@', at + 1) != std::string::npos) {
        error = "\"" + address + "\" is not a mailbox address (local@domain)";
        return false;
    }
    if (hasControlCharacter(address) || address.find_first_of(" \t;:[]=\"'") != std::string::npos) {
        error = "a mailbox address holds no blanks, quotes or any of ; : [ ] =";
        return false;
    }
    return true;
}

bool parseAs(const std::string& text, ServerProtocol protocol, const char* option, ServerUrl& url,
             std::string& error) {
    if (!parseServerUrl(text, url, error))
        return false;
    if (url.protocol != protocol) {
        error = std::string(option) + " wants a " + serverProtocolName(protocol) +
                " server address, not \"" + text + "\"";
        return false;
    }
    return true;
}

// The deployment's provider row for the address's domain, as a reader and
// an SMTP server. Modes the row leaves plain are upgraded when offered: the
// guard, not the row, decides whether a password may go out unsecured.
bool providerServers(const std::string& address, ServerUrl& pop3, ServerUrl& smtp) {
    MailboxAccount probe;
    probe.SelectProvider(address);
    if (probe.pop3Host.empty() || probe.smtpHost.empty())
        return false;
    auto mode = [](TlsMode m) { return m == TlsMode::None ? TlsMode::StartTlsIfOffered : m; };
    pop3 =
        ServerUrl{ServerProtocol::Pop3, probe.pop3Host, probe.pop3Port, mode(probe.pop3Tls.mode)};
    smtp =
        ServerUrl{ServerProtocol::Smtp, probe.smtpHost, probe.smtpPort, mode(probe.smtpTls.mode)};
    return true;
}

const char* storeRouteName(StoreRoute route) {
    return route == StoreRoute::ImapAppend ? "append" : "smtp";
}

}  // namespace

bool chooseDirectSettings(const DirectAccountRequest& request, DirectAccountSettings& settings,
                          std::string& error) {
    DirectAccountSettings chosen;
    if (!validAddress(request.address, error))
        return false;
    chosen.address = request.address;
    if (!request.imapUrl.empty() && !request.pop3Url.empty()) {
        error = "give either an IMAP or a POP3 server, not both";
        return false;
    }
    ServerUrl rowPop3;
    ServerUrl rowSmtp;
    const bool rowFound = providerServers(request.address, rowPop3, rowSmtp);
    if (!request.imapUrl.empty()) {
        chosen.reader = MailboxReader::Imap;
        if (!parseAs(request.imapUrl, ServerProtocol::Imap, "--imap", chosen.readServer, error))
            return false;
    } else if (!request.pop3Url.empty()) {
        chosen.reader = MailboxReader::Pop3;
        if (!parseAs(request.pop3Url, ServerProtocol::Pop3, "--pop3", chosen.readServer, error))
            return false;
    } else if (rowFound) {
        chosen.reader = MailboxReader::Pop3;
        chosen.readServer = rowPop3;
    } else {
        error = "no servers are known for " + request.address +
                "; give the mailbox's server (--imap URL or --pop3 URL) and its SMTP server "
                "(--smtp URL)";
        return false;
    }

    if (request.storeWith.empty()) {
        chosen.storeRoute =
            chosen.reader == MailboxReader::Imap ? StoreRoute::ImapAppend : StoreRoute::Smtp;
    } else if (request.storeWith == "append") {
        if (chosen.reader != MailboxReader::Imap) {
            error =
                "pieces can be appended only to an IMAP mailbox; a POP3 account stores "
                "with smtp";
            return false;
        }
        chosen.storeRoute = StoreRoute::ImapAppend;
    } else if (request.storeWith == "smtp") {
        chosen.storeRoute = StoreRoute::Smtp;
    } else {
        error = "--store-with takes append or smtp, not \"" + request.storeWith + "\"";
        return false;
    }

    if (!request.smtpUrl.empty()) {
        if (!parseAs(request.smtpUrl, ServerProtocol::Smtp, "--smtp", chosen.smtpServer, error))
            return false;
    } else if (rowFound) {
        chosen.smtpServer = rowSmtp;
    } else if (chosen.storeRoute == StoreRoute::Smtp) {
        error = "pieces are stored over SMTP, and no SMTP server is known for " + request.address +
                "; give it with --smtp URL";
        return false;
    }

    if (!request.mailFolder.empty()) {
        if (chosen.reader != MailboxReader::Imap) {
            error = "a mail folder is chosen only for an IMAP mailbox; POP3 sees the inbox alone";
            return false;
        }
        if (hasControlCharacter(request.mailFolder) || request.mailFolder.size() > 200) {
            error = "a mail folder name holds no control characters and at most 200 bytes";
            return false;
        }
        chosen.mailFolder = request.mailFolder;
    }
    if (request.pieceSize < 0) {
        error = "the piece size must be positive";
        return false;
    }
    chosen.plaintextAllowed = request.allowPlaintext;
    chosen.pieceSize = request.pieceSize;
    settings = std::move(chosen);
    return true;
}

MailboxAccount directMailboxAccount(const DirectAccountSettings& settings,
                                    const std::string& password) {
    MailboxAccount account(settings.address, password);
    account.direct = true;
    account.loginAddress = settings.address;
    account.mailboxAddress = settings.address;
    account.mailboxUser = settings.address;
    account.mailboxPassword = password;
    // The store may already be in the mailbox: always look for its catalog.
    account.catalogFlag = 1;
    account.reader = settings.reader;
    account.storeRoute = settings.storeRoute;
    account.mailFolder = settings.mailFolder;
    account.pieceSize = settings.pieceSize;
    // A command gives the secret of each login; the typed password is unused.
    if (!settings.tokenCommand.empty()) {
        account.fetchSecret = secretCommandFetch(settings.tokenCommand);
        account.bearerToken = true;
    } else if (!settings.passwordCommand.empty()) {
        account.fetchSecret = secretCommandFetch(settings.passwordCommand);
    }
    const std::string caFile = loadDeployConfig().caFile;
    auto tls = [&](TlsMode mode) {
        TlsSettings t;
        t.mode = mode;
        t.caFile = caFile;
        t.plaintextLoginAllowed = settings.plaintextAllowed;
        return t;
    };
    const ServerUrl& read = settings.readServer;
    if (settings.reader == MailboxReader::Imap) {
        account.imapHost = read.host;
        account.imapPort = read.port;
        account.imapTls = tls(read.tls);
    } else {
        account.pop3Host = read.host;
        account.pop3Port = read.port;
        account.pop3Tls = tls(read.tls);
    }
    account.smtpHost = settings.smtpServer.host;
    account.smtpPort = settings.smtpServer.port;
    account.smtpTls = tls(settings.smtpServer.tls);
    return account;
}

std::optional<DirectAccountSettings> rememberedDirectAccount(const std::string& configPath,
                                                             const std::string& address) {
    std::string error;
    if (!validAddress(address, error))
        return std::nullopt;
    const std::string section = sectionFor(address);
    auto read = [&](const char* key) { return readProfileString(section, key, "", configPath); };
    const std::string reader = read("reader");
    if (reader != "imap" && reader != "pop3")
        return std::nullopt;
    DirectAccountSettings settings;
    settings.address = address;
    settings.reader = reader == "imap" ? MailboxReader::Imap : MailboxReader::Pop3;
    const ServerProtocol readProtocol =
        settings.reader == MailboxReader::Imap ? ServerProtocol::Imap : ServerProtocol::Pop3;
    if (!parseAs(read("server"), readProtocol, "server", settings.readServer, error))
        return std::nullopt;
    if (const std::string smtp = read("smtp");
        !smtp.empty() && !parseAs(smtp, ServerProtocol::Smtp, "smtp", settings.smtpServer, error))
        return std::nullopt;
    settings.storeRoute = read("store") == "append" && settings.reader == MailboxReader::Imap
                              ? StoreRoute::ImapAppend
                              : StoreRoute::Smtp;
    if (settings.storeRoute == StoreRoute::Smtp && settings.smtpServer.host.empty())
        return std::nullopt;
    if (const std::string folder = read("folder"); !folder.empty())
        settings.mailFolder = folder;
    settings.plaintextAllowed = read("plaintext") == "true";
    settings.pieceSize = std::max(0, readProfileInt(section, "piecesize", 0, configPath));
    settings.passwordCommand = read("passwordcommand");
    settings.tokenCommand = read("tokencommand");
    return settings;
}

bool rememberDirectAccount(const std::string& configPath, const DirectAccountSettings& settings) {
    std::string error;
    if (!validAddress(settings.address, error))
        return false;
    const std::string section = sectionFor(settings.address);
    auto write = [&](const char* key, const std::string& value) {
        return writeProfileString(section, key, value, configPath);
    };
    return write("reader", settings.reader == MailboxReader::Imap ? "imap" : "pop3") &&
           write("server", formatServerUrl(settings.readServer)) &&
           write("smtp", settings.smtpServer.host.empty() ? std::string()
                                                          : formatServerUrl(settings.smtpServer)) &&
           write("store", storeRouteName(settings.storeRoute)) &&
           // Quoted: the reader drops one pair of quotes, and a folder name's
           // own blanks at either end survive.
           write("folder", "\"" + settings.mailFolder + "\"") &&
           write("plaintext", settings.plaintextAllowed ? "true" : "false") &&
           write("piecesize", std::to_string(settings.pieceSize)) &&
           // Quoted like the folder: a command keeps its own quotes and blanks.
           write("passwordcommand", settings.passwordCommand.empty()
                                        ? std::string()
                                        : "\"" + settings.passwordCommand + "\"") &&
           write("tokencommand", settings.tokenCommand.empty()
                                     ? std::string()
                                     : "\"" + settings.tokenCommand + "\"");
}

}  // namespace parvola
