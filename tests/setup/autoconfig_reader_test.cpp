#include "setup/autoconfig_reader.h"

#include <gtest/gtest.h>

namespace parvola {
namespace {

std::string document(const std::string& imapHost, const std::string& imapSocket,
                     const std::string& smtpPort = "587") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<clientConfig version=\"1.1\">\n <emailProvider id=\"example.org\">\n"
           "  <domain>example.org</domain>\n  <displayName>Example &amp; Co</displayName>\n"
           "  <incomingServer type=\"exchange\"><hostname>ews.example.org</hostname>"
           "<port>443</port><socketType>SSL</socketType></incomingServer>\n"
           "  <incomingServer type=\"imap\">\n    <hostname>" +
           imapHost + "</hostname>\n    <port>993</port>\n    <socketType>" + imapSocket +
           "</socketType>\n    <username>%EMAILADDRESS%</username>\n  </incomingServer>\n"
           "  <incomingServer type=\"imap\"><hostname>second.example.org</hostname><port>143"
           "</port><socketType>STARTTLS</socketType></incomingServer>\n"
           "  <outgoingServer type=\"smtp\"><hostname>smtp.example.org</hostname><port>" +
           smtpPort +
           "</port><socketType>STARTTLS</socketType></outgoingServer>\n"
           " </emailProvider>\n</clientConfig>\n";
}

TEST(AutoconfigReader, ReadsTheFirstServerOfEachKindWithTheDomainFilledIn) {
    const AutoconfigResult read =
        readAutoconfig(document("imap.%EMAILDOMAIN%", "SSL"), "example.org", true);
    ASSERT_EQ(read.refusal, AutoconfigRefusal::None) << read.reason;
    EXPECT_EQ(formatServerUrl(read.servers.imap), "imaps://imap.example.org:993");
    EXPECT_EQ(formatServerUrl(read.servers.smtp), "smtp://smtp.example.org:587 starttls");
    EXPECT_TRUE(read.servers.pop3.empty());
    EXPECT_EQ(read.displayName, "Example & Co");

    // Plain text is left out when TLS is asked for, and the next server taken.
    const AutoconfigResult plainFirst =
        readAutoconfig(document("imap.example.org", "plain"), "example.org", true);
    ASSERT_EQ(plainFirst.refusal, AutoconfigRefusal::None) << plainFirst.reason;
    EXPECT_EQ(formatServerUrl(plainFirst.servers.imap), "imap://second.example.org:143 starttls");
    const AutoconfigResult plainAllowed =
        readAutoconfig(document("imap.example.org", "plain"), "example.org", false);
    EXPECT_EQ(formatServerUrl(plainAllowed.servers.imap), "imap://imap.example.org:993");
}

TEST(AutoconfigReader, HostileDocumentsAreRefusedWithTheReason) {
    struct Case {
        std::string text;
        bool tlsRequired;
        AutoconfigRefusal refusal;
        std::string reason;
    };
    std::string onlyPlain = document("imap.example.org", "plain");
    for (size_t at; (at = onlyPlain.find("STARTTLS")) != std::string::npos;)
        onlyPlain.replace(at, 8, "plain");
    const Case cases[] = {
        {std::string(kMaxAutoconfigBytes + 1, ' '), true, AutoconfigRefusal::TooLarge,
         "the autoconfiguration document is larger than 256 KiB"},
        {"HTTP/1.1 200 OK\r\n\r\nhello", true, AutoconfigRefusal::NotXml,
         "the autoconfiguration answer is not XML"},
        {"<clientConfig><emailProvider>", true, AutoconfigRefusal::NotXml,
         "the autoconfiguration document is not well-formed XML"},
        {"<html><body>Moved</body></html>", true, AutoconfigRefusal::NotAutoconfig,
         "the XML document is not a mail autoconfiguration (no clientConfig with an "
         "emailProvider)"},
        {document("imap.example.org\x1b[2J", "SSL"), true, AutoconfigRefusal::BadHost,
         "the autoconfiguration document names a server \"imap.example.org\\x1B[2J\" that is "
         "not a host name"},
        {document("imap.example.org&#10;evil", "SSL"), true, AutoconfigRefusal::BadHost,
         "the autoconfiguration document names a server \"imap.example.org\\x0Aevil\" that is "
         "not a host name"},
        {document("<b>imap</b>", "SSL"), true, AutoconfigRefusal::BadHost,
         "the autoconfiguration document names a server \"\" that is not a host name"},
        {document("imap.example.org", "SSL", "70000"), true, AutoconfigRefusal::BadPort,
         "the autoconfiguration document gives smtp.example.org the port \"70000\""},
        {onlyPlain, true, AutoconfigRefusal::PlainTextServer,
         "the autoconfiguration document offers only servers without TLS, and a password is "
         "not sent without TLS"},
    };
    for (const Case& c : cases) {
        const AutoconfigResult read = readAutoconfig(c.text, "example.org", c.tlsRequired);
        EXPECT_EQ(read.refusal, c.refusal) << c.text.substr(0, 200);
        EXPECT_EQ(read.reason, c.reason);
        EXPECT_FALSE(read.servers.complete());
    }
}

}  // namespace
}  // namespace parvola
