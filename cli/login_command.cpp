#include <unistd.h>

#include <iostream>
#include <optional>

#include "app/direct_account.h"
#include "app/ini_settings.h"
#include "cli/cli_command.h"
#include "cli/cli_notice_box.h"
#include "cli/cli_session.h"
#include "cli/encrypted_store.h"
#include "cli/option_parser.h"
#include "cli/password_input.h"
#include "presentation/discovery_text.h"
#include "setup/server_discovery.h"
#include "transfer/account_keys.h"
#include "transfer/account_login.h"
#include "transfer/encrypted_login.h"
#include "transfer/transfer_workers.h"

namespace parvola::cli {
namespace {

// "4194304", "512K", "4M": bytes, KiB or MiB; nullopt for anything else.
std::optional<long long> parseSize(const std::string& text) {
    long long value = 0;
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && digits < 12)
        value = value * 10 + (text[digits++] - '0');
    if (digits == 0)
        return std::nullopt;
    const std::string unit = text.substr(digits);
    if (unit == "K" || unit == "k")
        value <<= 10;
    else if (unit == "M" || unit == "m")
        value <<= 20;
    else if (!unit.empty())
        return std::nullopt;
    if (value <= 0)
        return std::nullopt;
    return value;
}

// The encryption half of a login, before it loads the catalog: an encrypted
// store is opened with its passphrase; with --encrypt a plain one is to be
// made encrypted once logged in (`turnOn`), the trade-off confirmed first.
// kExitOk to go on, else the exit code.
int encryptionBeforeLogin(const MailboxAccount& reached, bool reachable, bool encrypt, bool yes,
                          const GlobalOptions& options, bool& turnOn) {
    turnOn = false;
    const StoreLock lock = reachable ? openEncryptedStore(reached, options) : StoreLock::Plain;
    if (lock == StoreLock::Refused)
        return kExitFailure;
    if (!encrypt)
        return kExitOk;
    if (lock == StoreLock::Unlocked) {
        std::cout << reached.loginAddress << " keeps its store encrypted already\n";
        return kExitOk;
    }
    // The login was asked for with the encryption: a "no" stops both.
    if (!confirmEncryption(yes,
                           "not encrypted, and not logged in; log in without --encrypt to "
                           "keep the store as it is"))
        return kExitFailure;
    turnOn = true;
    return kExitOk;
}

// What the login says about encryption, and the encryption it turns on.
int encryptionAfterLogin(const MailboxAccount& account, bool turnOn, const GlobalOptions& options) {
    if (turnOn)
        return turnEncryptionOn(account, options);
    if (accountEncryption(account.loginAddress) == AccountEncryption::Unlocked)
        std::cout << "encrypted: the passphrase opened the store's key" << std::endl;
    return kExitOk;
}

// Looks for the servers of an address none were given for, says what was
// found and where, and takes them into `request` when the user accepts
// (--yes, or "y" on a terminal). kExitOk to go on, else the exit code.
// The servers remembered for the address, when it is a direct account
// already, are the search's first answer.
int discoverServersFor(DirectAccountRequest& request, bool accepted, bool passwordFromStdin) {
    const std::string domain = request.address.substr(request.address.rfind('@') + 1);
    FoundServers given;
    SettingsSource givenSource = SettingsSource::Given;
    if (auto remembered = rememberedDirectAccount(IniSettings().path(), request.address)) {
        given = foundServersOf(*remembered);
        givenSource = SettingsSource::Remembered;
    }
    const DiscoveryResult found = discoverServers(
        request.address, given, givenSource, deploymentDiscoveryOptions(!request.allowPlaintext),
        {}, [](const std::string& step) { std::cerr << "searching: " << step << std::endl; });
    if (found.outcome != DiscoveryResult::Outcome::Found) {
        std::string reason = discoveryHeadline(found, domain);
        for (const std::string& note : found.notes)
            reason += "\n  " + note;
        printError(reason +
                   "\ngive the mailbox's server (--imap URL or --pop3 URL) and its SMTP "
                   "server (--smtp URL)");
        return kExitUsageExplained;
    }
    std::cout << discoveryHeadline(found, domain) << "\n";
    for (const std::string& line : discoveredServerLines(found.servers))
        std::cout << "  " << line << "\n";
    std::cout.flush();
    if (!accepted) {
        if (passwordFromStdin || !isatty(0)) {
            printError(
                "add --yes to use these servers, or give them with --imap/--pop3 and --smtp");
            return kExitUsageExplained;
        }
        std::cout << "Use these servers? [y/N] " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer) ||
            (answer != "y" && answer != "Y" && answer != "yes")) {
            printError("not logged in; give the servers with --imap/--pop3 and --smtp");
            return kExitFailure;
        }
    }
    if (!found.servers.imap.empty())
        request.imapUrl = formatServerUrl(found.servers.imap);
    else
        request.pop3Url = formatServerUrl(found.servers.pop3);
    if (request.smtpUrl.empty())
        request.smtpUrl = formatServerUrl(found.servers.smtp);
    return kExitOk;
}

int runDirectLogin(OptionParser& parser, const GlobalOptions& options) {
    const bool encrypt = parser.flag("--encrypt");
    const bool fromStdin = parser.flag("--password-stdin");
    const bool forget = parser.flag("--forget-password");
    DirectAccountRequest request;
    request.allowPlaintext = parser.flag("--allow-plaintext");
    request.imapUrl = parser.option("--imap").value_or("");
    request.pop3Url = parser.option("--pop3").value_or("");
    request.smtpUrl = parser.option("--smtp").value_or("");
    request.storeWith = parser.option("--store-with").value_or("");
    request.mailFolder = parser.option("--mail-folder").value_or("");
    const auto pieceSize = parser.option("--piece-size");
    const bool accepted = parser.flag("--yes");
    const auto passwordCommand = parser.option("--password-command");
    const auto tokenCommand = parser.option("--oauth2-token-command");
    auto address = parser.positional(0);
    if (!address || !parser.done(1))
        return kExitUsage;
    request.address = *address;
    if (encrypt && !canConfirmEncryption(accepted))
        return kExitUsageExplained;
    if (pieceSize) {
        const auto size = parseSize(*pieceSize);
        if (!size) {
            printError("--piece-size takes a size in bytes, or with K or M: 4M, 512K");
            return kExitUsageExplained;
        }
        request.pieceSize = *size;
    }
    DirectAccountSettings direct;
    std::string problem;
    if (!chooseDirectSettings(request, direct, problem)) {
        // No server given and none known beforehand: look for them.
        if (!request.imapUrl.empty() || !request.pop3Url.empty() ||
            request.address.find('@') == std::string::npos) {
            printError(problem);
            return kExitUsageExplained;
        }
        if (const int code = discoverServersFor(request, accepted, fromStdin); code != kExitOk)
            return code;
        if (!chooseDirectSettings(request, direct, problem)) {
            printError(problem);
            return kExitUsageExplained;
        }
    }
    if (passwordCommand && tokenCommand) {
        printError("give either --password-command or --oauth2-token-command, not both");
        return kExitUsageExplained;
    }
    direct.passwordCommand = passwordCommand.value_or("");
    direct.tokenCommand = tokenCommand.value_or("");
    // A command gives the secret at each login: nothing is typed or kept.
    const bool fromCommand = passwordCommand || tokenCommand;
    std::optional<std::string> password = std::string();
    if (!fromCommand)
        password = readPassword("Password for " + direct.address + ": ", fromStdin);
    if (!password) {
        printError("no password given");
        return kExitFailure;
    }
    installTransferEngine();
    bool turnOn = false;
    const bool lookFirst = encrypt || worthLookingForKeyMail(direct.address, options, true);
    if (const int code = encryptionBeforeLogin(directMailboxAccount(direct, *password), lookFirst,
                                               encrypt, accepted, options, turnOn);
        code != kExitOk)
        return code;
    IniSettings settings;
    LoginResult result =
        loginDirectAccount(direct, *password, !forget && !fromCommand, settings, false);
    if (!result.ok()) {
        explainLockedLogin(direct.address);
        return kExitFailure;  // the login showed its message
    }
    setRememberedCliAccount(direct.address);
    const bool imap = direct.reader == MailboxReader::Imap;
    std::cout << "logged in: " << direct.address << " (your own mailbox)\n"
              << (imap ? "imap:      " : "pop3:      ") << formatServerUrl(direct.readServer)
              << "\n";
    if (!direct.smtpServer.host.empty())
        std::cout << "smtp:      " << formatServerUrl(direct.smtpServer) << "\n";
    std::cout << "store:     "
              << (direct.storeRoute == StoreRoute::ImapAppend ? "append to " + direct.mailFolder
                                                              : std::string("smtp"))
              << "\n";
    const std::string inConfig =
        result.keyringRefusal.empty()
            ? "kept in config.ini (readable by you only; no desktop keyring answered)"
            : "kept in config.ini (readable by you only; the desktop keyring refused it: " +
                  result.keyringRefusal + ")";
    std::cout << "password:  "
              << (fromCommand ? "from the command, at every login"
                  : result.passwordKept == PasswordKept::Keyring ? "kept in the desktop keyring"
                  : result.passwordKept == PasswordKept::ConfigFile
                      ? inConfig
                      : "not kept; asked for by each command")
              << std::endl;
    const int code = encryptionAfterLogin(result.account, turnOn, options);
    finishSession();
    return code;
}

int runLogin(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    if (parser.flag("--direct"))
        return runDirectLogin(parser, options);
    bool fromStdin = parser.flag("--password-stdin");
    bool forget = parser.flag("--forget-password");
    const bool encrypt = parser.flag("--encrypt");
    const bool yes = parser.flag("--yes", "-y");
    auto address = parser.positional(0);
    if (!address || !parser.done(1))
        return kExitUsage;
    if (encrypt && !canConfirmEncryption(yes))
        return kExitUsageExplained;
    auto password = readPassword("Password for " + *address + ": ", fromStdin);
    if (!password) {
        printError("no password given");
        return kExitFailure;
    }
    installTransferEngine();
    IniSettings settings;
    AccountBeforeLogin before;
    if (encrypt || worthLookingForKeyMail(*address, options, true))
        before = accountBeforeLogin(*address, *password, settings);
    bool turnOn = false;
    if (const int code =
            encryptionBeforeLogin(before.account, before.reached, encrypt, yes, options, turnOn);
        code != kExitOk)
        return code;
    // The same login as the desktop client's dialog, "记住密码" checked unless
    // --forget-password; unfinished transfers wait for `resume`. The web
    // service's answer asked above is not asked for again.
    LoginResult result = loginAccount(*address, *password, !forget, settings, false,
                                      before.verification ? &*before.verification : nullptr);
    if (!result.ok()) {
        explainLockedLogin(*address);
        return kExitFailure;  // the login showed its message
    }
    setRememberedCliAccount(*address);
    const MailboxAccount& account = result.account;
    std::cout << "logged in: " << account.loginAddress << "\n"
              << "mailbox:   " << account.mailboxAddress << "\n"
              << "smtp:      " << account.smtpHost << ":" << account.smtpPort << "\n"
              << "pop3:      " << account.pop3Host << ":" << account.pop3Port << std::endl;
    const int code = encryptionAfterLogin(account, turnOn, options);
    finishSession();
    return code;
}

int runLogout(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto address = parser.positional(0);
    if (!parser.done(1))
        return kExitUsage;
    const std::string account = address.value_or(chosenAccount(options));
    if (account.empty()) {
        printError("no account is logged in");
        return kExitFailure;
    }
    IniSettings settings;
    bool known = false;
    for (const auto& entry : settings.accounts())
        known = known || entry.account == account;
    if (!known && rememberedCliAccount() != account) {
        printError("no remembered account " + account);
        return kExitFailure;
    }
    // The account stays in the login list of both clients, without its
    // password; the command line stops using it.
    if (known)
        settings.rememberAccount(account, "");
    if (rememberedCliAccount() == account)
        setRememberedCliAccount("");
    std::cout << "logged out: " << account << " (its password is forgotten)" << std::endl;
    return kExitOk;
}

}  // namespace

Command logoutCommand() {
    return {"logout", "forget the account's password and stop using it",
            "usage: parvola-cli logout [ADDRESS]\n"
            "  Forgets the remembered password of ADDRESS (the account in use when\n"
            "  omitted) and stops the command line using it; later commands need\n"
            "  parvola-cli login again. The catalog on this computer stays.\n",
            runLogout};
}

Command loginCommand() {
    return {
        "login", "log in and remember the account for later commands",
        "usage: parvola-cli login ADDRESS [--password-stdin] [--forget-password]\n"
        "         [--encrypt [--yes]]\n"
        "  Checks ADDRESS and its password with the web service, brings the catalog\n"
        "  from the mailbox (or starts a new one) and remembers the account in\n"
        "  config.ini, as the desktop client's login does. Later commands use it.\n"
        "  The password is asked for without echo, or read as one line from standard\n"
        "  input with --password-stdin. --forget-password remembers the account only;\n"
        "  later commands then ask for the password.\n"
        "  --encrypt makes the store encrypted from this login on (see parvola-cli\n"
        "  help encrypt); it asks first on a terminal, or needs --yes without one.\n"
        "  A store that is encrypted already asks for its passphrase.\n"
        "\n"
        "usage: parvola-cli login --direct ADDRESS [--password-stdin] [--imap URL | --pop3 URL]\n"
        "         [--smtp URL] [--store-with append|smtp] [--mail-folder NAME]\n"
        "         [--allow-plaintext] [--piece-size SIZE] [--forget-password] [--yes]\n"
        "         [--password-command CMD | --oauth2-token-command CMD] [--encrypt]\n"
        "  Uses your own mailbox ADDRESS directly, without the web service: the\n"
        "  mailbox login checks the password (or app password). URL is imap://,\n"
        "  imaps://, pop3://, pop3s://, smtp:// or smtps:// and HOST[:PORT]; the \"s\"\n"
        "  schemes use TLS from the start (ports 993, 995, 465), the others (143,\n"
        "  110, 587) switch to TLS whenever the server offers it, and always when the\n"
        "  URL ends in \" starttls\" (as servers found are shown). Servers not given\n"
        "  come from the built-in provider rows for the address's domain; when\n"
        "  there are none they are looked for (the provider table, the domain's\n"
        "  mail autoconfiguration, DNS SRV records, the usual host names greeting),\n"
        "  shown with where they were found, and used when you answer y, or with\n"
        "  --yes.\n"
        "  A password is never sent without TLS unless --allow-plaintext is given\n"
        "  (for a test server on this computer, say).\n"
        "  --store-with: append puts pieces into the IMAP folder (the default for\n"
        "  IMAP; no sending quota is spent), smtp mails them to the mailbox (the\n"
        "  only way for POP3).\n"
        "  --mail-folder (IMAP): INBOX by default, so clients that read the mailbox\n"
        "  over POP3 see everything; a folder of its own (created when missing)\n"
        "  keeps the inbox tidy, but POP3 cannot see it.\n"
        "  --piece-size: bytes per piece (4M, 512K); by default the largest that\n"
        "  stays under the limit the server announces, else 10M.\n"
        "  --password-command CMD: the first line CMD prints (through /bin/sh) is the\n"
        "  password, asked for at each login and never stored; the command is\n"
        "  remembered. --oauth2-token-command CMD: the same for an OAuth 2 bearer\n"
        "  token (SASL OAUTHBEARER or XOAUTH2 on IMAP, POP3 and SMTP); a token the\n"
        "  server refuses is asked for once more.\n"
        "  The account and its servers are remembered; later commands need nothing more.\n",
        runLogin};
}

}  // namespace parvola::cli
