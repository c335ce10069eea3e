// The command-line client end to end: the real program against the real mail
// server and the stand-in web service.
#include <gtest/gtest.h>
#include <signal.h>

#include "tests/cli/cli_fixture.h"

namespace parvola::test {
namespace {

using CliTest = CliAccountTest;

TEST_F(CliTest, StoreListReadDeleteRestorePurge) {
    login();
    const std::string bytes = randomBytes(6 * 1024 * 1024 + 5000, 11);  // two pieces
    writeFile(files_ / "季度报告.bin", bytes);

    CliResult store = cli({"store", (files_ / "季度报告.bin").string(), "--folder", "我的文档"});
    ASSERT_EQ(store.exitCode, 0) << store.err;
    EXPECT_NE(store.err.find("季度报告.bin: piece 1/2 done"), std::string::npos) << store.err;
    EXPECT_NE(store.err.find("季度报告.bin: piece 2/2 done"), std::string::npos) << store.err;

    CliResult ls = cli({"ls", "我的文档"});
    ASSERT_EQ(ls.exitCode, 0) << ls.err;
    EXPECT_NE(ls.out.find("季度报告.bin"), std::string::npos);
    EXPECT_NE(ls.out.find("6.0048MB"), std::string::npos) << ls.out;

    TempDir saves("parvola-cli-saves");
    CliResult read = cli({"read", "我的文档/季度报告.bin", "--to", saves.str()});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_TRUE(readFile(saves / "季度报告.bin") == bytes);
    // A second read never replaces the first copy.
    read = cli({"read", "季度报告.bin", "--folder", "我的文档", "--to", saves.str()});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_TRUE(readFile(saves / "季度报告 (1).bin") == bytes);

    CliResult space = cli({"space"});
    EXPECT_EQ(space.out, "总空间500M  文件个数1  已用空间7M  可用空间493M\n");

    EXPECT_EQ(cli({"rm", "我的文档\\季度报告.bin"}).exitCode, 0);
    CliResult bin = cli({"bin"});
    EXPECT_NE(bin.out.find("我的文档\\季度报告.bin"), std::string::npos) << bin.out;
    EXPECT_EQ(cli({"ls", "我的文档"}).out.find("季度报告"), std::string::npos);
    EXPECT_EQ(cli({"restore", "我的文档/季度报告.bin"}).exitCode, 0);
    EXPECT_NE(cli({"ls", "我的文档"}).out.find("季度报告.bin"), std::string::npos);
    EXPECT_EQ(cli({"rm", "我的文档/季度报告.bin"}).exitCode, 0);
    EXPECT_EQ(cli({"purge", "我的文档/季度报告.bin", "--yes"}).exitCode, 0);
    EXPECT_EQ(cli({"bin"}).out, "");
    EXPECT_EQ(cli({"space"}).out, "总空间500M  文件个数0  已用空间0M  可用空间500M\n");
}

// A second computer: another application directory logs in as the same user,
// finds the catalog the first one mailed and reads the file back.
TEST_F(CliTest, ASecondComputerReadsWhatTheFirstStored) {
    login();
    const std::string bytes = randomBytes(6 * 1024 * 1024 + 1, 21);  // two pieces
    writeFile(files_ / "照片.zip", bytes);
    ASSERT_EQ(cli({"mkdir", "旅行"}).exitCode, 0);
    CliResult store = cli({"store", (files_ / "照片.zip").string(), "--folder", "旅行"});
    ASSERT_EQ(store.exitCode, 0) << store.err;

    TempDir second("parvola-cli-second");
    writeFile(second / "deploy.ini", readFile(home_.path() / "deploy.ini"));
    CliResult login2 = runCli(second.str(), {"login", address_, "--password-stdin"}, "Secret-1\n");
    ASSERT_EQ(login2.exitCode, 0) << login2.err;
    CliResult ls = runCli(second.str(), {"ls", "旅行"});
    EXPECT_NE(ls.out.find("照片.zip"), std::string::npos) << ls.out << ls.err;
    TempDir saves("parvola-cli-saves");
    CliResult read = runCli(second.str(), {"read", "旅行/照片.zip", "--to", saves.str()});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_TRUE(readFile(saves / "照片.zip") == bytes);
}

TEST_F(CliTest, FoldersTreeAndSettings) {
    login();
    EXPECT_EQ(cli({"mkdir", "我的文档/报告"}).exitCode, 0);
    CliResult again = cli({"mkdir", "我的文档/报告"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("文件夹已存在"), std::string::npos);
    // The desktop client's series inside 我的文档, which already holds 自定义.
    CliResult series = cli({"mkdir", "--auto", "我的文档"});
    EXPECT_EQ(series.exitCode, 0) << series.err;
    EXPECT_EQ(series.out, "created 我的文档\\自定义1\n");
    EXPECT_EQ(cli({"mkdir", "--auto", "我的文档"}).out, "created 我的文档\\自定义2\n");
    EXPECT_EQ(cli({"mkdir", "没有/x"}).exitCode, 1);
    EXPECT_EQ(cli({"rename", "我的文档/报告", "月报"}).exitCode, 0);
    CliResult tree = cli({"tree"});
    EXPECT_NE(tree.out.find("月报"), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("回收站"), std::string::npos);
    CliResult taken = cli({"rename", "我的文档/月报", "自定义"});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_NE(taken.err.find("文件夹已存在"), std::string::npos);

    EXPECT_EQ(cli({"settings", "defpath", "/tmp/下载"}).exitCode, 0);
    EXPECT_EQ(cli({"settings", "continue", "true"}).exitCode, 0);
    CliResult shown = cli({"settings"});
    EXPECT_NE(shown.out.find("continue  = true"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("defpath   = /tmp/下载"), std::string::npos);
    EXPECT_EQ(cli({"settings", "continue", "maybe"}).exitCode, 2);
}

TEST_F(CliTest, ErrorsAUserCanHit) {
    CliResult noAccount = cli({"ls"});
    EXPECT_EQ(noAccount.exitCode, 1);
    EXPECT_NE(noAccount.err.find("log in first"), std::string::npos);

    CliResult wrong = cli({"login", address_, "--password-stdin"}, "secret-1\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find(address_ + "的用户名或密码错误,请确认后再次登录。"),
              std::string::npos);
    login();

    CliResult folder = cli({"ls", "没有这个"});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_NE(folder.err.find("no such folder"), std::string::npos);

    writeFile(files_ / "empty.txt", "");
    CliResult empty = cli({"store", (files_ / "empty.txt").string()});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_NE(empty.err.find("文件内容为空"), std::string::npos) << empty.err;

    CliResult missing = cli({"store", (files_ / "nope.txt").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("文件读取错误"), std::string::npos) << missing.err;

    writeFile(files_ / "a.txt", "hello");
    ASSERT_EQ(cli({"store", (files_ / "a.txt").string()}).exitCode, 0);
    CliResult twice = cli({"store", (files_ / "a.txt").string()});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_NE(twice.err.find("文件夹中有同名文件,无法上传!"), std::string::npos);

    CliResult noFile = cli({"read", "我的文档/none.txt"});
    EXPECT_EQ(noFile.exitCode, 1);
    EXPECT_NE(noFile.err.find("no such file"), std::string::npos);

    EXPECT_EQ(cli({"ls", "a", "b"}).exitCode, 2);
    EXPECT_EQ(cli({"frobnicate"}).exitCode, 2);
    CliResult help = cli({"store", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: parvola-cli store"), std::string::npos);
}

TEST_F(CliTest, ServiceDownShowsTheNetworkMessage) {
    login();
    writeFile(home_.path() / "deploy.ini", "[site]\nbase=http://127.0.0.1:9\n");
    // Listing reads the catalog on this computer; the newest needs the service.
    EXPECT_EQ(cli({"ls"}).exitCode, 0);
    CliResult down = cli({"ls", "--refresh"});
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_NE(down.err.find("网络问题,请稍后再试.如多次登录仍不能登录,请联系客服."),
              std::string::npos);
}

TEST_F(CliTest, InterruptedStoreIsSavedAndResumeFinishesIt) {
    login();
    // One piece at a time, so that the interrupt comes between pieces.
    ASSERT_EQ(cli({"settings", "connections", "1"}).exitCode, 0);
    const std::string bytes = randomBytes(3 * 6 * 1024 * 1024 + 77, 12);  // four pieces
    writeFile(files_ / "big.bin", bytes);
    {
        CliProcess store(home_.str(), {"store", (files_ / "big.bin").string()});
        ASSERT_TRUE(store.waitForError("big.bin: piece 1/4 done", std::chrono::seconds(120)));
        store.signal(SIGINT);
        CliResult r = store.finish();
        EXPECT_EQ(r.exitCode, 130);
        EXPECT_NE(r.err.find("unfinished transfers saved"), std::string::npos) << r.err;
    }
    EXPECT_EQ(cli({"ls", "我的文档"}).out.find("big.bin"), std::string::npos);
    CliResult resume = cli({"resume"});
    ASSERT_EQ(resume.exitCode, 0) << resume.err;
    // The same progress and last line as the store: a line for every piece
    // this run sent (piece 1 went before the interruption), then "stored".
    EXPECT_EQ(resume.err.find("big.bin: piece 1/4 done"), std::string::npos) << resume.err;
    EXPECT_NE(resume.err.find("big.bin: piece 4/4 done"), std::string::npos) << resume.err;
    EXPECT_EQ(resume.out, "stored 我的文档\\big.bin\n");
    EXPECT_NE(cli({"ls", "我的文档"}).out.find("big.bin"), std::string::npos);
    EXPECT_EQ(cli({"resume"}).out, "no unfinished transfers\n");
    TempDir saves("parvola-cli-saves");
    ASSERT_EQ(cli({"read", "我的文档/big.bin", "--to", saves.str()}).exitCode, 0);
    EXPECT_TRUE(readFile(saves / "big.bin") == bytes);
}

}  // namespace
}  // namespace parvola::test
