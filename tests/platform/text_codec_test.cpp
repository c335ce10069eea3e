#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

using test::iconvTool;

TEST(TextCodec, ChineseRoundTripMatchesIconvTool) {
    const std::string text = "我的文档\\自定义 report.doc";
    bool ok = false;
    std::string wire = utf8ToWire(text, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(wire, iconvTool(text, "UTF-8", "GB18030"));
    // GBK characters keep their code page 936 bytes: 我 is CE D2.
    EXPECT_EQ(wire.substr(0, 2), "\xCE\xD2");
    EXPECT_EQ(wireToUtf8(wire, &ok), text);
    EXPECT_TRUE(ok);
}

TEST(TextCodec, CharactersOutsideGbkSurviveTheRoundTrip) {
    const std::string text =
        "photo \xF0\x9F\x98\x80 \xED\x95\x9C\xEA\xB8\x80.jpg";  // emoji, Hangul
    bool ok = false;
    std::string wire = utf8ToWire(text, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(wire, iconvTool(text, "UTF-8", "GB18030"));
    EXPECT_EQ(wireToUtf8(wire, &ok), text);
    EXPECT_TRUE(ok);
}

TEST(TextCodec, UndecodableBytesAreReportedAndReplacedNotDropped) {
    bool ok = true;
    // 0xFF is never a GB18030 lead byte.
    std::string text = wireToUtf8(
        "ab\xFF"
        "cd",
        &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(text,
              "ab\xEF\xBF\xBD"
              "cd");

    ok = true;
    std::string wire = utf8ToWire("x\xC3(y", &ok);  // broken UTF-8
    EXPECT_FALSE(ok);
    EXPECT_EQ(wire, "x?(y");

    ok = true;
    text = wireToUtf8("tail\xB0", &ok);  // truncated double-byte character
    EXPECT_FALSE(ok);
    EXPECT_EQ(text, "tail\xEF\xBF\xBD");
}

TEST(TextCodec, EmptyAndPlainAscii) {
    bool ok = false;
    EXPECT_EQ(utf8ToWire("", &ok), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(wireToUtf8("action=login&email=a@b", &ok), "action=login&email=a@b");
    EXPECT_TRUE(ok);
}

TEST(TextCodec, Utf8Validation) {
    EXPECT_TRUE(isValidUtf8("plain"));
    EXPECT_TRUE(isValidUtf8("中文\xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));          // overlong NUL
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xE4\xB8"));          // truncated
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}

}  // namespace
}  // namespace parvola
