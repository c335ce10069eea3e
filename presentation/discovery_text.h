#pragma once
// What both clients say about a search for a mailbox's servers: where the
// settings were found, the servers as URLs, and, when nothing was found,
// what each place answered.
#include <string>
#include <vector>

#include "setup/server_discovery.h"

namespace parvola {

// "Found from the mail autoconfiguration document (https://...)." and the
// like; for NotFound "No server settings were found for example.org." and
// for Cancelled "The search was cancelled."
std::string discoveryHeadline(const DiscoveryResult& result, const std::string& domain);
// "imap: imaps://imap.example.org:993", "pop3: ...", "smtp: ..." for the
// servers found, in that order.
std::vector<std::string> discoveredServerLines(const FoundServers& servers);

}  // namespace parvola
