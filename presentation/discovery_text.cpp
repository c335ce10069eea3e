#include "presentation/discovery_text.h"

namespace parvola {

std::string discoveryHeadline(const DiscoveryResult& result, const std::string& domain) {
    switch (result.outcome) {
        case DiscoveryResult::Outcome::Cancelled:
            return "The search was cancelled.";
        case DiscoveryResult::Outcome::NotFound:
            return "No server settings were found for " + domain + ".";
        case DiscoveryResult::Outcome::Found:
            break;
    }
    std::string text = std::string("Found from ") + settingsSourceText(result.source);
    if (!result.sourceDetail.empty())
        text += " (" + result.sourceDetail + ")";
    return text + ".";
}

std::vector<std::string> discoveredServerLines(const FoundServers& servers) {
    std::vector<std::string> lines;
    for (const ServerUrl* server : {&servers.imap, &servers.pop3, &servers.smtp})
        if (!server->empty())
            lines.push_back(std::string(serverSchemeName(server->protocol)) + ": " +
                            formatServerUrl(*server));
    return lines;
}

}  // namespace parvola
