// The command line's own text handling: folder paths, column widths, the
// progress line and the argument reader.
#include <gtest/gtest.h>

#include "cli/folder_path.h"
#include "cli/option_parser.h"
#include "cli/progress_display.h"
#include "cli/text_width.h"

namespace parvola::cli {
namespace {

TEST(CliFolderPath, SlashesAndBackslashesBothSeparate) {
    EXPECT_EQ(catalogPath("/我的文档//自定义/"), "我的文档\\自定义");
    EXPECT_EQ(catalogPath("我的文档\\自定义"), "我的文档\\自定义");
    EXPECT_EQ(catalogPath("/"), "");
    EXPECT_EQ(joinPath("", "c"), "c");
    EXPECT_EQ(joinPath("a", ""), "a");
    EXPECT_EQ(joinPath("a\\b", "c"), "a\\b\\c");
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
}

}  // namespace
}  // namespace parvola::cli
