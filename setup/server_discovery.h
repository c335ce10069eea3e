#pragma once
// Finds the servers of a mailbox from its address alone, in a fixed order:
// the settings the user gave (or remembered ones), the provider table, the
// mail autoconfiguration documents (autoconfig.DOMAIN, then DOMAIN's
// .well-known), DNS SRV records (RFC 6186), and last a guess (imap.DOMAIN,
// smtp.DOMAIN, mail.DOMAIN) confirmed by the server's greeting, never by a
// login. Each step has a time limit; a step that finds nothing passes on
// without a word (what went wrong is kept in the result's notes); the whole
// search stops when the cancel check says so.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "setup/found_servers.h"
#include "setup/provider_data.h"
#include "setup/srv_resolver.h"

namespace parvola {

enum class SettingsSource { Given, Remembered, ProviderTable, Autoconfig, DnsSrv, Guess };

struct DiscoveryOptions {
    // Where autoconfiguration documents are asked for. Empty: the real
    // places (https://autoconfig.DOMAIN/mail/config-v1.1.xml, then
    // https://DOMAIN/.well-known/autoconfig/mail/config-v1.1.xml). Set
    // (deploy.ini's [setup] autoconfig_base): BASE/autoconfig.DOMAIN/mail/...
    // and BASE/DOMAIN/.well-known/..., so a test serves both on loopback.
    std::string autoconfigBase;
    std::string caFile;
    // A password will not go out without TLS: servers in plain text are
    // neither taken from documents nor guessed.
    bool tlsRequired = true;
    std::chrono::milliseconds stepTimeout{8000};
    // The provider table; null: none is consulted.
    const ProviderTable* providers = nullptr;
    // The SRV resolver; null: the system's.
    SrvResolver* resolver = nullptr;
    // The hosts guessed for a protocol; unset: imap.DOMAIN and mail.DOMAIN
    // for IMAP, smtp.DOMAIN and mail.DOMAIN for SMTP, none for POP3.
    std::function<std::vector<std::string>(ServerProtocol, const std::string& domain)> guessHosts;
    // The ports guessed, TLS from the first byte before STARTTLS; unset: the
    // standard ones.
    std::function<std::vector<ServerUrl>(ServerProtocol, const std::string& host)> guessPorts;
};

struct DiscoveryResult {
    enum class Outcome { Found, NotFound, Cancelled };
    Outcome outcome = Outcome::NotFound;
    FoundServers servers;
    SettingsSource source = SettingsSource::Given;
    // Where exactly: the document's URL, the provider's name, the SRV names
    // answered, the hosts that greeted.
    std::string sourceDetail;
    // The provider's row, when the domain is in the table (even when the
    // servers came from elsewhere): its message limit, IMAP ID, notes.
    std::optional<ProviderEntry> provider;
    // What each step that found nothing ran into, in order ("autoconfig.
    // example.org: HTTP status 404"); shown when nothing was found.
    std::vector<std::string> notes;
};

using DiscoveryProgress = std::function<void(const std::string& what)>;

// `given` holds what the user typed or what is remembered (`givenSource`);
// when it is complete nothing is looked up, otherwise the servers it has
// replace the ones found.
DiscoveryResult discoverServers(const std::string& address, const FoundServers& given,
                                SettingsSource givenSource, const DiscoveryOptions& options,
                                const std::function<bool()>& cancelled,
                                const DiscoveryProgress& progress);

// The options of this installation: the installed provider table, and
// deploy.ini's autoconfiguration base and trusted CA file.
DiscoveryOptions deploymentDiscoveryOptions(bool tlsRequired);

// "the provider table", "the mail autoconfiguration document", ... for the
// sentence "Found from ...".
const char* settingsSourceText(SettingsSource source);

}  // namespace parvola
