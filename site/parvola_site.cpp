// parvola-site: the stand-in web service and its administration.
//
//   parvola-site serve --db FILE [--port PORT]
//   parvola-site add-user --db FILE ADDRESS PASSWORD MAILBOX MAILBOX_PASSWORD [--catalog]
//   parvola-site log --db FILE [--kind KIND]
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/text_codec.h"
#include "site/site_server.h"
#include "site/site_store.h"

namespace {

using parvola::site::SiteRecord;
using parvola::site::SiteServer;
using parvola::site::SiteStore;
using parvola::site::SiteUser;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kDefaultPort = 8421;

constexpr const char* kUsage =
    "usage:\n"
    "  parvola-site serve --db FILE [--port PORT]\n"
    "      Serves the login, notification and information pages on 127.0.0.1:PORT\n"
    "      (default 8421; 0 picks a free port). The first line on standard output\n"
    "      is \"listening on 127.0.0.1:PORT\". SIGTERM or SIGINT stops it.\n"
    "  parvola-site add-user --db FILE ADDRESS PASSWORD MAILBOX MAILBOX_PASSWORD [--catalog]\n"
    "      Adds a user, or replaces the user with that address. --catalog makes the\n"
    "      login tell the client to fetch its catalog from the mailbox (flag 1000).\n"
    "  parvola-site log --db FILE [--kind KIND]\n"
    "      Prints the forms the service took, oldest first, one per line:\n"
    "      TIME<tab>KIND<tab>FORM, KIND one of login, xml, delete, share, weblogin.\n"
    "      In FORM, backslash, tab, line ends and other control characters are\n"
    "      written as \\\\, \\t, \\n, \\r and \\xHH.\n";

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // "--db" -> value
    bool catalog = false;
};

// Options with a value, and the one flag.
bool parseArguments(int argc, char** argv, int first, Arguments& out, std::string& error) {
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--catalog") {
            out.catalog = true;
        } else if (arg == "--db" || arg == "--port" || arg == "--kind") {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out.options[arg] = argv[++i];
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            error = "unknown option " + arg;
            return false;
        } else {
            out.positional.push_back(arg);
        }
    }
    return true;
}

int usageError(const std::string& error) {
    std::fprintf(stderr, "parvola-site: %s\n%s", error.c_str(), kUsage);
    return kExitUsage;
}

int failure(const std::string& error) {
    std::fprintf(stderr, "parvola-site: %s\n", error.c_str());
    return kExitFailure;
}

bool parsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    port = std::atoi(text.c_str());
    return port <= 65535;
}

int serve(const Arguments& args) {
    if (!args.positional.empty() || args.catalog || args.options.count("--kind"))
        return usageError("serve takes only --db and --port");
    if (!args.options.count("--db"))
        return usageError("serve needs --db FILE");
    int port = kDefaultPort;
    if (args.options.count("--port") && !parsePort(args.options.at("--port"), port))
        return usageError("--port needs a number from 0 to 65535");

    std::string error;
    auto store = SiteStore::open(args.options.at("--db"), true, error);
    if (!store)
        return failure(error);

    // Stop on SIGTERM or SIGINT: every thread blocks them, one waits for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    SiteServer server(*store);
    int bound = server.bind(port);
    if (bound <= 0)
        return failure("cannot listen on 127.0.0.1:" + std::to_string(port));
    std::printf("listening on 127.0.0.1:%d\n", bound);
    std::fflush(stdout);

    std::thread stopper([&server, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    bool served = server.run();
    // When serving ended on its own, wake the waiting thread.
    kill(getpid(), SIGTERM);
    stopper.join();
    return served ? 0 : failure("serving stopped with an error");
}

// The login reply splits at "<" and ">", and the client reads it line by
// line: a value holding either would change what the client parses.
bool checkValue(const char* name, const std::string& value, std::string& error) {
    if (!parvola::isValidUtf8(value)) {
        error = std::string(name) + " is not UTF-8 text";
        return false;
    }
    if (value.find_first_of("<>\r\n") != std::string::npos) {
        error = std::string(name) + " must not contain <, > or a line break";
        return false;
    }
    return true;
}

int addUser(const Arguments& args) {
    if (args.positional.size() != 4 || args.options.count("--port") || args.options.count("--kind"))
        return usageError("add-user needs --db FILE ADDRESS PASSWORD MAILBOX MAILBOX_PASSWORD");
    if (!args.options.count("--db"))
        return usageError("add-user needs --db FILE");
    SiteUser user{args.positional[0], args.positional[1], args.positional[2], args.positional[3],
                  args.catalog ? 1000 : 0};
    if (user.address.empty())
        return usageError("the address must not be empty");
    std::string error;
    if (!checkValue("the address", user.address, error) ||
        !checkValue("the password", user.password, error) ||
        !checkValue("the mailbox", user.mailbox, error) ||
        !checkValue("the mailbox password", user.mailboxPassword, error))
        return usageError(error);

    auto store = SiteStore::open(args.options.at("--db"), true, error);
    if (!store)
        return failure(error);
    if (!store->putUser(user, error))
        return failure("cannot add user: " + error);
    std::printf("user %s: mailbox %s, catalog flag %d\n", user.address.c_str(),
                user.mailbox.c_str(), user.catalogFlag);
    return 0;
}

// One record per line: control characters and the backslash escaped.
std::string escapeForLine(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    return out;
}

int printLog(const Arguments& args) {
    if (!args.positional.empty() || args.catalog || args.options.count("--port"))
        return usageError("log takes only --db and --kind");
    if (!args.options.count("--db"))
        return usageError("log needs --db FILE");
    std::string error;
    auto store = SiteStore::open(args.options.at("--db"), false, error);
    if (!store)
        return failure(error);
    std::vector<SiteRecord> records;
    std::string kind = args.options.count("--kind") ? args.options.at("--kind") : "";
    if (!store->records(kind, records, error))
        return failure("cannot read the log: " + error);
    for (const SiteRecord& record : records)
        std::printf("%s\t%s\t%s\n", record.time.c_str(), record.kind.c_str(),
                    escapeForLine(record.form).c_str());
    return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usageError("no command given");
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Arguments args;
    std::string error;
    if (!parseArguments(argc, argv, 2, args, error))
        return usageError(error);
    if (command == "serve")
        return serve(args);
    if (command == "add-user")
        return addUser(args);
    if (command == "log")
        return printLog(args);
    return usageError("unknown command " + command);
}
