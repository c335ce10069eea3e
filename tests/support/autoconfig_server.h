#pragma once
// Python's http.server on loopback serving autoconfiguration documents from
// a folder of the test's (tests/support/autoconfig_server.py): put(path,
// text) serves text at path, redirect() answers 302, slow() never answers.
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {

class AutoconfigServer {
  public:
    // Starts the server; port() is 0 when it did not start.
    AutoconfigServer();
    int port() const { return port_; }
    // "http://127.0.0.1:PORT", the lookup base for deploy.ini.
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

    void put(const std::string& path, const std::string& text);
    void redirect(const std::string& path, const std::string& target);
    void slow(const std::string& path, int seconds);

    // A config-v1.1.xml document with the given servers
    // (type, host, port, socketType) rows.
    static std::string document(const std::string& servers);
    static std::string server(const char* element, const char* type, const std::string& host,
                              int port, const char* socketType);

  private:
    TempDir root_;
    ChildProcess process_;
    int port_ = 0;
};

}  // namespace parvola::test
