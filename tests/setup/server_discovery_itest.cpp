// Discovery against real peers: Python's http.server on loopback serving the
// autoconfiguration documents, and the real mail server greeting the servers
// found or guessed.
#include "setup/server_discovery.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "setup/greeting_probe.h"
#include "tests/support/autoconfig_server.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

using test::AutoconfigServer;
using test::MailStack;
using namespace std::chrono_literals;

class ScriptedResolver : public SrvResolver {
  public:
    std::vector<SrvRecord> lookup(const std::string& name, std::chrono::milliseconds) override {
        asked.push_back(name);
        auto found = records.find(name);
        return found == records.end() ? std::vector<SrvRecord>{} : found->second;
    }
    std::map<std::string, std::vector<SrvRecord>> records;
    std::vector<std::string> asked;
};

std::string loopbackServers() {
    return AutoconfigServer::server("incomingServer", "imap", "127.0.0.1", MailStack::imapsPort(),
                                    "SSL") +
           AutoconfigServer::server("outgoingServer", "smtp", "127.0.0.1", MailStack::smtpsPort(),
                                    "SSL");
}

class Discovery : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(server.port(), 0) << "the loopback HTTP server did not start";
        std::string error;
        ASSERT_TRUE(loadProviderTable(providerTablePath(), table, error)) << error;
        options.autoconfigBase = server.base();
        options.caFile = MailStack::caFile();
        options.providers = &table;
        options.resolver = &resolver;
        options.stepTimeout = 1500ms;
        // Guesses go to loopback: a closed port first, then the real ones.
        options.guessHosts = [](ServerProtocol, const std::string&) {
            return std::vector<std::string>{"127.0.0.1"};
        };
        options.guessPorts = [](ServerProtocol protocol, const std::string& host) {
            const int real =
                protocol == ServerProtocol::Imap ? MailStack::imapsPort() : MailStack::smtpsPort();
            // The POP3 server greets too, but not as IMAP or SMTP do.
            return std::vector<ServerUrl>{
                {protocol, host, 1, TlsMode::Implicit},
                {protocol, host, MailStack::pop3sPort(), TlsMode::Implicit},
                {protocol, host, real, TlsMode::Implicit}};
        };
    }
    DiscoveryResult discover(const std::string& address, const std::function<bool()>& cancel = {}) {
        steps.clear();
        return discoverServers(address, {}, SettingsSource::Given, options, cancel,
                               [this](const std::string& what) { steps.push_back(what); });
    }

    AutoconfigServer server;
    ProviderTable table;
    ScriptedResolver resolver;
    DiscoveryOptions options;
    std::vector<std::string> steps;
};

TEST_F(Discovery, LoopbackAutoconfigurationFindsTheRealServersWithoutAnyLogin) {
    server.put("autoconfig.example.test/mail/config-v1.1.xml",
               AutoconfigServer::document(loopbackServers()));
    const DiscoveryResult found = discover("me@Example.TEST");
    ASSERT_EQ(found.outcome, DiscoveryResult::Outcome::Found);
    EXPECT_EQ(found.source, SettingsSource::Autoconfig);
    const std::string url = server.base() + "/autoconfig.example.test/mail/config-v1.1.xml";
    EXPECT_EQ(found.sourceDetail, url);
    EXPECT_EQ(steps, (std::vector<std::string>{"Looking for example.test in the provider table",
                                               "Asking " + url}));
    EXPECT_EQ(formatServerUrl(found.servers.imap),
              "imaps://127.0.0.1:" + std::to_string(MailStack::imapsPort()));
    EXPECT_TRUE(resolver.asked.empty());
    // What was found is a real server of each kind.
    EXPECT_TRUE(probeGreeting(found.servers.imap, MailStack::caFile(), 5s, {}).confirmed);
    const ProbeResult smtp = probeGreeting(found.servers.smtp, MailStack::caFile(), 5s, {});
    EXPECT_TRUE(smtp.confirmed) << smtp.greeting;

    // A provider of the table needs no network at all; settings given whole
    // are taken as they are.
    const DiscoveryResult gmail = discover("someone@gmail.com");
    EXPECT_EQ(gmail.source, SettingsSource::ProviderTable);
    EXPECT_EQ(formatServerUrl(gmail.servers.smtp), "smtps://smtp.gmail.com:465");
    EXPECT_EQ(steps.size(), 1u);
    // The installation's settings: deploy.ini names the lookup base.
    test::AppHome home;
    test::writeFile(home.path() / "deploy.ini",
                    "[setup]\nautoconfig_base=" + server.base() + "/\n");
    const DiscoveryOptions deployed = deploymentDiscoveryOptions(true);
    EXPECT_EQ(deployed.autoconfigBase, server.base());
    EXPECT_FALSE(deployed.providers->providers.empty());
    EXPECT_EQ(discoverServers("me@example.test", {}, SettingsSource::Given, deployed, {}, {})
                  .sourceDetail,
              url);

    FoundServers given{found.servers.imap, {}, found.servers.smtp};
    const DiscoveryResult kept =
        discoverServers("me@nowhere.test", given, SettingsSource::Remembered, options, {}, {});
    EXPECT_EQ(kept.source, SettingsSource::Remembered);
    EXPECT_EQ(kept.servers.imap, found.servers.imap);
}

TEST_F(Discovery, BrokenSlowAndRedirectingAnswersMoveOnInOrder) {
    // Redirected once: the document at the end counts, and is named.
    server.redirect("autoconfig.moved.test/mail/config-v1.1.xml", "/elsewhere/config.xml");
    server.put("elsewhere/config.xml", AutoconfigServer::document(loopbackServers()));
    const DiscoveryResult moved = discover("me@moved.test");
    EXPECT_EQ(moved.source, SettingsSource::Autoconfig);
    EXPECT_EQ(moved.sourceDetail, server.base() + "/elsewhere/config.xml");

    // A server that never answers costs one step's time limit, then the
    // .well-known place is asked.
    server.slow("autoconfig.slow.test/mail/config-v1.1.xml", 60);
    server.put("slow.test/.well-known/autoconfig/mail/config-v1.1.xml",
               AutoconfigServer::document(loopbackServers()));
    const auto start = std::chrono::steady_clock::now();
    const DiscoveryResult slow = discover("me@slow.test");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(slow.source, SettingsSource::Autoconfig);
    EXPECT_EQ(slow.sourceDetail,
              server.base() + "/slow.test/.well-known/autoconfig/mail/config-v1.1.xml");
    ASSERT_EQ(slow.notes.size(), 1u);

    // Not XML, then a host with a control character: both refused with the
    // reason kept, and the SRV records answer.
    server.put("autoconfig.broken.test/mail/config-v1.1.xml", "<html><p>Welcome</html>");
    server.put(
        "broken.test/.well-known/autoconfig/mail/config-v1.1.xml",
        AutoconfigServer::document(
            AutoconfigServer::server("incomingServer", "imap", "imap.broken.test\r\nX: y", 993,
                                     "SSL") +
            AutoconfigServer::server("outgoingServer", "smtp", "smtp.broken.test", 465, "SSL")));
    resolver.records["_imap._tcp.broken.test"] = {{"mail.broken.test", 143, 0, 0}};
    resolver.records["_imaps._tcp.broken.test"] = {{"evil\x01.test", 993, 0, 0},
                                                   {"IMAP.broken.test", 993, 5, 0}};
    resolver.records["_submissions._tcp.broken.test"] = {{".", 0, 0, 0}};
    resolver.records["_submission._tcp.broken.test"] = {{"smtp.broken.test", 587, 0, 0}};
    const DiscoveryResult broken = discover("me@broken.test");
    ASSERT_EQ(broken.outcome, DiscoveryResult::Outcome::Found);
    EXPECT_EQ(broken.source, SettingsSource::DnsSrv);
    EXPECT_EQ(formatServerUrl(broken.servers.imap), "imaps://imap.broken.test:993");
    EXPECT_EQ(formatServerUrl(broken.servers.smtp), "smtp://smtp.broken.test:587 starttls");
    EXPECT_TRUE(broken.servers.pop3.empty());
    ASSERT_EQ(broken.notes.size(), 3u);
    EXPECT_EQ(broken.notes[0], server.base() +
                                   "/autoconfig.broken.test/mail/config-v1.1.xml: "
                                   "the autoconfiguration document is not "
                                   "well-formed XML");
    EXPECT_NE(broken.notes[1].find("names a server \"imap.broken.test\\x0D\\x0AX: y\" that is "
                                   "not a host name"),
              std::string::npos)
        << broken.notes[1];
    EXPECT_NE(broken.notes[2].find("which is not a host name"), std::string::npos);

    // Nothing anywhere: the guess, confirmed by greetings only, skipping a
    // closed port and a server that greets as another protocol.
    const DiscoveryResult guessed = discover("me@nothing.test");
    ASSERT_EQ(guessed.outcome, DiscoveryResult::Outcome::Found);
    EXPECT_EQ(guessed.source, SettingsSource::Guess);
    EXPECT_EQ(formatServerUrl(guessed.servers.imap),
              "imaps://127.0.0.1:" + std::to_string(MailStack::imapsPort()));
    EXPECT_EQ(formatServerUrl(guessed.servers.smtp),
              "smtps://127.0.0.1:" + std::to_string(MailStack::smtpsPort()));
    EXPECT_EQ(guessed.notes.size(), 2u);  // the two 404s
}

TEST_F(Discovery, TheSearchStopsWhenCancelledAndSaysSo) {
    server.slow("autoconfig.stuck.test/mail/config-v1.1.xml", 60);
    options.stepTimeout = 60s;
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(300ms);  // the user's click, not a wait for a result
        cancel = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const DiscoveryResult stopped = discover("me@stuck.test", [&] { return cancel.load(); });
    canceller.join();
    EXPECT_EQ(stopped.outcome, DiscoveryResult::Outcome::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_TRUE(resolver.asked.empty());
}

}  // namespace
}  // namespace parvola
