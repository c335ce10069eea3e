#include "setup/server_discovery.h"

#include "platform/deploy_config.h"
#include "setup/autoconfig_reader.h"
#include "setup/greeting_probe.h"
#include "setup/http_document_fetch.h"

namespace parvola {
namespace {

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

class Search {
  public:
    Search(const std::string& domain, const DiscoveryOptions& options,
           const std::function<bool()>& cancelled, const DiscoveryProgress& progress,
           DiscoveryResult& result)
        : domain_(domain),
          options_(options),
          cancelled_(cancelled),
          progress_(progress),
          result_(result) {}

    bool stopped() const { return cancelled_ && cancelled_(); }
    void tell(const std::string& what) const {
        if (progress_)
            progress_(what);
    }
    void note(std::string text) { result_.notes.push_back(std::move(text)); }

    bool providerTable() {
        if (!options_.providers)
            return false;
        tell("Looking for " + domain_ + " in the provider table");
        const ProviderEntry* entry = options_.providers->find(domain_);
        if (!entry)
            return false;
        result_.provider = *entry;
        result_.servers = FoundServers{entry->imap, entry->pop3, entry->smtp};
        result_.sourceDetail = entry->name + " (" + entry->source + ")";
        return true;
    }

    bool autoconfig() {
        std::vector<std::string> urls;
        const std::string& base = options_.autoconfigBase;
        if (base.empty()) {
            urls.push_back("https://autoconfig." + domain_ + "/mail/config-v1.1.xml");
            urls.push_back("https://" + domain_ + "/.well-known/autoconfig/mail/config-v1.1.xml");
        } else {
            urls.push_back(base + "/autoconfig." + domain_ + "/mail/config-v1.1.xml");
            urls.push_back(base + "/" + domain_ + "/.well-known/autoconfig/mail/config-v1.1.xml");
        }
        FetchOptions fetch;
        fetch.timeout = options_.stepTimeout;
        fetch.maxBytes = kMaxAutoconfigBytes;
        fetch.allowPlainHttp = !base.empty() && base.rfind("http://", 0) == 0;
        fetch.caFile = options_.caFile;
        fetch.cancelled = cancelled_;
        for (const std::string& url : urls) {
            if (stopped())
                return false;
            tell("Asking " + url);
            FetchResult got = fetchDocument(url, fetch);
            if (got.outcome == FetchOutcome::Cancelled)
                return false;
            if (got.outcome != FetchOutcome::Ok) {
                note(url + ": " + got.failure);
                continue;
            }
            AutoconfigResult read = readAutoconfig(got.body, domain_, options_.tlsRequired);
            if (read.refusal != AutoconfigRefusal::None) {
                note(url + ": " + read.reason);
                continue;
            }
            result_.servers = read.servers;
            result_.sourceDetail = got.finalUrl.empty() ? url : got.finalUrl;
            return true;
        }
        return false;
    }

    bool dnsSrv() {
        SystemSrvResolver system;
        SrvResolver& resolver = options_.resolver ? *options_.resolver : system;
        struct Service {
            const char* prefix;
            ServerProtocol protocol;
            bool implicitTls;
        };
        static constexpr Service kServices[] = {
            {"_imaps._tcp.", ServerProtocol::Imap, true},
            {"_imap._tcp.", ServerProtocol::Imap, false},
            {"_pop3s._tcp.", ServerProtocol::Pop3, true},
            {"_submissions._tcp.", ServerProtocol::Smtp, true},
            {"_submission._tcp.", ServerProtocol::Smtp, false},
        };
        FoundServers found;
        std::string answered;
        for (const Service& service : kServices) {
            if (stopped())
                return false;
            ServerUrl& slot = service.protocol == ServerProtocol::Imap   ? found.imap
                              : service.protocol == ServerProtocol::Pop3 ? found.pop3
                                                                         : found.smtp;
            if (!slot.empty())
                continue;
            const std::string name = service.prefix + domain_;
            tell("Looking up " + name);
            for (const SrvRecord& record : resolver.lookup(name, options_.stepTimeout)) {
                if (record.target.empty() || record.target == ".")
                    break;  // the domain says it does not offer this service
                if (!isServerHostName(record.target)) {
                    note(name + ": a record names \"" + record.target.substr(0, 80) +
                         "\", which is not a host name");
                    continue;
                }
                slot.protocol = service.protocol;
                slot.host = lower(record.target);
                slot.port = record.port;
                slot.tls = service.implicitTls    ? TlsMode::Implicit
                           : options_.tlsRequired ? TlsMode::StartTls
                                                  : TlsMode::StartTlsIfOffered;
                answered += (answered.empty() ? "" : ", ") + name;
                break;
            }
        }
        if (!found.complete()) {
            if (!answered.empty())
                note("DNS SRV: only " + answered + " answered");
            return false;
        }
        result_.servers = found;
        result_.sourceDetail = answered;
        return true;
    }

    bool guess() {
        FoundServers found;
        std::string greeted;
        for (ServerProtocol protocol : {ServerProtocol::Imap, ServerProtocol::Smtp}) {
            ServerUrl& slot = protocol == ServerProtocol::Imap ? found.imap : found.smtp;
            for (const std::string& host : guessHosts(protocol)) {
                for (const ServerUrl& candidate : guessPorts(protocol, host)) {
                    if (stopped())
                        return false;
                    if (!slot.empty())
                        break;
                    tell("Trying " + formatServerUrl(candidate));
                    const ProbeResult probe =
                        probeGreeting(candidate, options_.caFile, options_.stepTimeout, cancelled_);
                    if (!probe.confirmed)
                        continue;
                    slot = candidate;
                    greeted += (greeted.empty() ? "" : ", ") + formatServerUrl(candidate);
                }
            }
        }
        if (!found.complete()) {
            note("no server answered at the usual names (imap., smtp., mail." + domain_ + ")");
            return false;
        }
        result_.servers = found;
        result_.sourceDetail = greeted;
        return true;
    }

  private:
    std::vector<std::string> guessHosts(ServerProtocol protocol) const {
        if (options_.guessHosts)
            return options_.guessHosts(protocol, domain_);
        if (protocol == ServerProtocol::Imap)
            return {"imap." + domain_, "mail." + domain_};
        if (protocol == ServerProtocol::Smtp)
            return {"smtp." + domain_, "mail." + domain_};
        return {};
    }
    std::vector<ServerUrl> guessPorts(ServerProtocol protocol, const std::string& host) const {
        if (options_.guessPorts)
            return options_.guessPorts(protocol, host);
        const TlsMode upgrade =
            options_.tlsRequired ? TlsMode::StartTls : TlsMode::StartTlsIfOffered;
        return {ServerUrl{protocol, host, defaultServerPort(protocol, true), TlsMode::Implicit},
                ServerUrl{protocol, host, defaultServerPort(protocol, false), upgrade}};
    }

    const std::string& domain_;
    const DiscoveryOptions& options_;
    const std::function<bool()>& cancelled_;
    const DiscoveryProgress& progress_;
    DiscoveryResult& result_;
};

void keepGiven(FoundServers& servers, const FoundServers& given) {
    if (!given.imap.empty() || !given.pop3.empty()) {
        servers.imap = given.imap;
        servers.pop3 = given.pop3;
    }
    if (!given.smtp.empty())
        servers.smtp = given.smtp;
}

}  // namespace

DiscoveryResult discoverServers(const std::string& address, const FoundServers& given,
                                SettingsSource givenSource, const DiscoveryOptions& options,
                                const std::function<bool()>& cancelled,
                                const DiscoveryProgress& progress) {
    DiscoveryResult result;
    const size_t at = address.rfind('@');
    const std::string domain =
        at == std::string::npos ? std::string() : lower(address.substr(at + 1));
    if (options.providers && !domain.empty())
        if (const ProviderEntry* entry = options.providers->find(domain))
            result.provider = *entry;
    if (given.complete()) {
        result.outcome = DiscoveryResult::Outcome::Found;
        result.servers = given;
        result.source = givenSource;
        return result;
    }
    if (!isServerHostName(domain) || domain.find('.') == std::string::npos) {
        result.notes.push_back("\"" + address + "\" does not end in a mail domain");
        return result;
    }
    Search search(domain, options, cancelled, progress, result);
    struct Step {
        SettingsSource source;
        bool (Search::*run)();
    };
    const Step steps[] = {
        {SettingsSource::ProviderTable, &Search::providerTable},
        {SettingsSource::Autoconfig, &Search::autoconfig},
        {SettingsSource::DnsSrv, &Search::dnsSrv},
        {SettingsSource::Guess, &Search::guess},
    };
    for (const Step& step : steps) {
        if (search.stopped()) {
            result.outcome = DiscoveryResult::Outcome::Cancelled;
            return result;
        }
        if ((search.*step.run)()) {
            result.outcome = DiscoveryResult::Outcome::Found;
            result.source = step.source;
            keepGiven(result.servers, given);
            return result;
        }
    }
    result.outcome =
        search.stopped() ? DiscoveryResult::Outcome::Cancelled : DiscoveryResult::Outcome::NotFound;
    return result;
}

DiscoveryOptions deploymentDiscoveryOptions(bool tlsRequired) {
    const DeployConfig deployment = loadDeployConfig();
    DiscoveryOptions options;
    options.autoconfigBase = deployment.autoconfigBase;
    options.caFile = deployment.caFile;
    options.tlsRequired = tlsRequired;
    options.providers = &installedProviderTable();
    return options;
}

const char* settingsSourceText(SettingsSource source) {
    switch (source) {
        case SettingsSource::Given:
            return "the settings given";
        case SettingsSource::Remembered:
            return "the settings remembered for the account";
        case SettingsSource::ProviderTable:
            return "the provider table";
        case SettingsSource::Autoconfig:
            return "the mail autoconfiguration document";
        case SettingsSource::DnsSrv:
            return "the DNS SRV records";
        case SettingsSource::Guess:
            return "a guess the servers' greetings confirmed";
    }
    return "";
}

}  // namespace parvola
