// The command line's own text handling: folder paths, column widths, the
// progress line and the argument reader.
#include <gtest/gtest.h>

#include "cli/folder_path.h"
#include "cli/json_text.h"
#include "cli/option_parser.h"
#include "cli/progress_display.h"
#include "cli/text_width.h"
#include "tests/support/temp_dir.h"

namespace parvola::cli {
namespace {

TEST(CliFolderPath, SlashesAndBackslashesBothSeparate) {
    EXPECT_EQ(catalogPath("/我的文档//自定义/"), "我的文档\\自定义");
    EXPECT_EQ(catalogPath("我的文档\\自定义"), "我的文档\\自定义");
    EXPECT_EQ(catalogPath("/"), "");
    EXPECT_EQ(joinPath("", "c"), "c");
    EXPECT_EQ(joinPath("a", ""), "a");
    EXPECT_EQ(joinPath("a\\b", "c"), "a\\b\\c");
    // A name holding "/" (older catalogs) is reached with "\\" alone.
    EXPECT_EQ(catalogPathSpellings("a/b;c\\f.txt"),
              (std::vector<std::string>{"a\\b;c\\f.txt", "a/b;c\\f.txt"}));
    EXPECT_EQ(catalogPathSpellings("我的文档\\x"), std::vector<std::string>{"我的文档\\x"});
}

TEST(CliTextWidth, ChineseTakesTwoCells) {
    EXPECT_EQ(displayWidth("文件夹"), 6u);
    EXPECT_EQ(displayWidth("a.txt"), 5u);
    EXPECT_EQ(displayWidth("\xF0\x9F\x98\x80"), 2u);
    EXPECT_EQ(padToWidth("文件", 6), "文件  ");
    EXPECT_EQ(padToWidth("1.0000MB", 10, true), "  1.0000MB");
    EXPECT_EQ(padToWidth("toolongtext", 4), "toolongtext");
}

TEST(CliProgressLine, BarPercentSpeedAndTimeLeft) {
    TransferTask task;
    task.direction = TransferDirection::Upload;
    task.fileSize = 10 * 1024 * 1024;
    task.progress = 50.0f;
    task.speed = 1024 * 1024;
    EXPECT_EQ(progressLine(task, 10), "[#####.....] 50.00%  1024KByte/s  0:05 left");
    task.speed = 0;
    task.direction = TransferDirection::Download;
    task.progress = 0;
    EXPECT_EQ(progressLine(task, 4), "[....] 0.00%  发送请求...");
}

TEST(CliOptionParser, FlagsOptionsAndPositionals) {
    OptionParser parser({"store", "--folder", "我的文档", "a.txt", "--yes"});
    EXPECT_TRUE(parser.flag("--yes"));
    EXPECT_EQ(parser.option("--folder"), "我的文档");
    EXPECT_EQ(parser.positional(0), "store");
    EXPECT_EQ(parser.positional(1), "a.txt");
    EXPECT_TRUE(parser.done(2));
    EXPECT_FALSE(parser.done(1));

    OptionParser unknown({"--frob", "x"});
    EXPECT_FALSE(unknown.done(1));
    OptionParser missingValue({"x", "--to"});
    EXPECT_FALSE(missingValue.option("--to"));
    EXPECT_FALSE(missingValue.done(1));

    // Short flags, and "--" before names that start with "-".
    OptionParser shortFlags({"-r", "dir", "--", "-odd.txt", "--yes"});
    EXPECT_TRUE(shortFlags.flag("--recursive", "-r"));
    EXPECT_FALSE(shortFlags.flag("--yes"));
    EXPECT_EQ(shortFlags.positionals(), (std::vector<std::string>{"dir", "-odd.txt", "--yes"}));
    EXPECT_TRUE(shortFlags.doneWithAny());
}

TEST(CliOptionParser, TheFirstProblemIsNamed) {
    OptionParser parser({"a", "--foldr", "x"});
    EXPECT_FALSE(parser.done(2));
    EXPECT_EQ(usageProblem(), "unknown option --foldr");
}

TEST(CliJson, StringsAndTimes) {
    EXPECT_EQ(jsonString("报告 \"一\"\\\n\x01"), "\"报告 \\\"一\\\"\\\\\\n\\u0001\"");
    test::ScopedEnv zone("TZ", "Asia/Shanghai");
    tzset();
    EXPECT_EQ(jsonTime("26-12-07 22:20:12"), "\"2026-12-07T22:20:12+08:00\"");
    EXPECT_EQ(jsonTime(""), "null");
    EXPECT_EQ(jsonTime("26-12-07 22:20:12x"), "null");
}

}  // namespace
}  // namespace parvola::cli
