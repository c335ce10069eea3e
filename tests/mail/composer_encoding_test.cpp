#include <gtest/gtest.h>

#include <string>

#include "mail/mime_composer_encoding.h"

namespace parvola {
namespace {

std::string letters(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>('a' + i % 26));
    return s;
}

TEST(ChooseEncoding, FollowsPrintableShareLongLinesAndHighBytes) {
    const std::string plain = "Hello\r\nworld\r\n";
    EXPECT_EQ(ChooseEncoding(plain.data(), plain.size()), kEncoding7Bit);

    const std::string highByte = "caf\xE9 au lait, a fairly long line of text";
    EXPECT_EQ(ChooseEncoding(highByte.data(), highByte.size()), kEncoding8Bit);

    // A 77-byte line ended by CR is long; the same line without CR is not measured.
    const std::string longLine = letters(77) + "\r\nshort";
    EXPECT_EQ(ChooseEncoding(longLine.data(), longLine.size()), kEncodingQuotedPrintable);
    const std::string unterminated = "short\r\n" + letters(200);
    EXPECT_EQ(ChooseEncoding(unterminated.data(), unterminated.size()), kEncoding7Bit);
    // Exactly 76 bytes is not long; the LF after the previous CR is not counted.
    const std::string edge = "x\r\n" + letters(76) + "\r\n";
    EXPECT_EQ(ChooseEncoding(edge.data(), edge.size()), kEncoding7Bit);

    // 10 other bytes of 100: 90 % printable is still text; 11 makes it base64.
    std::string ninety = letters(90) + std::string(10, '\x01');
    EXPECT_EQ(ChooseEncoding(ninety.data(), ninety.size()), kEncoding8Bit);
    std::string eightyNine = letters(89) + std::string(11, '\x01');
    EXPECT_EQ(ChooseEncoding(eightyNine.data(), eightyNine.size()), kEncodingBase64);

    EXPECT_EQ(ChooseEncoding("", 0), kEncoding7Bit);
}

TEST(WrapText, CutsLongLinesAtBreakCharactersOrAtTheLimit) {
    std::string out;
    const std::string noBreaks = letters(100);
    WrapText(out, noBreaks, 76);
    EXPECT_EQ(out, noBreaks.substr(0, 76) + "\r\n" + noBreaks.substr(76));

    // The only blank lies beyond the limit: the same cut at 76.
    std::string lateBlank = letters(100);
    lateBlank[89] = ' ';
    WrapText(out, lateBlank, 76);
    EXPECT_EQ(out, lateBlank.substr(0, 76) + "\r\n" + lateBlank.substr(76));

    // A break character within the limit: cut right after it.
    std::string early = letters(100);
    early[59] = ',';
    WrapText(out, early, 76);
    EXPECT_EQ(out, early.substr(0, 60) + "\r\n" + early.substr(60));

    // A break character exactly at the limit stays on the first line.
    std::string atLimit = letters(100);
    atLimit[75] = '-';
    WrapText(out, atLimit, 76);
    EXPECT_EQ(out, atLimit.substr(0, 76) + "\r\n" + atLimit.substr(76));

    // Short lines pass; CR alone and CRLF both come out as CRLF.
    WrapText(out, "one\rtwo\r\nthree", 76);
    EXPECT_EQ(out, "one\r\ntwo\r\nthree");
    // A 200-byte line with no break characters: 76, 76, 48.
    WrapText(out, letters(200), 76);
    EXPECT_EQ(out, letters(200).substr(0, 76) + "\r\n" + letters(200).substr(76, 76) + "\r\n" +
                       letters(200).substr(152));
}

TEST(EncodeQuotedPrintable, SoftBreaksEscapesAndTrailingBlanks) {
    std::string out;
    const std::string line = letters(100);
    EncodeQuotedPrintable(out, line);
    EXPECT_EQ(out, line.substr(0, 75) + "=\r\n" + line.substr(75));

    EncodeQuotedPrintable(out, "a=b");
    EXPECT_EQ(out, "a=3Db");
    EncodeQuotedPrintable(out, "ends in a blank \r\nand a tab\t");
    EXPECT_EQ(out, "ends in a blank=20\r\nand a tab=09");
    EncodeQuotedPrintable(out, "\xC4\xE3");
    EXPECT_EQ(out, "=C4=E3");
    EncodeQuotedPrintable(out, "");
    EXPECT_EQ(out, "");

    // An escape is never split by a soft break.
    std::string escapeAt74 = letters(74) + "=" + letters(20);
    EncodeQuotedPrintable(out, escapeAt74);
    EXPECT_EQ(out, letters(74) + "=\r\n=3D" + letters(20));
    std::string escapeAt73 = letters(73) + "=" + letters(20);
    EncodeQuotedPrintable(out, escapeAt73);
    EXPECT_EQ(out, letters(73) + "=\r\n=3D" + letters(20));

    // A trailing blank whose escape makes the line too long is broken again.
    std::string full = letters(75) + " ";
    EncodeQuotedPrintable(out, full);
    EXPECT_EQ(out, letters(75) + "=\r\n=20");
}

TEST(ForceSevenBit, ReplacesHighBytes) {
    std::string out;
    ForceSevenBit(out, "a\x7F\x80\xFFz");
    EXPECT_EQ(out, "a???z");
}

TEST(DotStuff, DoublesEveryLeadingDotIncludingTheFirstLine) {
    std::string out;
    DotStuff(out, ".\r\n.x\r\nno.dot\r\n..");
    EXPECT_EQ(out, "..\r\n..x\r\nno.dot\r\n...");
    DotStuff(out, "plain");
    EXPECT_EQ(out, "plain");
}

TEST(EncodeText, NamesTheEncodingAndStuffsDots) {
    std::string text = ".hidden\r\n.\r\nend";
    std::string name;
    EncodeText(kEncodingAutomatic, text, name);
    EXPECT_EQ(name, "7bit");
    EXPECT_EQ(text, "..hidden\r\n..\r\nend");

    text = "ignored";
    EncodeText(kEncodingBase64, text, name, "ABC", 3);
    EXPECT_EQ(name, "base64");
    EXPECT_EQ(text, "QUJD");

    // Text encodings stop at the first NUL byte; base64 keeps every byte.
    text = "";
    EncodeText(kEncoding8Bit, text, name, "ab\0cd", 5);
    EXPECT_EQ(name, "8bit");
    EXPECT_EQ(text, "ab");
    EncodeText(kEncodingBase64, text, name, "ab\0cd", 5);
    EXPECT_EQ(text, "YWIAY2Q=");

    text = "caf\xE9";
    EncodeText(kEncoding7Bit, text, name);
    EXPECT_EQ(name, "7bit");
    EXPECT_EQ(text, "caf?");

    text = "x=1";
    EncodeText(kEncodingQuotedPrintable, text, name);
    EXPECT_EQ(name, "quoted-printable");
    EXPECT_EQ(text, "x=3D1");

    // Base64 of more than 57 bytes comes in lines of exactly 76 characters.
    const std::string bytes(100, '\xAB');
    EncodeText(kEncodingAutomatic, text, name, bytes.data(), bytes.size());
    EXPECT_EQ(name, "base64");
    ASSERT_EQ(text.find("\r\n"), 76u);
    EXPECT_EQ(text.size(), 136u + 2u);
}

}  // namespace
}  // namespace parvola
