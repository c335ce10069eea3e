#pragma once
// The table of large mail providers Parvola knows without asking anyone, read
// from the data file installed with the program (data/providers.ini in the
// source tree, which documents its keys).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/server_url.h"

namespace parvola {

struct ProviderEntry {
    std::string id;                    // the section name
    std::string name;                  // "Gmail"
    std::vector<std::string> domains;  // lower case
    ServerUrl imap;                    // empty host: not offered
    ServerUrl pop3;
    ServerUrl smtp;
    uint64_t messageLimit = 0;  // 0: not known
    bool imapIdRequired = false;
    bool appPasswordRequired = false;
    bool accessMustBeEnabled = false;
    std::vector<std::string> appPasswordReplies;
    std::vector<std::string> enableAccessReplies;
    std::string source;
};

struct ProviderTable {
    std::vector<ProviderEntry> providers;

    // The provider serving `domain` (any letter case), null when none.
    const ProviderEntry* find(std::string_view domain) const;
};

// Reads the table's text. False with `error` naming the line and what is
// wrong ("line 12: unknown key \"imap_port\""), or the section that lacks
// something ("[gmail]: no source"); a table with a mistake is refused whole.
bool parseProviderTable(std::string_view text, ProviderTable& table, std::string& error);

// The data file: beside the installed program (its ../share/parvola), else
// where it was installed to, else in the source tree of a build.
std::string providerTablePath();
// Reads and parses the file at `path` (at most 1 MiB).
bool loadProviderTable(const std::string& path, ProviderTable& table, std::string& error);
// The table at providerTablePath(), read once per run; empty when it could
// not be read (`error`, when given, then says why).
const ProviderTable& installedProviderTable(std::string* error = nullptr);

}  // namespace parvola
