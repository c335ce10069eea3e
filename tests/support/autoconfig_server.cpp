#include "tests/support/autoconfig_server.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace parvola::test {
namespace {

void writeServed(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

AutoconfigServer::AutoconfigServer() : root_("parvola-autoconfig") {
    if (!process_.start({"/usr/bin/python3", PARVOLA_AUTOCONFIG_SERVER_SCRIPT, root_.str()},
                        ChildProcess::kOutput))
        return;
    std::string line;
    if (process_.readOutputLine(line, std::chrono::steady_clock::now() + std::chrono::seconds(20)))
        port_ = std::atoi(line.c_str());
}

void AutoconfigServer::put(const std::string& path, const std::string& text) {
    writeServed(root_ / path, text);
}

void AutoconfigServer::redirect(const std::string& path, const std::string& target) {
    writeServed(root_ / (path + ".redirect"), target);
}

void AutoconfigServer::slow(const std::string& path, int seconds) {
    writeServed(root_ / (path + ".slow"), std::to_string(seconds));
}

std::string AutoconfigServer::document(const std::string& servers) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<clientConfig version=\"1.1\">\n"
           "<emailProvider id=\"test\"><domain>test</domain>"
           "<displayName>Test</displayName>\n" +
           servers + "</emailProvider>\n</clientConfig>\n";
}

std::string AutoconfigServer::server(const char* element, const char* type, const std::string& host,
                                     int port, const char* socketType) {
    return std::string("<") + element + " type=\"" + type + "\"><hostname>" + host +
           "</hostname><port>" + std::to_string(port) + "</port><socketType>" + socketType +
           "</socketType><username>%EMAILADDRESS%</username>"
           "<authentication>password-cleartext</authentication></" +
           element + ">\n";
}

}  // namespace parvola::test
