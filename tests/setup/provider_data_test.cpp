#include "setup/provider_data.h"

#include <gtest/gtest.h>

namespace parvola {
namespace {

// The shipped table: every provider people ask for is there, and every row
// has well-formed hosts, ports, TLS and a source.
TEST(ProviderTable, ShippedFileCoversTheLargeProvidersWithWellFormedRows) {
    ProviderTable table;
    std::string error;
    ASSERT_TRUE(loadProviderTable(providerTablePath(), table, error)) << error;
    for (const char* domain :
         {"gmail.com", "outlook.com", "hotmail.com", "yahoo.com", "icloud.com", "gmx.net",
          "yandex.ru", "zoho.com", "fastmail.com", "qq.com", "foxmail.com", "163.com", "126.com",
          "yeah.net", "sina.com", "sohu.com", "aliyun.com"})
        EXPECT_NE(table.find(domain), nullptr) << domain;
    for (const ProviderEntry& entry : table.providers) {
        for (const ServerUrl* server : {&entry.imap, &entry.pop3, &entry.smtp}) {
            if (server->empty())
                continue;
            EXPECT_TRUE(isServerHostName(server->host)) << entry.id;
            EXPECT_NE(server->host.find('.'), std::string::npos) << entry.id;
            EXPECT_TRUE(server->port > 0 && server->port < 65536) << entry.id;
            // A provider's own server is never reached without TLS.
            EXPECT_TRUE(server->tls == TlsMode::Implicit || server->tls == TlsMode::StartTls)
                << entry.id << " " << formatServerUrl(*server);
        }
        EXPECT_FALSE(entry.source.empty()) << entry.id;
    }
    const ProviderEntry* gmail = table.find("GMail.COM");
    ASSERT_NE(gmail, nullptr);
    EXPECT_EQ(formatServerUrl(gmail->imap), "imaps://imap.gmail.com:993");
    EXPECT_EQ(table.find("163.com")->imapIdRequired, true);
    EXPECT_EQ(formatServerUrl(table.find("me.com")->smtp), "smtp://smtp.mail.me.com:587 starttls");
    EXPECT_TRUE(table.find("me.com")->pop3.empty());
    EXPECT_EQ(table.find("foxmail.com")->messageLimit, 50u * 1024 * 1024);
    EXPECT_EQ(table.find("example.org"), nullptr);
}

TEST(ProviderTable, MistakesAreRefusedNamingTheLineOrSection) {
    const std::string good =
        "[p]\nname = P\ndomains = p.example\nimap = imaps://imap.p.example\n"
        "smtp = smtps://smtp.p.example:465\nsource = test\n";
    ProviderTable table;
    std::string error;
    ASSERT_TRUE(parseProviderTable(good, table, error)) << error;
    EXPECT_EQ(table.providers.at(0).imap.port, 993);

    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {good + "imap_port = 993\n", "line 7: unknown key \"imap_port\""},
        {"name = X\n" + good, "line 1: a key before the first section"},
        {good + "imap = imaps://imap.p.example:99999\n",
         "line 7: \"imaps://imap.p.example:99999\" is not a server address: the port must be a "
         "number from 1 to 65535"},
        {good + "imap = imaps://bad\x01host\n", "line 7: control character"},
        {good + "imap = imaps://bad host\n",
         "line 7: \"imaps://bad host\" is not a server address: a server address holds no "
         "blanks"},
        {good + "smtp = smtp://smtp.p.example\n",
         "line 7: a server without TLS from the start must say \"starttls\""},
        {good + "pop3 = imaps://imap.p.example\n", "line 7: imap URL under pop3"},
        {good + "imap_id = maybe\n", "line 7: imap_id must be yes or no"},
        {good + "message_limit = lots\n", "line 7: not a size: \"lots\""},
        {"[p]\nname = P\ndomains = p.example\nimap = imaps://imap.p.example\n"
         "smtp = smtps://smtp.p.example\n",
         "[p]: no source"},
        {good + "[q]\nname = Q\ndomains = P.example\nimap = imaps://i.q\nsmtp = smtps://s.q\n"
                "source = t\n",
         "[q]: domain p.example is in two sections"},
        {good + good, "line 7: section [p] again"},
        {"# nothing\n", "no providers"},
    };
    for (const Case& c : cases) {
        ProviderTable untouched;
        EXPECT_FALSE(parseProviderTable(c.text, untouched, error)) << c.text;
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(untouched.providers.empty());
    }
    EXPECT_FALSE(loadProviderTable("/nonexistent/providers.ini", table, error));
    EXPECT_EQ(error, "/nonexistent/providers.ini: cannot be read");
}

}  // namespace
}  // namespace parvola
