#include "catalog/xml/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "catalog/xml/xml_doc.h"
#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

using test::iconvTool;

const std::string kCatalogText =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<User Name=\"张三@example.com\" Version=\"1\" FN=\"0\" SUM=\"0\">\r\n"
    "<Folder Name=\"我的文档\" CT=\"09-10-25 14:03:07\" Size=\"0\" Del=\"false\"/>\r\n"
    "</User>\r\n";

// ---- character-set names -------------------------------------------------------

TEST(Charsets, TableAndTellingRows) {
    EXPECT_EQ(kCharsetCount, 254u);
    for (size_t i = 1; i < kCharsetCount; ++i) {
        EXPECT_LT(std::string(kCharsets[i - 1].name), std::string(kCharsets[i].name));
    }
    EXPECT_EQ(codePageOf("utf-8"), 65001);
    EXPECT_EQ(codePageOf("UTF-8"), 65001);
    EXPECT_EQ(codePageOf("utf-7"), 65000);
    EXPECT_EQ(codePageOf("unicode"), 1200);
    EXPECT_EQ(codePageOf("utf-16"), 1200);
    EXPECT_EQ(codePageOf("gb2312"), 936);
    EXPECT_EQ(codePageOf("GBK"), 936);
    EXPECT_EQ(codePageOf("chinese"), 936);
    EXPECT_EQ(codePageOf("big5"), 950);
    EXPECT_EQ(codePageOf("euc-kr"), 949);
    EXPECT_EQ(codePageOf("shift_jis"), 932);
    EXPECT_EQ(codePageOf("iso-8859-1"), 28591);
    EXPECT_EQ(codePageOf("windows-1252"), 1252);
    EXPECT_EQ(codePageOf("x-ansi"), 1252);
    EXPECT_EQ(codePageOf("us-ascii"), 20127);
    EXPECT_EQ(codePageOf(""), 0);
    EXPECT_EQ(codePageOf("UTF-32"), 65005);
    EXPECT_EQ(codePageOf("utf-32be"), 65005);
    EXPECT_EQ(codePageOf("klingon"), -1);
    EXPECT_EQ(codePageOf(std::string(100, 'a')), -1);
}

TEST(Charsets, DeclaredEncoding) {
    EXPECT_EQ(declaredEncoding("<?xml version=\"1.0\" encoding=\"GBK\"?><a/>"), "GBK");
    EXPECT_EQ(declaredEncoding("<?xml version='1.0' encoding='big5' ?>"), "big5");
    EXPECT_EQ(declaredEncoding("<?xml version=\"1.0\"?><a/>"), "");
    EXPECT_EQ(declaredEncoding(" <?xml version=\"1.0\" encoding=\"GBK\"?>"), "");  // not at 0
    EXPECT_EQ(declaredEncoding("<a/><?xml encoding=\"GBK\"?>"), "");
    EXPECT_EQ(declaredEncoding("<!DOCTYPE html><html><head><title>t</title>"
                               "<META http-equiv=\"content-type\" content=\"text/html; "
                               "charset=gb2312\"></head></html>"),
              "gb2312");
    EXPECT_EQ(declaredEncoding("<html><head></head><meta http-equiv=\"Content-Type\" "
                               "content=\"text/html; charset=big5\">"),
              "");
    EXPECT_EQ(declaredEncoding("<body><html><meta http-equiv=\"Content-Type\" "
                               "content=\"text/html; charset=big5\">"),
              "");
}

// ---- reading ----------------------------------------------------------------------

TEST(TextFileRead, CatalogTextRoundTripsAsUtf8WithoutMark) {
    test::TempDir dir;
    std::string path = (dir / "cat").string();
    std::string diagnostic;
    int flags = 0;
    ASSERT_TRUE(writeTextFile(path, kCatalogText, diagnostic, flags));
    std::string onDisk = test::readFile(path);
    EXPECT_EQ(onDisk, kCatalogText);  // UTF-8, no mark
    EXPECT_EQ(diagnostic, "length " + std::to_string(kCatalogText.size()) + " ");
    std::string text;
    ASSERT_TRUE(readTextFile(path, text, diagnostic, flags));
    EXPECT_EQ(text, kCatalogText);
    EXPECT_EQ(flags & (kDocUtf8Mark | kDocUtf16LE | kDocUtf16BE), 0);
    EXPECT_EQ(diagnostic, "UTF-8 length " + std::to_string(kCatalogText.size()) + " ");
}

// Catalog files are the owner's alone whatever the umask, also when an
// append creates one.
TEST(TextFileWrite, NewFilesAreOwnerOnlyAlsoWhenAnAppendCreatesThem) {
    test::TempDir dir;
    const mode_t old = ::umask(0);
    std::string diagnostic;
    int flags = 0;
    const bool whole = writeTextFile((dir / "whole").string(), kCatalogText, diagnostic, flags);
    int appendFlags = kDocAppend;
    const bool appended =
        writeTextFile((dir / "appended").string(), kCatalogText, diagnostic, appendFlags);
    const bool again =
        writeTextFile((dir / "appended").string(), kCatalogText, diagnostic, appendFlags);
    ::umask(old);
    ASSERT_TRUE(whole && appended && again) << diagnostic;
    EXPECT_EQ(test::readFile(dir / "appended"), kCatalogText + kCatalogText);
    for (const char* name : {"whole", "appended"}) {
        struct stat st {};
        ASSERT_EQ(::stat((dir / name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
    }
}

TEST(TextFileRead, Utf16LittleEndianWithMarkLoadsAndIsWrittenBack) {
    test::TempDir dir;
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r n=\"中文\"/>\r\n";
    std::string file = "\xFF\xFE" + iconvTool(text, "UTF-8", "UTF-16LE");
    test::writeFile(dir / "in", file);
    XmlDoc doc;
    ASSERT_TRUE(doc.loadFile((dir / "in").string()));
    EXPECT_EQ(doc.text(), text);
    EXPECT_EQ(doc.documentFlags() & kDocUtf16LE, kDocUtf16LE);
    EXPECT_EQ(doc.resultText(), "UTF-16LE BOM + length " + std::to_string((file.size() - 2) / 2) +
                                    " to " + std::to_string(text.size()) + " bytes ");
    ASSERT_TRUE(doc.saveFile((dir / "out").string()));
    EXPECT_EQ(test::readFile(dir / "out"), file);
    EXPECT_EQ(iconvTool(test::readFile(dir / "out"), "UTF-16", "UTF-8"), text);
}

TEST(TextFileRead, Utf16BigEndianWithMarkSwapsBothWays) {
    test::TempDir dir;
    const std::string text = "<r n=\"繁體 中文\"/>";
    std::string file = "\xFE\xFF" + iconvTool(text, "UTF-8", "UTF-16BE");
    test::writeFile(dir / "in", file);
    std::string read, diagnostic;
    int flags = 0;
    ASSERT_TRUE(readTextFile((dir / "in").string(), read, diagnostic, flags));
    EXPECT_EQ(read, text);
    EXPECT_EQ(flags & kDocUtf16BE, kDocUtf16BE);
    EXPECT_NE(diagnostic.find("UTF-16BE BOM + "), std::string::npos);
    EXPECT_NE(diagnostic.find("endian swap "), std::string::npos);
    ASSERT_TRUE(writeTextFile((dir / "out").string(), read, diagnostic, flags));
    EXPECT_EQ(test::readFile(dir / "out"), file);
    EXPECT_NE(diagnostic.find("endian swap "), std::string::npos);
}

TEST(TextFileRead, Utf8MarkIsKeptOnSave) {
    test::TempDir dir;
    test::writeFile(dir / "in", "\xEF\xBB\xBF<r n=\"文\"/>");
    XmlDoc doc;
    ASSERT_TRUE(doc.loadFile((dir / "in").string()));
    EXPECT_EQ(doc.text(), "<r n=\"文\"/>");
    EXPECT_EQ(doc.resultText().rfind("UTF-8 BOM + length ", 0), 0u);
    ASSERT_TRUE(doc.saveFile((dir / "out").string()));
    EXPECT_EQ(test::readFile(dir / "out"), "\xEF\xBB\xBF<r n=\"文\"/>");
}

TEST(TextFileRead, DeclaredGbkAndBig5ConvertAsIconvDoes) {
    test::TempDir dir;
    struct Case {
        const char* declared;
        const char* iconvName;
        const char* body;
    } cases[] = {{"GBK", "GBK", "我的文档 自定义 回收站"}, {"big5", "BIG5", "繁體中文 資料夾"}};
    for (const Case& c : cases) {
        const std::string text = std::string("<?xml version=\"1.0\" encoding=\"") + c.declared +
                                 "\"?><r n=\"" + c.body + "\"/>";
        const std::string file = iconvTool(text, "UTF-8", c.iconvName);
        ASSERT_NE(file, text);
        test::writeFile(dir / "in", file);
        std::string read, diagnostic;
        int flags = 0;
        ASSERT_TRUE(readTextFile((dir / "in").string(), read, diagnostic, flags));
        EXPECT_EQ(read, text) << c.declared;
        EXPECT_EQ(diagnostic, std::string(c.declared) + " length " + std::to_string(file.size()) +
                                  " to length " + std::to_string(text.size()) + " ");
        ASSERT_TRUE(writeTextFile((dir / "out").string(), read, diagnostic, flags));
        EXPECT_EQ(test::readFile(dir / "out"), file) << c.declared;
        EXPECT_EQ(diagnostic, "from length " + std::to_string(text.size()) + " length " +
                                  std::to_string(file.size()) + " ");
    }
}

TEST(TextFileRead, UnrepresentableCharacterIsReportedOnWrite) {
    test::TempDir dir;
    std::string diagnostic;
    int flags = 0;
    ASSERT_TRUE(writeTextFile((dir / "out").string(),
                              "<?xml version=\"1.0\" encoding=\"GBK\"?><r n=\"\xF0\x9F\x98\x80\"/>",
                              diagnostic, flags));
    EXPECT_NE(diagnostic.find("(chars lost in conversion!) "), std::string::npos);
}

TEST(TextFileRead, AnsiBytesStayUnchanged) {
    test::TempDir dir;
    const std::string bytes = "plain \xCE\xD2\xB5\xC4 text";  // GBK bytes, not UTF-8
    test::writeFile(dir / "in", bytes);
    std::string read, diagnostic;
    int flags = 0;
    ASSERT_TRUE(readTextFile((dir / "in").string(), read, diagnostic, flags));
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(diagnostic,
              "ANSI length " + std::to_string(bytes.size()) + " (used UTF-8 detection) ");
}

TEST(TextFileRead, Utf8DetectedWithoutDeclaration) {
    test::TempDir dir;
    test::writeFile(dir / "in", "名字 name");
    std::string read, diagnostic;
    int flags = 0;
    ASSERT_TRUE(readTextFile((dir / "in").string(), read, diagnostic, flags));
    EXPECT_EQ(read, "名字 name");
    EXPECT_EQ(diagnostic, "UTF-8 length 11 (used UTF-8 detection) ");
    // Plain ASCII has no multibyte sequence: detection runs, finds nothing.
    test::writeFile(dir / "in", "abc");
    ASSERT_TRUE(readTextFile((dir / "in").string(), read, diagnostic, flags));
    EXPECT_EQ(diagnostic, "ANSI length 3 (used UTF-8 detection) ");
}

TEST(TextFileRead, NullsAreRemovedAndCounted) {
    test::TempDir dir;
    test::writeFile(dir / "in", std::string("<r>\0a\0\0</r>", 11));
    XmlDoc doc;
    ASSERT_TRUE(doc.loadFile((dir / "in").string()));
    EXPECT_EQ(doc.text(), "<r>a</r>");
    EXPECT_EQ(doc.resultText(), "UTF-8 length 11 (3 nulls removed) ");
    // UTF-16 zero units too.
    std::string units("\xFF\xFE<\0r\0\0\0/\0>\0", 12);
    test::writeFile(dir / "in16", units);
    std::string read, diagnostic;
    int flags = 0;
    ASSERT_TRUE(readTextFile((dir / "in16").string(), read, diagnostic, flags));
    EXPECT_EQ(read, "<r/>");
    EXPECT_EQ(diagnostic, "UTF-16LE BOM + length 5 (1 nulls removed) to 4 bytes ");
}

TEST(TextFileRead, EmptyAndMissingFiles) {
    test::TempDir dir;
    test::writeFile(dir / "empty", "");
    std::string read = "old", diagnostic;
    int flags = 0;
    ASSERT_TRUE(readTextFile((dir / "empty").string(), read, diagnostic, flags));
    EXPECT_EQ(read, "");
    EXPECT_EQ(diagnostic, "0 length ");
    XmlDoc doc;
    EXPECT_FALSE(doc.loadFile((dir / "empty").string()));
    EXPECT_EQ(doc.resultText(), "0 length  Empty document");

    EXPECT_FALSE(readTextFile((dir / "missing").string(), read, diagnostic, flags));
    EXPECT_EQ(diagnostic, "No such file or directory");
    EXPECT_FALSE(doc.loadFile((dir / "missing").string()));
    EXPECT_EQ(doc.resultText(), "No such file or directory");
    EXPECT_FALSE(doc.isWellFormed());
}

TEST(TextFileWrite, EmptyTextAndUnwritablePath) {
    test::TempDir dir;
    std::string diagnostic;
    int flags = 0;
    ASSERT_TRUE(writeTextFile((dir / "e").string(), "", diagnostic, flags));
    EXPECT_EQ(diagnostic, "0 length ");
    EXPECT_EQ(test::readFile(dir / "e"), "");
    EXPECT_FALSE(writeTextFile((dir / "no" / "such" / "f").string(), "<a/>", diagnostic, flags));
    EXPECT_EQ(diagnostic, "No such file or directory");
}

TEST(TextFileWrite, AFailedSaveLeavesTheOldFileWhole) {
    test::TempDir dir;
    std::string path = (dir / "cat").string();
    test::writeFile(path, kCatalogText);
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    XmlDoc doc;
    doc.setText("<User/>");
    bool saved = doc.saveFile(path);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    if (geteuid() != 0) {  // root writes anywhere
        EXPECT_FALSE(saved);
        EXPECT_EQ(test::readFile(path), kCatalogText);
    }
}

}  // namespace
}  // namespace parvola
