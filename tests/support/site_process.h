#pragma once
// The real parvola-site service for one test: started on a free loopback port
// with a fresh database in a folder of its own, stopped when the object dies.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {

// One line of `parvola-site log`: when, which form, and the form text as the
// service decoded it (escapes undone).
struct SiteLogEntry {
    std::string time;
    std::string kind;  // login, xml, delete, share, weblogin
    std::string form;
};

class SiteProcess {
  public:
    // Starts the service; started() tells whether that worked (the reason
    // goes to standard error).
    SiteProcess();
    ~SiteProcess();
    SiteProcess(const SiteProcess&) = delete;
    SiteProcess& operator=(const SiteProcess&) = delete;

    bool started() const { return process_.started() && port_ > 0; }
    int port() const { return port_; }
    // "http://127.0.0.1:PORT"
    std::string baseUrl() const;
    std::string notificationUrl() const;
    std::string dbPath() const { return (dir_ / "site.db").string(); }

    // The [site] section of deploy.ini that points the client here.
    std::string deployIniSection() const;
    // Appends that section to <appHome>/deploy.ini.
    void pointClientHere(const std::filesystem::path& appHome) const;

    // parvola-site add-user; false when it failed.
    bool addUser(const std::string& address, const std::string& password,
                 const std::string& mailbox, const std::string& mailboxPassword,
                 bool catalog = false) const;
    // parvola-site log, parsed; `kind` empty for every kind.
    std::vector<SiteLogEntry> log(const std::string& kind = "") const;

    // The path of the parvola-site program under test.
    static std::string binary();
    // Runs parvola-site with `args`; its exit code (-1 when it could not run)
    // and what it wrote to standard output and standard error.
    static int run(const std::vector<std::string>& args, std::string* out = nullptr,
                   std::string* err = nullptr);

  private:
    TempDir dir_;
    // Its standard output stays open while the service runs, so that nothing
    // it writes later can end it with a broken pipe.
    ChildProcess process_;
    int port_ = 0;
};

}  // namespace parvola::test
