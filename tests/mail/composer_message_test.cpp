#include <gtest/gtest.h>

#include <string>

#include "mail/smtp_message.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

const std::string kB0 = "CSmtpMsgPart123X456_000_1234ABCD";
const std::string kB1 = "CSmtpMsgPart123X456_001_1234ABCD";
// "资料" in the wire code page.
const std::string kWireName = "\xD7\xCA\xC1\xCF.txt";

SmtpMessage fixedMessage() {
    SmtpMessage m;
    m.setTicks([] { return 0x1234ABCDul; });
    std::tm date{};
    date.tm_sec = 9;
    date.tm_min = 5;
    date.tm_hour = 21;
    date.tm_mday = 6;
    date.tm_mon = 11;
    date.tm_year = 126;
    date.tm_wday = 0;
    m.setDate(date, 800);
    m.setSender(SmtpAddress("me@sina.test", "me@sina.test"));
    m.setRecipient(SmtpAddress("me@sina.test", "me@sina.test"));
    m.setSubject("piece");
    return m;
}

std::string headers(const std::string& contentType = {}) {
    std::string h =
        "From: \"me@sina.test\" <me@sina.test>\r\n"
        "To: \"me@sina.test\" <me@sina.test>\r\n"
        "Subject: piece\r\n"
        "Date: Sun, 6 Dec 2026 21:05:09 +0800\r\n"
        "Importance: Normal\r\n"
        "X-Mailer: Parvola Mailer 1.0\r\n"
        "X-MSMail-Priority: Normal\r\n"
        "X-Priority: 3 (Normal)\r\n"
        "MIME-Version: 1.0\r\n";
    if (!contentType.empty())
        h += "Content-Type: multipart/" + contentType + ";\r\n\tboundary=\"" + kB0 + "\"\r\n";
    return h;
}

const std::string kPreamble = "\r\nThis is a multipart message in MIME format\r\n";
const std::string kPlainPart =
    "Content-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n"
    "Content-Transfer-Encoding: 7bit\r\n\r\nHello";
const std::string kHtmlPart =
    "Content-Type: text/html;\r\n\tcharset=\"iso-8859-1\"\r\n"
    "Content-Transfer-Encoding: 7bit\r\n\r\n<html><body>x</body></html>@";
const std::string kFilePart =
    "Content-Type: text/plain;\r\n\tcharset=\"iso-8859-1\";\r\n\tname=\"" + kWireName +
    "\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment;\r\n\tfilename=\"" +
    kWireName + "\r\n\r\nQUJD";

class ComposerMessage : public ::testing::Test {
  protected:
    void SetUp() override { test::writeFile(dir_ / "资料.txt", "ABC"); }
    SmtpFilePart filePart() const {
        return SmtpFilePart((dir_ / "资料.txt").string(), "", false, "", "iso-8859-1");
    }
    static SmtpMessageBody plain() { return SmtpMessageBody("Hello", "text/plain", "iso-8859-1"); }
    static SmtpMessageBody html() {
        return SmtpMessageBody("<html><body>x</body></html>@", "text/html", "iso-8859-1");
    }
    test::TempDir dir_;
};

TEST_F(ComposerMessage, OneBodyIsTheMessageItself) {
    SmtpMessage m = fixedMessage();
    m.addBody(plain());
    std::string out;
    m.GetMessageText(out);
    EXPECT_EQ(out, headers() + kPlainPart);
}

TEST_F(ComposerMessage, TwoBodiesAreAlternatives) {
    SmtpMessage m = fixedMessage();
    m.addBody(plain());
    m.addBody(html());
    std::string out;
    m.GetMessageText(out);
    EXPECT_EQ(out, headers("alternative") + kPreamble + "\r\n--" + kB0 + "\r\n" + kPlainPart +
                       "\r\n--" + kB0 + "\r\n" + kHtmlPart + "\r\n--" + kB0 + "--\r\n");
    EXPECT_EQ(m.multipartKind(), kMultipartAlternative);
}

TEST_F(ComposerMessage, TwoBodiesAndAFileNestTheAlternativesInMixed) {
    SmtpMessage m = fixedMessage();
    m.addBody(plain());
    m.addBody(html());
    m.addFile(filePart());
    std::string out;
    m.GetMessageText(out);
    EXPECT_EQ(out, headers("mixed") + kPreamble + "\r\n--" + kB0 +
                       "\r\nContent-Type: multipart/alternative;\r\n\tboundary=\"" + kB1 +
                       "\"\r\n" + "\r\n--" + kB1 + "\r\n" + kPlainPart + "\r\n--" + kB1 + "\r\n" +
                       kHtmlPart + "\r\n--" + kB1 + "--\r\n" + "\r\n--" + kB0 + "\r\n" + kFilePart +
                       "\r\n--" + kB0 + "--\r\n");
    EXPECT_EQ(m.multipartKind(), kMultipartMixed);
}

TEST_F(ComposerMessage, OneBodyAndAFileAreMixedWithoutInnerBoundary) {
    SmtpMessage m = fixedMessage();
    m.addBody(plain());
    m.addFile(filePart());
    std::string out;
    m.GetMessageText(out);
    EXPECT_EQ(out, headers("mixed") + kPreamble + "\r\n--" + kB0 + "\r\n" + kPlainPart + "\r\n--" +
                       kB0 + "\r\n" + kFilePart + "\r\n--" + kB0 + "--\r\n");
    EXPECT_EQ(out.find(kB1), std::string::npos);
}

TEST_F(ComposerMessage, FilePartsAreBase64WhateverTheirEncodingSays) {
    // A text file asked for as 7bit would lose its high bytes, its NUL and its
    // bare line feeds; it must come out as base64 of every byte.
    const std::string bytes("line\n.dot\0\xE9\r\n.", 14);
    test::writeFile(dir_ / "data.bin", bytes);
    SmtpMessage m = fixedMessage();
    m.addFile(SmtpFilePart((dir_ / "data.bin").string(), "", true, "", "", kEncoding7Bit));
    std::string out;
    m.GetMessageText(out);
    EXPECT_EQ(out, headers() +
                       "Content-Type: application/octet-stream;\r\n\tname=\"data.bin\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n"
                       "Content-Disposition: inline;\r\n\tfilename=\"data.bin\r\n\r\n"
                       "bGluZQouZG90AOkNCi4=");
}

TEST_F(ComposerMessage, LargeFileComesInLinesOf76) {
    const std::string bytes = test::randomBytes(57 * 16384 * 2 + 100, 3);  // crosses read slices
    test::writeFile(dir_ / "big.bin", bytes);
    SmtpMessage m = fixedMessage();
    m.addFile(SmtpFilePart((dir_ / "big.bin").string()));
    std::string out;
    m.GetMessageText(out);
    std::string expected, name;
    EncodeText(kEncodingBase64, expected, name, bytes.data(), bytes.size());
    const size_t body = out.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_TRUE(out.substr(body + 4) == expected);
}

TEST_F(ComposerMessage, UnreadableFilePartIsLeftOut) {
    SmtpMessage m = fixedMessage();
    m.addBody(plain());
    m.addFile(SmtpFilePart((dir_ / "missing.bin").string()));
    std::string out;
    m.GetMessageText(out);
    EXPECT_EQ(out, headers("mixed") + kPreamble + "\r\n--" + kB0 + "\r\n" + kPlainPart + "\r\n--" +
                       kB0 + "--\r\n");
}

TEST_F(ComposerMessage, ContentTypeComesFromTheNameFromItsFirstDotOrFromThePart) {
    test::writeFile(dir_ / "report.pdf", "%PDF");
    test::writeFile(dir_ / "report.v2.pdf", "%PDF");
    SmtpMessage m = fixedMessage();
    m.addFile(SmtpFilePart((dir_ / "report.pdf").string()));
    m.addFile(SmtpFilePart((dir_ / "report.v2.pdf").string()));
    m.addFile(SmtpFilePart((dir_ / "report.pdf").string(), "shown.bin", false, "image/png"));
    std::string out;
    m.GetMessageText(out);
    EXPECT_NE(out.find("Content-Type: application/pdf;\r\n\tname=\"report.pdf\""),
              std::string::npos);
    // "v2.pdf" is the lookup key, which names no type.
    EXPECT_NE(out.find("Content-Type: application/octet-stream;\r\n\tname=\"report.v2.pdf\""),
              std::string::npos);
    EXPECT_NE(out.find("Content-Type: image/png;\r\n\tname=\"shown.bin\""), std::string::npos);
}

TEST_F(ComposerMessage, BodiesAreDotStuffedFromTheirFirstByte) {
    SmtpMessage m = fixedMessage();
    m.addBody(SmtpMessageBody(".\r\n.line", "text/plain", "us-ascii"));
    std::string out;
    m.GetMessageText(out);
    EXPECT_EQ(out.substr(out.find("\r\n\r\n") + 4), "..\r\n..line");
}

TEST(ComposerHeaders, CallerHeadersZoneAndRecipients) {
    SmtpMessage m = fixedMessage();
    m.addHeader("X-Priority", "1 (Highest)");
    m.addHeader("Date", "caller date");
    m.setDate(m.date(), -500);
    m.setSubject("存储测试");
    m.setRecipient(SmtpAddress("a@sina.test"));
    m.addRecipient(SmtpAddress("b@sina.test", "Bee"));
    m.addBlindRecipient(SmtpAddress("c@sina.test"));
    m.setMessageId("id1@sina.test");
    std::string out;
    m.GetMessageText(out);
    EXPECT_EQ(out,
              "From: \"me@sina.test\" <me@sina.test>\r\n"
              "To: <a@sina.test>,\r\n\t\"Bee\" <b@sina.test>\r\n"
              "Subject: \xB4\xE6\xB4\xA2\xB2\xE2\xCA\xD4\r\n"
              "Date: Sun, 6 Dec 2026 21:05:09 -0500\r\n"
              "Importance: Normal\r\n"
              "X-Mailer: Parvola Mailer 1.0\r\n"
              "X-MSMail-Priority: Normal\r\n"
              "Message-ID: <id1@sina.test>\r\n"
              "MIME-Version: 1.0\r\n"
              "X-Priority: 1 (Highest)\r\n");
    EXPECT_EQ(out.find("caller date"), std::string::npos);
}

TEST(ComposerHeaders, ZoneAndDateFormats) {
    EXPECT_EQ(SmtpMessage::zoneFromUtcOffset(8 * 3600), 800);
    EXPECT_EQ(SmtpMessage::zoneFromUtcOffset(-5 * 3600), -500);
    EXPECT_EQ(SmtpMessage::zoneFromUtcOffset(5 * 3600 + 1800), 530);
    EXPECT_EQ(SmtpMessage::zoneFromUtcOffset(-(3 * 3600 + 1800)), -330);
    EXPECT_EQ(SmtpMessage::zoneFromUtcOffset(0), 0);
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 0;
    t.tm_mday = 15;
    t.tm_wday = 1;
    t.tm_hour = 7;
    t.tm_min = 0;
    t.tm_sec = 3;
    EXPECT_EQ(SmtpMessage::formatDate(t, 0), "Mon, 15 Jan 2024 7:00:03 -0000");
    EXPECT_EQ(SmtpMessage::formatDate(t, 530), "Mon, 15 Jan 2024 7:00:03 +0530");
    EXPECT_EQ(SmtpMessage::formatDate(t, -330), "Mon, 15 Jan 2024 7:00:03 -0330");
}

TEST(ComposerHeaders, HeaderListComparesNamesExactly) {
    SmtpMessage m;
    m.addHeader("X-Tag", "1");
    m.addHeader("X-Tag", "2");
    EXPECT_TRUE(m.hasHeader("X-Tag"));
    EXPECT_FALSE(m.hasHeader("x-tag"));
    EXPECT_FALSE(m.hasHeader("X-Ta"));
    m.removeHeader("x-tag");
    EXPECT_EQ(m.headers().size(), 2u);
    m.removeHeader("X-Tag");
    ASSERT_EQ(m.headers().size(), 1u);
    EXPECT_EQ(m.headers()[0].second, "2");
}

}  // namespace
}  // namespace parvola
