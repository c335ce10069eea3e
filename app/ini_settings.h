#pragma once
// The settings file config.ini in the application directory, section
// "Generic". A short-lived record: each user constructs one when needed, uses
// it and drops it; every value is read from the file at the moment it is
// needed and every change is written at once, so nothing is cached between users.
//
// Keys: "user" (remembered accounts), "Continue", "DefPath", "AutoStart",
// "RemainTask" (unfinished transfers; their format belongs to the transfer
// engine). Booleans are written "true"/"false"; only the exact text "true" reads as on.
#include <string>
#include <string_view>
#include <vector>

namespace parvola {

inline constexpr const char* kSettingsSection = "Generic";
inline constexpr const char* kUserKey = "user";
inline constexpr const char* kContinueKey = "Continue";
inline constexpr const char* kDefPathKey = "DefPath";
inline constexpr const char* kAutoStartKey = "AutoStart";
inline constexpr const char* kRemainTaskKey = "RemainTask";
// The desktop client's column widths, kept from one run to the next.
inline constexpr const char* kFileListColumnsKey = "FileListColumns";
inline constexpr const char* kTaskListColumnsKey = "TaskListColumns";
// How often a piece whose store or read failed for a passing reason is tried
// again before its transfer fails (0 to kMaxRetryTries; kDefaultRetryTries
// when missing or not a number in range).
inline constexpr const char* kRetryTriesKey = "RetryTries";
// When unfinished transfers saved in "RemainTask" wait out a provider's
// limit: until when (the records' format belongs to the transfer engine).
inline constexpr const char* kRemainWaitKey = "RemainWait";
inline constexpr int kDefaultRetryTries = 5;
inline constexpr int kMaxRetryTries = 20;
// How many connections one transfer uses at once for the pieces of its file
// (1 to kMaxConnections; kDefaultConnections when missing or not a number in
// range). Providers cap each connection's rate, so several together move a
// file faster; 1 sends and reads piece after piece on one connection.
inline constexpr const char* kConnectionsKey = "Connections";
inline constexpr int kDefaultConnections = 4;
inline constexpr int kMaxConnections = 16;

// Column widths as kept: decimal widths joined by ",". Parsing stops at the
// first entry that is not a positive width below 10000 (none are kept then).
std::string formatColumnWidths(const std::vector<int>& widths);
std::vector<int> parseColumnWidths(std::string_view text);

// How much of "user" is seen: a 256-byte buffer, so 255 bytes.
inline constexpr size_t kUserReadLimit = 255;
// rememberAccount adds and updates nothing once this many are remembered.
inline constexpr size_t kMaxRememberedAccounts = 11;

struct RememberedAccount {
    std::string account;   // as typed at login
    std::string password;  // decoded; empty when not remembered
    bool operator==(const RememberedAccount&) const = default;
};

// "account:base64(password);" for each pair, in order.
std::string formatRememberedAccounts(const std::vector<RememberedAccount>& accounts);
// Entries up to each ";"; the account is the text before the entry's first ":"
// (empty when it has none, the whole entry then being the password's Base64).
// Text after the last ";" is ignored. Invalid Base64 decodes as far as it goes.
std::vector<RememberedAccount> parseRememberedAccounts(std::string_view text);

class IniSettings {
  public:
    // The application directory's config.ini; loads "user" and "Continue".
    IniSettings();
    // Another settings file (tests, tools).
    explicit IniSettings(std::string path);

    const std::string& path() const { return path_; }
    // Lock file for changes that read and write the file in several steps
    // (remembering an account, taking and saving unfinished transfers): held
    // around the whole sequence, it keeps other threads and processes from
    // slipping a write in between.
    std::string updateLockPath() const { return path_ + ".update.lock"; }

    // As loaded at construction.
    bool continueFlag() const { return continueFlag_; }
    const std::vector<RememberedAccount>& accounts() const { return accounts_; }

    // Records a successful login: replaces the password of an equal account
    // in place or appends the pair, then writes "user" whole. Reads the list
    // afresh under the update lock first, so logins in other processes are
    // kept. Does nothing when 11 or more accounts are remembered, or when the
    // account holds ";", ":" or a line break (it would not read back and would
    // spoil the entries beside it). True when "user" was written.
    bool rememberAccount(const std::string& account, const std::string& password);

    // "DefPath", read afresh and whole.
    bool hasDefaultDownloadFolder() const;
    std::string defaultDownloadFolder() const;

    // Single keys for the settings dialog and the command line; the readers
    // read afresh, the writers write at once (false when the file cannot be written).
    bool readContinue() const;
    bool writeContinue(bool on) const;
    bool readAutoStart() const;
    bool writeAutoStart(bool on) const;
    std::string readDefPath() const { return defaultDownloadFolder(); }
    bool writeDefPath(const std::string& folder) const;

    // Column widths of a list view (kFileListColumnsKey, kTaskListColumnsKey);
    // empty when none were kept or the value does not read back.
    std::vector<int> readColumnWidths(const char* key) const;
    bool writeColumnWidths(const char* key, const std::vector<int>& widths) const;

    // "RemainTask" whole (no length limit); the records' format is the transfer
    // engine's. Callers that read, change and write it hold the update lock.
    std::string readRemainTask() const;
    bool writeRemainTask(const std::string& value) const;
    // "RemainWait" whole; callers hold the update lock as for "RemainTask".
    std::string readRemainWait() const;
    bool writeRemainWait(const std::string& value) const;
    // "RetryTries", read afresh.
    int readRetryTries() const;
    bool writeRetryTries(int tries) const;
    // "Connections", read afresh.
    int readConnections() const;
    bool writeConnections(int connections) const;

  private:
    std::string readKey(const char* key) const;
    bool readBool(const char* key) const;
    bool writeKey(const char* key, const std::string& value) const;
    std::vector<RememberedAccount> loadAccounts() const;

    std::string path_;
    bool continueFlag_ = false;
    std::vector<RememberedAccount> accounts_;
};

// Shut the machine down when the last transfer ends: for this run only, off at
// every start; set from the settings dialog, read by the transfer workers.
bool shutdownWhenDone();
void setShutdownWhenDone(bool on);

}  // namespace parvola
