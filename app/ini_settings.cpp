#include "app/ini_settings.h"

#include "app/process_state.h"
#include "mail/base64.h"
#include "platform/app_dir.h"
#include "platform/file_lock.h"
#include "platform/ini_file.h"

namespace parvola {
namespace {

// Booleans are read through a 10-byte buffer, as the dialog always did.
constexpr size_t kBoolBuffer = 10;

}  // namespace

std::string formatRememberedAccounts(const std::vector<RememberedAccount>& accounts) {
    std::string text;
    for (const auto& pair : accounts) {
        text += pair.account;
        text += ':';
        text += base64Encode(pair.password);
        text += ';';
    }
    return text;
}

std::vector<RememberedAccount> parseRememberedAccounts(std::string_view text) {
    std::vector<RememberedAccount> accounts;
    for (size_t semicolon = text.find(';'); semicolon != std::string_view::npos;
         semicolon = text.find(';')) {
        const std::string_view entry = text.substr(0, semicolon);
        text.remove_prefix(semicolon + 1);
        RememberedAccount pair;
        std::string_view encoded = entry;
        if (const size_t colon = entry.find(':'); colon != std::string_view::npos) {
            pair.account = std::string(entry.substr(0, colon));
            encoded = entry.substr(colon + 1);
        }
        base64Decode(encoded, pair.password);  // what decodes is kept, as before
        accounts.push_back(std::move(pair));
    }
    return accounts;
}

IniSettings::IniSettings() : IniSettings(appPath("config.ini")) {}

IniSettings::IniSettings(std::string path) : path_(std::move(path)) {
    accounts_ = loadAccounts();
    continueFlag_ = readContinue();
}

std::string IniSettings::readKey(const char* key) const {
    return readProfileString(kSettingsSection, key, "", path_);
}

bool IniSettings::readBool(const char* key) const {
    return readProfileString(kSettingsSection, key, "", path_, kBoolBuffer) == "true";
}

bool IniSettings::writeKey(const char* key, const std::string& value) const {
    return writeProfileString(kSettingsSection, key, value, path_);
}

std::vector<RememberedAccount> IniSettings::loadAccounts() const {
    return parseRememberedAccounts(
        readProfileString(kSettingsSection, kUserKey, "", path_, kUserReadLimit + 1));
}

bool IniSettings::rememberAccount(const std::string& account, const std::string& password) {
    if (account.find_first_of(";:\r\n") != std::string::npos)
        return false;
    FileLock update(updateLockPath());
    accounts_ = loadAccounts();
    if (accounts_.size() >= kMaxRememberedAccounts)
        return false;
    bool found = false;
    for (auto& pair : accounts_) {
        if (pair.account == account) {
            pair.password = password;
            found = true;
            break;
        }
    }
    if (!found)
        accounts_.push_back(RememberedAccount{account, password});
    return writeKey(kUserKey, formatRememberedAccounts(accounts_));
}

bool IniSettings::hasDefaultDownloadFolder() const {
    return !defaultDownloadFolder().empty();
}

std::string IniSettings::defaultDownloadFolder() const {
    // Read whole: a cut at a fixed length would end a path of multi-byte
    // (Chinese) folder names in the middle of a character.
    return readKey(kDefPathKey);
}

bool IniSettings::readContinue() const {
    return readBool(kContinueKey);
}

bool IniSettings::writeContinue(bool on) const {
    return writeKey(kContinueKey, on ? "true" : "false");
}

bool IniSettings::readAutoStart() const {
    return readBool(kAutoStartKey);
}

bool IniSettings::writeAutoStart(bool on) const {
    return writeKey(kAutoStartKey, on ? "true" : "false");
}

std::string IniSettings::readRemainWait() const {
    return readKey(kRemainWaitKey);
}

bool IniSettings::writeRemainWait(const std::string& value) const {
    return writeKey(kRemainWaitKey, value);
}

namespace {

// A small decimal count from `text` in [low, high]; `fallback` for anything else.
int smallCount(const std::string& text, int low, int high, int fallback) {
    if (text.empty() || text.size() > 2)
        return fallback;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return fallback;
        value = value * 10 + (c - '0');
    }
    return value >= low && value <= high ? value : fallback;
}

}  // namespace

int IniSettings::readRetryTries() const {
    return smallCount(readKey(kRetryTriesKey), 0, kMaxRetryTries, kDefaultRetryTries);
}

int IniSettings::readConnections() const {
    return smallCount(readKey(kConnectionsKey), 1, kMaxConnections, kDefaultConnections);
}

bool IniSettings::writeConnections(int connections) const {
    return writeKey(kConnectionsKey, std::to_string(connections));
}

bool IniSettings::writeRetryTries(int tries) const {
    return writeKey(kRetryTriesKey, std::to_string(tries));
}

bool IniSettings::writeDefPath(const std::string& folder) const {
    return writeKey(kDefPathKey, folder);
}

std::string formatColumnWidths(const std::vector<int>& widths) {
    std::string text;
    for (int width : widths) {
        if (!text.empty())
            text += ',';
        text += std::to_string(width);
    }
    return text;
}

std::vector<int> parseColumnWidths(std::string_view text) {
    std::vector<int> widths;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view entry = text.substr(0, comma);
        int width = 0;
        for (char c : entry) {
            if (c < '0' || c > '9' || width >= 1000)
                return {};
            width = width * 10 + (c - '0');
        }
        if (width <= 0)
            return {};
        widths.push_back(width);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return widths;
}

std::vector<int> IniSettings::readColumnWidths(const char* key) const {
    return parseColumnWidths(readKey(key));
}

bool IniSettings::writeColumnWidths(const char* key, const std::vector<int>& widths) const {
    return writeKey(key, formatColumnWidths(widths));
}

std::string IniSettings::readRemainTask() const {
    return readKey(kRemainTaskKey);
}

bool IniSettings::writeRemainTask(const std::string& value) const {
    return writeKey(kRemainTaskKey, value);
}

bool shutdownWhenDone() {
    return processValues().shutdownWhenDone.load();
}

void setShutdownWhenDone(bool on) {
    processValues().shutdownWhenDone.store(on);
}

}  // namespace parvola
