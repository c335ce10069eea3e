#pragma once
// The stand-in web service's database (SQLite): the users the login page
// answers from, and every form the service has taken, in arrival order.
// One object per process; its calls may come from any server thread.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace parvola::site {

struct SiteUser {
    std::string address;  // what the client types at login
    std::string password;
    std::string mailbox;
    std::string mailboxPassword;
    int catalogFlag = 0;  // 1000: the catalog lives in the mailbox
};

// One form the service took: when, which kind ("login", "xml", "delete",
// "share", "weblogin"), for whom, and the whole form as UTF-8 text.
struct SiteRecord {
    long long id = 0;
    std::string time;  // local time, "%Y-%m-%d %H:%M:%S"
    std::string kind;
    std::string email;
    std::string form;
};

class SiteStore {
  public:
    // Opens (and with `create`, creates) the database at `path`. Null with
    // `error` set when that fails.
    static std::unique_ptr<SiteStore> open(const std::string& path, bool create,
                                           std::string& error);
    ~SiteStore();
    SiteStore(const SiteStore&) = delete;
    SiteStore& operator=(const SiteStore&) = delete;

    // Adds the user or replaces the record of the same address.
    bool putUser(const SiteUser& user, std::string& error);
    // The user with exactly this address (byte comparison).
    std::optional<SiteUser> findUser(const std::string& address, std::string& error);
    bool addRecord(const std::string& kind, const std::string& email, const std::string& form,
                   std::string& error);
    // Every record, oldest first; `kind` empty for all kinds.
    bool records(const std::string& kind, std::vector<SiteRecord>& out, std::string& error);

  private:
    explicit SiteStore(sqlite3* db) : db_(db) {}
    bool exec(const char* sql, std::string& error);

    std::mutex mutex_;
    sqlite3* db_;
};

}  // namespace parvola::site
