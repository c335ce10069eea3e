#include "setup/provider_data.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace parvola {
namespace {

constexpr size_t kMaxTableBytes = 1u << 20;

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool readYesNo(std::string_view value, bool& out) {
    if (value == "yes") {
        out = true;
        return true;
    }
    if (value == "no") {
        out = false;
        return true;
    }
    return false;
}

bool readSize(std::string_view value, uint64_t& out) {
    uint64_t unit = 1;
    if (!value.empty() && (value.back() == 'K' || value.back() == 'M')) {
        unit = value.back() == 'K' ? 1024 : 1024 * 1024;
        value.remove_suffix(1);
    }
    uint64_t number = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size() || number == 0 ||
        number > (uint64_t{1} << 40) / unit)
        return false;
    out = number * unit;
    return true;
}

// Reads one "key = value" into `entry`; an empty result means it was taken.
std::string applyKey(ProviderEntry& entry, std::string_view key, std::string_view value) {
    auto server = [&](ServerUrl& endpoint, ServerProtocol protocol) -> std::string {
        std::string error;
        if (!parseServerUrl(value, endpoint, error))
            return error;
        if (endpoint.protocol != protocol)
            return std::string(serverSchemeName(endpoint.protocol)) + " URL under " +
                   std::string(key);
        if (endpoint.tls == TlsMode::StartTlsIfOffered)
            return "a server without TLS from the start must say \"starttls\"";
        return {};
    };
    if (key == "name")
        entry.name = value;
    else if (key == "domains") {
        size_t pos = 0;
        while (pos < value.size()) {
            size_t end = value.find(' ', pos);
            if (end == std::string_view::npos)
                end = value.size();
            const std::string_view domain = value.substr(pos, end - pos);
            if (!domain.empty()) {
                if (!isServerHostName(domain) || domain.find('.') == std::string_view::npos)
                    return "not a domain: \"" + std::string(domain) + "\"";
                entry.domains.push_back(lower(domain));
            }
            pos = end + 1;
        }
    } else if (key == "imap")
        return server(entry.imap, ServerProtocol::Imap);
    else if (key == "pop3")
        return server(entry.pop3, ServerProtocol::Pop3);
    else if (key == "smtp")
        return server(entry.smtp, ServerProtocol::Smtp);
    else if (key == "message_limit") {
        if (!readSize(value, entry.messageLimit))
            return "not a size: \"" + std::string(value) + "\"";
    } else if (key == "imap_id" || key == "app_password" || key == "enable_access") {
        bool& flag = key == "imap_id"        ? entry.imapIdRequired
                     : key == "app_password" ? entry.appPasswordRequired
                                             : entry.accessMustBeEnabled;
        if (!readYesNo(value, flag))
            return std::string(key) + " must be yes or no";
    } else if (key == "reply_app_password")
        entry.appPasswordReplies.emplace_back(value);
    else if (key == "reply_enable_access")
        entry.enableAccessReplies.emplace_back(value);
    else if (key == "source")
        entry.source = value;
    else
        return "unknown key \"" + std::string(key) + "\"";
    return {};
}

std::string checkComplete(const ProviderEntry& entry) {
    if (entry.name.empty())
        return "no name";
    if (entry.domains.empty())
        return "no domains";
    if (entry.imap.empty() && entry.pop3.empty())
        return "neither imap nor pop3";
    if (entry.smtp.empty())
        return "no smtp";
    if (entry.source.empty())
        return "no source";
    return {};
}

}  // namespace

const ProviderEntry* ProviderTable::find(std::string_view domain) const {
    const std::string wanted = lower(domain);
    for (const ProviderEntry& entry : providers)
        if (std::find(entry.domains.begin(), entry.domains.end(), wanted) != entry.domains.end())
            return &entry;
    return nullptr;
}

bool parseProviderTable(std::string_view text, ProviderTable& table, std::string& error) {
    ProviderTable read;
    std::set<std::string> domains;
    std::set<std::string> ids;
    auto finishSection = [&]() -> bool {
        if (read.providers.empty())
            return true;
        const ProviderEntry& last = read.providers.back();
        if (std::string problem = checkComplete(last); !problem.empty()) {
            error = "[" + last.id + "]: " + problem;
            return false;
        }
        for (const std::string& domain : last.domains)
            if (!domains.insert(domain).second) {
                error = "[" + last.id + "]: domain " + domain + " is in two sections";
                return false;
            }
        return true;
    };
    size_t lineNumber = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNumber;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (line.empty() || line.front() == '#')
            continue;
        if (std::any_of(line.begin(), line.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; })) {
            error = where + "control character";
            return false;
        }
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                error = where + "a section name must be [NAME]";
                return false;
            }
            if (!finishSection())
                return false;
            ProviderEntry entry;
            entry.id = std::string(line.substr(1, line.size() - 2));
            if (!ids.insert(entry.id).second) {
                error = where + "section [" + entry.id + "] again";
                return false;
            }
            read.providers.push_back(std::move(entry));
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            error = where + "neither [SECTION] nor KEY = VALUE";
            return false;
        }
        if (read.providers.empty()) {
            error = where + "a key before the first section";
            return false;
        }
        const std::string_view key = trim(line.substr(0, equals));
        const std::string_view value = trim(line.substr(equals + 1));
        if (value.empty()) {
            error = where + "no value for " + std::string(key);
            return false;
        }
        if (std::string problem = applyKey(read.providers.back(), key, value); !problem.empty()) {
            error = where + problem;
            return false;
        }
    }
    if (!finishSection())
        return false;
    if (read.providers.empty()) {
        error = "no providers";
        return false;
    }
    table = std::move(read);
    return true;
}

std::string providerTablePath() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    std::vector<fs::path> candidates;
    if (!ec)
        candidates.push_back(self.parent_path().parent_path() / "share/parvola/providers.ini");
    candidates.emplace_back(PARVOLA_DATA_INSTALL_DIR "/providers.ini");
    candidates.emplace_back(PARVOLA_DATA_SOURCE_DIR "/providers.ini");
    for (const fs::path& candidate : candidates)
        if (fs::is_regular_file(candidate, ec))
            return candidate.string();
    return candidates.back().string();
}

bool loadProviderTable(const std::string& path, ProviderTable& table, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::string text;
    text.resize(kMaxTableBytes + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxTableBytes) {
        error = path + ": larger than 1 MiB";
        return false;
    }
    if (!parseProviderTable(text, table, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

const ProviderTable& installedProviderTable(std::string* error) {
    struct Loaded {
        ProviderTable table;
        std::string error;
        Loaded() {
            if (!loadProviderTable(providerTablePath(), table, error))
                table.providers.clear();
        }
    };
    static const Loaded loaded;
    if (error)
        *error = loaded.error;
    return loaded.table;
}

}  // namespace parvola
