#include "mail/mime_reader_text.h"

#include <gtest/gtest.h>

#include <string>

#include "mail/mime_reader_base64_line.h"
#include "mail/mime_reader_file_name.h"

namespace parvola {
namespace {

TEST(MimeMessageText, SplitsHeaderBlockAndBody) {
    MimeMessageText message("Subject: a\r\nFrom: b\r\n\r\nbody\r\n\r\nmore");
    EXPECT_EQ(message.GetHeaderBlock(), "Subject: a\r\nFrom: b");
    EXPECT_EQ(message.GetBody(), "body\r\n\r\nmore");

    MimeMessageText headerOnly("Subject: a\r\nFrom: b");
    EXPECT_EQ(headerOnly.GetHeaderBlock(), "Subject: a\r\nFrom: b");
    EXPECT_EQ(headerOnly.GetBody(), "");

    MimeMessageText empty;
    EXPECT_EQ(empty.GetHeaderBlock(), "");
    EXPECT_EQ(empty.GetBody(), "");
    EXPECT_EQ(empty.GetSubject(), "");
}

TEST(MimeMessageText, HeaderFieldsAreFoundInAnyCaseAndUnfolded) {
    MimeMessageText message(
        "Received: from x\r\n"
        "subject:   first  \r\n"
        "X-Long: one\r\n\ttwo\r\n\t three\r\n"
        "SUBJECT: second\r\n"
        "X-Subject: not a subject\r\n"
        "\r\n"
        "Subject: in the body\r\n");
    EXPECT_EQ(message.GetSubject(), "first");
    EXPECT_EQ(message.GetHeaderField("subject", 1), "second");
    EXPECT_EQ(message.GetHeaderField("Subject", 2), "");
    // Folded over three lines with tabs: one line, a blank where each tab was.
    EXPECT_EQ(message.GetHeaderField("x-long"), "one two  three");
    EXPECT_EQ(message.GetHeaderField("Received"), "from x");
    EXPECT_EQ(message.GetHeaderField("Missing"), "");
}

TEST(MimeMessageText, WireSubjectInGb18030ReadsAsUtf8) {
    // "文件测试" as a code-page-936 client writes it.
    MimeMessageText message("Subject: \xce\xc4\xbc\xfe\xb2\xe2\xca\xd4 1\r\n\r\n");
    EXPECT_EQ(message.GetSubject(), "文件测试 1");
    EXPECT_EQ(message.GetRawHeaderField("Subject"), "\xce\xc4\xbc\xfe\xb2\xe2\xca\xd4 1");
}

TEST(MimeMessageText, ContentTypeAndBoundary) {
    MimeMessageText quoted("Content-Type: multipart/mixed;\r\n\tboundary=\"----=_Part_1\"\r\n\r\n");
    EXPECT_EQ(quoted.GetContentType(), "multipart/mixed");
    EXPECT_EQ(quoted.GetBoundary(), "----=_Part_1");

    MimeMessageText bare("Content-Type: multipart/mixed; boundary=abc\r\n\r\n");
    EXPECT_EQ(bare.GetBoundary(), "");
    MimeMessageText oneQuote("Content-Type: multipart/mixed; boundary=\"abc\r\n\r\n");
    EXPECT_EQ(oneQuote.GetBoundary(), "");
    MimeMessageText plain("Content-Type: text/plain\r\n\r\n");
    EXPECT_EQ(plain.GetContentType(), "text/plain");
}

std::string decoded(const std::string& line) {
    std::string out;
    decodeBase64Line(line, out);
    return out;
}

TEST(MimeReaderBase64Line, DecodesEachLineByItself) {
    EXPECT_EQ(decoded("aGVsbG8=\r\n"), "hello");
    EXPECT_EQ(decoded("aGk=\r\n"), "hi");
    EXPECT_EQ(decoded("aA==\r\n"), "h");
    EXPECT_EQ(decoded("aGVs bG8h\r\n"), "hello!");
    EXPECT_EQ(decoded("/+8A\r\n"), std::string("\xff\xef\x00", 3));
    // A group left unfinished at the end of a line is dropped.
    EXPECT_EQ(decoded("aGVsbG"), "hel");
    EXPECT_EQ(decoded("\r\n"), "");
}

TEST(MimeReaderFileName, KeepsOnlyAPlainFileName) {
    EXPECT_EQ(safeAttachmentName("piece.bin"), "piece.bin");
    EXPECT_EQ(safeAttachmentName("../../x"), "x");
    EXPECT_EQ(safeAttachmentName("/etc/x"), "x");
    EXPECT_EQ(safeAttachmentName("a\\..\\b"), "b");
    EXPECT_EQ(safeAttachmentName("C:\\Users\\me\\file.txt"), "file.txt");
    EXPECT_EQ(safeAttachmentName("..hidden"), "..hidden");
    EXPECT_EQ(safeAttachmentName(std::string("a\0b/c\0d", 7)), "c_d");
    EXPECT_EQ(safeAttachmentName("  spaced.txt "), "spaced.txt");
    EXPECT_EQ(safeAttachmentName("tab\there"), "tab_here");
    for (const char* useless : {"", "..", ".", "dir/", "a/..", "\\..", "   ", "x/ .. "}) {
        EXPECT_EQ(safeAttachmentName(useless), "") << useless;
    }
}

TEST(MimeReaderFileName, Gb18030NamesBecomeUtf8WithoutFalseSeparators) {
    EXPECT_EQ(safeAttachmentName("\xb2\xe2\xca\xd4.txt"), "测试.txt");
    // "昞" is 0x95 0x5C in GB18030: its second byte is a backslash.
    EXPECT_EQ(safeAttachmentName("\x95\x5c.dat"), "昞.dat");
}

}  // namespace
}  // namespace parvola
