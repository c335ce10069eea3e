// Server addresses as users type them, the rules that turn a direct login's
// options into settings, and the settings as config.ini keeps them.
#include "app/direct_account.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/ini_file.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

DirectAccountRequest requestFor(const std::string& address, const std::string& imap,
                                const std::string& pop3, const std::string& smtp) {
    DirectAccountRequest request;
    request.address = address;
    request.imapUrl = imap;
    request.pop3Url = pop3;
    request.smtpUrl = smtp;
    return request;
}

ServerUrl parsed(const std::string& text) {
    ServerUrl url;
    std::string error;
    EXPECT_TRUE(parseServerUrl(text, url, error)) << text << ": " << error;
    return url;
}

std::string refusal(const std::string& text) {
    ServerUrl url;
    std::string error;
    EXPECT_FALSE(parseServerUrl(text, url, error)) << text;
    return error;
}

TEST(ServerUrl, SchemesChooseProtocolTlsAndDefaultPort) {
    const struct {
        const char* text;
        ServerProtocol protocol;
        int port;
        TlsMode tls;
    } cases[] = {
        {"imap://mail.example.org", ServerProtocol::Imap, 143, TlsMode::StartTlsIfOffered},
        {"IMAPS://mail.example.org", ServerProtocol::Imap, 993, TlsMode::Implicit},
        {"pop3://mail.example.org", ServerProtocol::Pop3, 110, TlsMode::StartTlsIfOffered},
        {"pop3s://mail.example.org/", ServerProtocol::Pop3, 995, TlsMode::Implicit},
        {"smtp://mail.example.org", ServerProtocol::Smtp, 587, TlsMode::StartTlsIfOffered},
        {"smtps://mail.example.org", ServerProtocol::Smtp, 465, TlsMode::Implicit},
    };
    for (const auto& c : cases) {
        const ServerUrl url = parsed(c.text);
        EXPECT_EQ(url.protocol, c.protocol) << c.text;
        EXPECT_EQ(url.port, c.port) << c.text;
        EXPECT_EQ(url.tls, c.tls) << c.text;
        EXPECT_EQ(url.host, "mail.example.org");
        EXPECT_EQ(parsed(formatServerUrl(url)), url) << formatServerUrl(url);
    }
    const ServerUrl v6 = parsed("imaps://[::1]:10993");
    EXPECT_EQ(v6.host, "::1");
    EXPECT_EQ(v6.port, 10993);
    EXPECT_EQ(formatServerUrl(v6), "imaps://[::1]:10993");
    EXPECT_EQ(parsed("smtp://127.0.0.1:2525").port, 2525);
    EXPECT_EQ(parsed("smtp://[fe80::1]").port, 587);
}

TEST(ServerUrl, AnAddressEndingInStarttlsAlwaysUpgradesAndReadsBackTheSame) {
    const ServerUrl url = parsed("smtp://smtp.example.org starttls");
    EXPECT_EQ(url.tls, TlsMode::StartTls);
    EXPECT_EQ(url.port, 587);
    EXPECT_EQ(formatServerUrl(url), "smtp://smtp.example.org:587 starttls");
    EXPECT_EQ(parsed(formatServerUrl(url)), url);
    EXPECT_NE(refusal("imaps://imap.example.org starttls").find("TLS from the start"),
              std::string::npos);
    EXPECT_FALSE(isServerHostName("imap.example.org\r\nX"));
    EXPECT_FALSE(isServerHostName("-imap.example.org"));
    EXPECT_TRUE(isServerHostName("imap.example.org."));
}

TEST(ServerUrl, EverythingElseIsRefusedInWords) {
    EXPECT_NE(refusal("ftp://host").find("unknown scheme \"ftp\""), std::string::npos);
    EXPECT_NE(refusal("http://host").find("unknown scheme"), std::string::npos);
    EXPECT_NE(refusal("mail.example.org").find("write it as"), std::string::npos);
    EXPECT_NE(refusal("imaps://host/INBOX").find("no path"), std::string::npos);
    EXPECT_NE(refusal("imaps://host?x=1").find("no path"), std::string::npos);
    EXPECT_NE(refusal("imaps://me@host").find("no user name"), std::string::npos);
    EXPECT_NE(refusal("imaps://me:pw@host").find("no user name"), std::string::npos);
    for (const char* port : {"0", "65536", "99999999", "-1", "x", "", "14x"})
        EXPECT_NE(refusal(std::string("imap://host:") + port).find("1 to 65535"), std::string::npos)
            << port;
    EXPECT_NE(refusal("imap://host:65536").find("1 to 65535"), std::string::npos);
    EXPECT_NE(refusal("imap://host:").find("1 to 65535"), std::string::npos);
    EXPECT_NE(refusal("imap://").find("no host name"), std::string::npos);
    EXPECT_NE(refusal("imap://:143").find("no host name"), std::string::npos);
    EXPECT_NE(refusal("imap://[]:143").find("not an IPv6"), std::string::npos);
    EXPECT_NE(refusal("imap://[::1").find("closing"), std::string::npos);
    EXPECT_NE(refusal("imap://::1").find("in brackets"), std::string::npos);
    EXPECT_NE(refusal("imap://[::1]x").find(":PORT"), std::string::npos);
    EXPECT_NE(refusal("imap://ho st").find("blanks"), std::string::npos);
    EXPECT_NE(refusal("imap://-host.org").find("not a host name"), std::string::npos);
    EXPECT_NE(refusal("imap://a..b").find("not a host name"), std::string::npos);
    EXPECT_NE(refusal("imap://host\r\nX").find("control characters"), std::string::npos);
    EXPECT_NE(refusal(std::string("imap://ho\0st", 12)).find("control"), std::string::npos);
    EXPECT_NE(refusal("").find("no server address"), std::string::npos);
}

class DirectSettings : public ::testing::Test {
  protected:
    test::AppHome home_;  // no deploy.ini: the built-in provider rows
    std::string config() const { return (home_.path() / "config.ini").string(); }
    DirectAccountSettings choose(const DirectAccountRequest& request) {
        DirectAccountSettings settings;
        std::string error;
        EXPECT_TRUE(chooseDirectSettings(request, settings, error)) << error;
        return settings;
    }
    std::string refused(const DirectAccountRequest& request) {
        DirectAccountSettings settings;
        std::string error;
        EXPECT_FALSE(chooseDirectSettings(request, settings, error));
        return error;
    }
};

TEST_F(DirectSettings, StoreRouteFolderAndServerRules) {
    DirectAccountRequest imap = requestFor("me@example.org", "imaps://imap.example.org", "", "");
    DirectAccountSettings s = choose(imap);
    EXPECT_EQ(s.reader, MailboxReader::Imap);
    EXPECT_EQ(s.storeRoute, StoreRoute::ImapAppend);
    EXPECT_EQ(s.mailFolder, "INBOX");
    EXPECT_FALSE(s.plaintextAllowed);

    imap.storeWith = "smtp";
    EXPECT_NE(refused(imap).find("--smtp URL"), std::string::npos);
    imap.smtpUrl = "smtps://smtp.example.org";
    EXPECT_EQ(choose(imap).storeRoute, StoreRoute::Smtp);
    imap.storeWith = "carrier-pigeon";
    EXPECT_NE(refused(imap).find("append or smtp"), std::string::npos);

    DirectAccountRequest pop3 =
        requestFor("me@example.org", "", "pop3s://pop.example.org", "smtps://smtp.example.org");
    EXPECT_EQ(choose(pop3).storeRoute, StoreRoute::Smtp);
    pop3.storeWith = "append";
    EXPECT_NE(refused(pop3).find("only to an IMAP mailbox"), std::string::npos);
    pop3.storeWith.clear();
    pop3.mailFolder = "Parvola";
    EXPECT_NE(refused(pop3).find("only for an IMAP mailbox"), std::string::npos);

    DirectAccountRequest both = requestFor("me@example.org", "imaps://a.org", "pop3s://b.org", "");
    EXPECT_NE(refused(both).find("not both"), std::string::npos);
    DirectAccountRequest swapped = requestFor("me@example.org", "pop3s://a.org", "", "");
    EXPECT_NE(refused(swapped).find("--imap wants a IMAP"), std::string::npos);
    DirectAccountRequest unknown = requestFor("me@example.org", "", "", "");
    EXPECT_NE(refused(unknown).find("no servers are known for me@example.org"), std::string::npos);
    DirectAccountRequest badAddress = requestFor("not-an-address", "imaps://a.org", "", "");
    EXPECT_NE(refused(badAddress).find("not a mailbox address"), std::string::npos);
}

TEST_F(DirectSettings, ProviderRowOfTheDomainFillsMissingServersUpgradedWhenOffered) {
    DirectAccountRequest request = requestFor("someone@sina.test", "", "", "");
    // The built-in rows know the "sina" keyword in the domain.
    DirectAccountSettings s = choose(request);
    EXPECT_EQ(s.reader, MailboxReader::Pop3);
    EXPECT_FALSE(s.readServer.host.empty());
    EXPECT_FALSE(s.smtpServer.host.empty());
    EXPECT_NE(s.readServer.tls, TlsMode::None);
    EXPECT_NE(s.smtpServer.tls, TlsMode::None);
}

TEST_F(DirectSettings, RememberedWholeInAnOwnerOnlyFileWithoutThePassword) {
    DirectAccountRequest request =
        requestFor("me@example.org", "imap://[::1]:1143", "", "smtps://s.example.org");
    request.storeWith = "smtp";
    request.mailFolder = " Parvola store ";
    request.allowPlaintext = true;
    request.pieceSize = 3 << 20;
    const DirectAccountSettings settings = choose(request);
    ASSERT_TRUE(rememberDirectAccount(config(), settings));
    const auto back = rememberedDirectAccount(config(), "me@example.org");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, settings);
    EXPECT_FALSE(rememberedDirectAccount(config(), "other@example.org").has_value());

    struct stat info {};
    ASSERT_EQ(stat(config().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const MailboxAccount account = directMailboxAccount(settings, "app-password");
    EXPECT_TRUE(account.direct);
    EXPECT_EQ(account.loginAddress, "me@example.org");
    EXPECT_EQ(account.mailboxUser, "me@example.org");
    EXPECT_EQ(account.mailboxAddress, "me@example.org");
    EXPECT_EQ(account.imapHost, "::1");
    EXPECT_EQ(account.imapPort, 1143);
    EXPECT_EQ(account.imapTls.mode, TlsMode::StartTlsIfOffered);
    EXPECT_TRUE(account.imapTls.plaintextLoginAllowed);
    EXPECT_EQ(account.smtpTls.mode, TlsMode::Implicit);
    EXPECT_EQ(account.mailFolder, " Parvola store ");
    EXPECT_EQ(account.pieceSize, 3 << 20);
    EXPECT_NE(account.catalogFlag, 0);

    // Written where nothing but the settings go: no password in the section.
    const std::string text = test::readFile(config());
    EXPECT_EQ(text.find("app-password"), std::string::npos);
    EXPECT_NE(text.find("[direct me@example.org]"), std::string::npos);
}

}  // namespace
}  // namespace parvola
