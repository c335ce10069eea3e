#include "site/site_store.h"

#include <sqlite3.h>

#include <ctime>

#include "platform/local_time.h"

namespace parvola::site {
namespace {

// A prepared statement that finalizes itself.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }
    // Binds text by length, so values with any bytes (NUL included) stay whole.
    bool bind(int index, const std::string& text) {
        return sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }
    bool bind(int index, int value) { return sqlite3_bind_int(stmt_, index, value) == SQLITE_OK; }
    std::string column(int index) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
        int size = sqlite3_column_bytes(stmt_, index);
        return text ? std::string(text, static_cast<size_t>(size)) : std::string();
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS users ("
    " address TEXT PRIMARY KEY NOT NULL,"
    " password TEXT NOT NULL,"
    " mailbox TEXT NOT NULL,"
    " mailbox_password TEXT NOT NULL,"
    " catalog_flag INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS notifications ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " received TEXT NOT NULL,"
    " kind TEXT NOT NULL,"
    " email TEXT NOT NULL,"
    " form TEXT NOT NULL);";

}  // namespace

std::unique_ptr<SiteStore> SiteStore::open(const std::string& path, bool create,
                                           std::string& error) {
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = "cannot open database " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<SiteStore> store(new SiteStore(db));
    // Several processes share the file (the server, add-user, log): wait for
    // each other's writes instead of failing with "database is locked".
    sqlite3_busy_timeout(db, 10000);
    if (!store->exec("PRAGMA journal_mode=WAL;", error) || !store->exec(kSchema, error)) {
        error = "cannot prepare database " + path + ": " + error;
        return nullptr;
    }
    return store;
}

SiteStore::~SiteStore() {
    sqlite3_close(db_);
}

bool SiteStore::exec(const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
}

bool SiteStore::putUser(const SiteUser& user, std::string& error) {
    std::lock_guard lock(mutex_);
    Statement stmt(db_,
                   "INSERT OR REPLACE INTO users (address, password, mailbox, mailbox_password,"
                   " catalog_flag) VALUES (?1, ?2, ?3, ?4, ?5)");
    if (!stmt.ok() || !stmt.bind(1, user.address) || !stmt.bind(2, user.password) ||
        !stmt.bind(3, user.mailbox) || !stmt.bind(4, user.mailboxPassword) ||
        !stmt.bind(5, user.catalogFlag) || sqlite3_step(stmt.get()) != SQLITE_DONE) {
        error = sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

std::optional<SiteUser> SiteStore::findUser(const std::string& address, std::string& error) {
    std::lock_guard lock(mutex_);
    Statement stmt(db_,
                   "SELECT address, password, mailbox, mailbox_password, catalog_flag"
                   " FROM users WHERE address = ?1");
    if (!stmt.ok() || !stmt.bind(1, address)) {
        error = sqlite3_errmsg(db_);
        return std::nullopt;
    }
    int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE)
        return std::nullopt;
    if (rc != SQLITE_ROW) {
        error = sqlite3_errmsg(db_);
        return std::nullopt;
    }
    SiteUser user;
    user.address = stmt.column(0);
    user.password = stmt.column(1);
    user.mailbox = stmt.column(2);
    user.mailboxPassword = stmt.column(3);
    user.catalogFlag = sqlite3_column_int(stmt.get(), 4);
    return user;
}

bool SiteStore::addRecord(const std::string& kind, const std::string& email,
                          const std::string& form, std::string& error) {
    std::lock_guard lock(mutex_);
    Statement stmt(db_,
                   "INSERT INTO notifications (received, kind, email, form)"
                   " VALUES (?1, ?2, ?3, ?4)");
    if (!stmt.ok() || !stmt.bind(1, localTimeText(std::time(nullptr), YearDigits::Four)) ||
        !stmt.bind(2, kind) || !stmt.bind(3, email) || !stmt.bind(4, form) ||
        sqlite3_step(stmt.get()) != SQLITE_DONE) {
        error = sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

bool SiteStore::records(const std::string& kind, std::vector<SiteRecord>& out, std::string& error) {
    std::lock_guard lock(mutex_);
    Statement stmt(db_,
                   "SELECT id, received, kind, email, form FROM notifications"
                   " WHERE ?1 = '' OR kind = ?1 ORDER BY id");
    if (!stmt.ok() || !stmt.bind(1, kind)) {
        error = sqlite3_errmsg(db_);
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        SiteRecord record;
        record.id = sqlite3_column_int64(stmt.get(), 0);
        record.time = stmt.column(1);
        record.kind = stmt.column(2);
        record.email = stmt.column(3);
        record.form = stmt.column(4);
        out.push_back(std::move(record));
    }
    if (rc != SQLITE_DONE) {
        error = sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

}  // namespace parvola::site
