#pragma once
// Test certificates made with the openssl command.
#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

namespace parvola::test {

// Makes a CA and certificates signed by it with the openssl command, in a
// folder that lives as long as the object.
class TestCertificates {
  public:
    TestCertificates() : dir_("parvola-certs") {}
    // A self-signed CA named `name`: files name.pem and name.key.
    bool makeCa(const std::string& name) {
        return run(
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
            "-days 2 -keyout " +
            name + ".key -out " + name + ".pem -subj '/CN=" + name +
            "' -addext basicConstraints=critical,CA:TRUE "
            "-addext keyUsage=critical,keyCertSign,cRLSign");
    }
    // A server certificate `name` for `altNames` ("DNS:a.test,IP:127.0.0.1")
    // signed by the CA `ca`.
    bool makeServer(const std::string& name, const std::string& ca, const std::string& altNames) {
        writeFile(dir_ / (name + ".ext"), "subjectAltName=" + altNames +
                                              "\nbasicConstraints=CA:FALSE\n"
                                              "extendedKeyUsage=serverAuth\n");
        return run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " +
                   name + ".key -out " + name + ".csr -subj '/CN=" + name + "'") &&
               run("openssl x509 -req -in " + name + ".csr -CA " + ca + ".pem -CAkey " + ca +
                   ".key -CAcreateserial -days 2 -extfile " + name + ".ext -out " + name + ".pem");
    }
    std::string pem(const std::string& name) const { return (dir_ / (name + ".pem")).string(); }
    std::string key(const std::string& name) const { return (dir_ / (name + ".key")).string(); }

  private:
    bool run(const std::string& command) {
        const std::string line = "cd '" + dir_.str() + "' && " + command + " >/dev/null 2>&1";
        return std::system(line.c_str()) == 0;
    }
    TempDir dir_;
};

}  // namespace parvola::test
