#include "tests/support/site_process.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace parvola::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartBound = std::chrono::seconds(20);
constexpr auto kStopBound = std::chrono::seconds(10);

// Undoes the escapes of `parvola-site log`.
std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        char c = text[++i];
        if (c == 't')
            out.push_back('\t');
        else if (c == 'n')
            out.push_back('\n');
        else if (c == 'r')
            out.push_back('\r');
        else if (c == 'x' && i + 2 < text.size()) {
            out.push_back(
                static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16)));
            i += 2;
        } else
            out.push_back(c);
    }
    return out;
}

}  // namespace

std::string SiteProcess::binary() {
    return PARVOLA_SITE_BINARY;
}

int SiteProcess::run(const std::vector<std::string>& args, std::string* out, std::string* err) {
    std::vector<std::string> argv{binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess process;
    if (!process.start(argv, ChildProcess::kOutput | ChildProcess::kError))
        return -1;
    std::string outText, errText;
    process.drain(outText, errText);
    const int status = process.wait();
    if (out)
        *out = outText;
    if (err)
        *err = errText;
    return status;
}

SiteProcess::SiteProcess() : dir_("parvola-site") {
    if (!process_.start({binary(), "serve", "--port", "0", "--db", dbPath()},
                        ChildProcess::kOutput)) {
        std::fprintf(stderr, "SiteProcess: cannot start %s\n", binary().c_str());
        return;
    }
    std::string line;
    if (!process_.readOutputLine(line, Clock::now() + kStartBound) ||
        std::sscanf(line.c_str(), "listening on 127.0.0.1:%d", &port_) != 1) {
        std::fprintf(stderr, "SiteProcess: no \"listening on\" line from %s (got \"%s\")\n",
                     binary().c_str(), line.c_str());
        port_ = 0;
    }
}

SiteProcess::~SiteProcess() {
    if (!process_.started())
        return;
    process_.signal(SIGTERM);
    int status = 0;
    if (!process_.waitFor(kStopBound, status))
        process_.signal(SIGKILL);  // the destructor of process_ reaps it
}

std::string SiteProcess::baseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::string SiteProcess::notificationUrl() const {
    return baseUrl() + "/qk7rta$19bw4xn8p6.php";
}

std::string SiteProcess::deployIniSection() const {
    return "[site]\nbase=" + baseUrl() + "\ngroup=" + baseUrl() + "\n";
}

void SiteProcess::pointClientHere(const std::filesystem::path& appHome) const {
    std::ofstream out(appHome / "deploy.ini", std::ios::binary | std::ios::app);
    out << deployIniSection();
}

bool SiteProcess::addUser(const std::string& address, const std::string& password,
                          const std::string& mailbox, const std::string& mailboxPassword,
                          bool catalog) const {
    std::vector<std::string> args{"add-user", "--db",  dbPath(),       address,
                                  password,   mailbox, mailboxPassword};
    if (catalog)
        args.push_back("--catalog");
    return run(args) == 0;
}

std::vector<SiteLogEntry> SiteProcess::log(const std::string& kind) const {
    std::vector<std::string> args{"log", "--db", dbPath()};
    if (!kind.empty()) {
        args.push_back("--kind");
        args.push_back(kind);
    }
    std::string out;
    std::vector<SiteLogEntry> entries;
    if (run(args, &out) != 0)
        return entries;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        std::string line = out.substr(start, end - start);
        start = end + 1;
        size_t tab1 = line.find('\t');
        size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos)
            continue;
        entries.push_back({line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1),
                           unescape(line.substr(tab2 + 1))});
    }
    return entries;
}

}  // namespace parvola::test
