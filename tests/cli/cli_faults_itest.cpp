// Paths of the command line that once lost data, hid it or reported a
// failure as success, each tried as a user would, against the real mail
// server and the stand-in web service.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>

#include "tests/cli/cli_fixture.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

using CliFaults = CliAccountTest;

bool holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Every line of `text` that is not empty starts with `prefix`.
bool everyLineStartsWith(const std::string& text, const std::string& prefix) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start && text.compare(start, prefix.size(), prefix) != 0)
            return false;
        start = end + 1;
    }
    return true;
}

TEST_F(CliFaults, PurgeWaitsForItsAnswer) {
    login();
    store("r1.txt", "first", "我的图片");
    ASSERT_EQ(cli({"rm", "我的图片/r1.txt"}).exitCode, 0);

    // Piped "n": no terminal to ask on, so nothing happens without --yes.
    CliResult piped = cli({"purge", "我的图片/r1.txt"}, "n\n");
    EXPECT_EQ(piped.exitCode, 2);
    EXPECT_TRUE(holds(piped.err, "--yes")) << piped.err;
    EXPECT_TRUE(everyLineStartsWith(piped.err, "parvola-cli:")) << piped.err;
    EXPECT_TRUE(holds(cli({"bin"}).out, "r1.txt"));

    // On a terminal the answer decides; anything but y or yes keeps the item.
    CliResult no = runCliOnTerminal(home_.str(), {"purge", "我的图片/r1.txt"}, "[y/N]", "n\n");
    EXPECT_EQ(no.exitCode, 1) << no.out;
    EXPECT_TRUE(holds(no.out, "您确认删除,删除后无法恢复!")) << no.out;
    EXPECT_TRUE(holds(cli({"bin"}).out, "r1.txt"));
    EXPECT_EQ(pieceMailsOf("r1.txt"), 1u);

    CliResult yes = runCliOnTerminal(home_.str(), {"purge", "我的图片/r1.txt"}, "[y/N]", "y\n");
    EXPECT_EQ(yes.exitCode, 0) << yes.out;
    EXPECT_TRUE(holds(yes.out, "purged 我的图片\\r1.txt")) << yes.out;
    EXPECT_EQ(cli({"bin"}).out, "");
    EXPECT_EQ(pieceMailsOf("r1.txt"), 0u);
}

TEST_F(CliFaults, FilesAtTheUserLevelListReadAndLeave) {
    login();
    const std::string bytes = randomBytes(6 * 1024 * 1024 + 10, 31);  // two pieces
    store("notes.txt", bytes, "我的图片");
    // Another client's catalog: the file record directly under User.
    editCatalog([](std::string& text) {
        const std::regex inFolder("<File Name=\"notes\\.txt\"[^>]*/>\r\n");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(text, m, inFolder));
        const std::string record = m.str().substr(0, m.str().size() - 2);
        text = std::regex_replace(text, inFolder, "");
        addAtUserLevel(text, record);
    });

    CliResult ls = cli({"ls"});
    ASSERT_EQ(ls.exitCode, 0) << ls.err;
    const size_t media = ls.out.find("我的媒体"), notes = ls.out.find("notes.txt"),
                 recycle = ls.out.find("回收站");
    ASSERT_NE(notes, std::string::npos) << ls.out;
    EXPECT_LT(ls.out.find("我的文档"), media);
    EXPECT_LT(media, notes);
    EXPECT_LT(notes, recycle);
    EXPECT_EQ(ls.out.find("notes.txt"), ls.out.rfind("notes.txt"));

    TempDir saves("parvola-cli-saves");
    CliResult read = cli({"read", "notes.txt", "--to", saves.str()});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_TRUE(readFile(saves / "notes.txt") == bytes);

    EXPECT_EQ(cli({"rm", "notes.txt"}).exitCode, 0);
    EXPECT_FALSE(holds(cli({"ls"}).out, "notes.txt"));
    EXPECT_TRUE(holds(cli({"bin"}).out, "notes.txt"));
    EXPECT_EQ(cli({"restore", "notes.txt"}).exitCode, 0);
    EXPECT_TRUE(holds(cli({"ls"}).out, "notes.txt"));
    EXPECT_EQ(cli({"rm", "/notes.txt"}).exitCode, 0);
    CliResult purge = cli({"purge", "notes.txt", "--yes"});
    EXPECT_EQ(purge.exitCode, 0) << purge.err;
    EXPECT_EQ(pieceMailsOf("notes.txt"), 0u);
    EXPECT_EQ(cli({"space"}).out, "总空间500M  文件个数0  已用空间0M  可用空间500M\n");

    // Storing there stays refused, with the reason, and nothing is mailed.
    writeFile(files_ / "top.txt", "top");
    const std::string before = readFile(catalogFile());
    CliResult top = cli({"store", (files_ / "top.txt").string(), "--folder", "/"});
    EXPECT_EQ(top.exitCode, 1);
    EXPECT_TRUE(holds(top.err, "不能存储在账号的最上层")) << top.err;
    EXPECT_FALSE(holds(top.out, "stored"));
    EXPECT_EQ(pieceMailsOf("top.txt"), 0u);
    EXPECT_FALSE(holds(readFile(catalogFile()), "top.txt"));
}

TEST_F(CliFaults, NamesThePathsCannotCarryAreRefused) {
    login();
    for (const char* bad : {"a/b", "p\\q", ".", "..", "x;y"}) {
        CliResult rename = cli({"rename", "我的文档/自定义", bad});
        EXPECT_EQ(rename.exitCode, 1) << bad;
        EXPECT_TRUE(holds(rename.err, "parvola-cli: ")) << rename.err;
    }
    for (const char* bad : {".", "..", "x;y", "我的文档/x;y", "我的文档/..", "a\\.\\b"}) {
        CliResult mkdir = cli({"mkdir", bad});
        EXPECT_NE(mkdir.exitCode, 0) << bad;
    }
    CliResult ls = cli({"ls", "我的文档"});
    EXPECT_TRUE(holds(ls.out, "自定义"));
    EXPECT_FALSE(holds(ls.out, "x;y"));
    EXPECT_FALSE(holds(cli({"tree"}).out, "x;y"));

    writeFile(files_ / "back\\slash.txt", "bytes");
    CliResult slash = cli({"store", (files_ / "back\\slash.txt").string()});
    EXPECT_EQ(slash.exitCode, 1);
    EXPECT_TRUE(holds(slash.err, "\\")) << slash.err;
    EXPECT_FALSE(holds(readFile(catalogFile()), "slash.txt"));
    EXPECT_EQ(pieceMailsOf("back\\slash.txt"), 0u);

    // A catalog that already holds such names (written before these rules)
    // still lists and reads.
    store("f.txt", "old names", "我的媒体");
    editCatalog([](std::string& text) {
        text = std::regex_replace(text, std::regex("Name=\"我的媒体\""), "Name=\"a/b;c\"");
    });
    EXPECT_TRUE(holds(cli({"ls"}).out, "a/b;c"));
    CliResult inside = cli({"ls", "a/b;c"});
    EXPECT_EQ(inside.exitCode, 0) << inside.err;
    EXPECT_TRUE(holds(inside.out, "f.txt"));
    TempDir saves("parvola-cli-saves");
    CliResult read = cli({"read", "a/b;c\\f.txt", "--to", saves.str()});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(readFile(saves / "f.txt"), "old names");
}

TEST_F(CliFaults, InterruptedStoreWithoutSavingLeavesNothing) {
    login();
    // One piece at a time, so that the interrupt comes between pieces.
    ASSERT_EQ(cli({"settings", "connections", "1"}).exitCode, 0);
    writeFile(files_ / "big.bin", randomBytes(3 * 6 * 1024 * 1024 + 77, 41));  // four pieces
    CliProcess store(home_.str(),
                     {"store", (files_ / "big.bin").string(), "--save-unfinished", "no"});
    ASSERT_TRUE(store.waitForError("big.bin: piece 1/4 done", std::chrono::seconds(120)));
    store.signal(SIGINT);
    CliResult r = store.finish();
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_TRUE(holds(r.err, "nothing saved")) << r.err;
    EXPECT_TRUE(holds(r.err, "removed")) << r.err;
    EXPECT_FALSE(holds(r.err, "有传输任务正在进行中")) << r.err;  // a question nobody answers
    EXPECT_EQ(pieceMailsOf("big.bin"), 0u);
    EXPECT_TRUE(tempFiles().empty());
    EXPECT_FALSE(holds(readFile(home_.path() / "config.ini"), "big.bin"));
    EXPECT_FALSE(holds(cli({"ls", "我的文档"}).out, "big.bin"));
}

TEST_F(CliFaults, ResumeOfAStoreWhoseSourceIsGoneCleansUp) {
    login();
    // One piece at a time, so that the interrupt comes between pieces.
    ASSERT_EQ(cli({"settings", "connections", "1"}).exitCode, 0);
    writeFile(files_ / "gone.bin", randomBytes(3 * 6 * 1024 * 1024 + 5, 42));  // four pieces
    {
        CliProcess store(home_.str(), {"store", (files_ / "gone.bin").string()});
        ASSERT_TRUE(store.waitForError("gone.bin: piece 1/4 done", std::chrono::seconds(120)));
        store.signal(SIGINT);
        CliResult r = store.finish();
        EXPECT_EQ(r.exitCode, 130);
        EXPECT_TRUE(holds(r.err, "saved")) << r.err;
    }
    ASSERT_GE(pieceMailsOf("gone.bin"), 1u);
    fs::remove(files_ / "gone.bin");
    CliResult resume = cli({"resume"});
    EXPECT_EQ(resume.exitCode, 1) << resume.err;
    EXPECT_TRUE(holds(resume.err, (files_ / "gone.bin").string())) << resume.err;
    EXPECT_TRUE(holds(resume.err, "No such file or directory")) << resume.err;
    EXPECT_EQ(pieceMailsOf("gone.bin"), 0u);
    EXPECT_TRUE(tempFiles().empty());
    EXPECT_FALSE(holds(readFile(home_.path() / "config.ini"), "gone.bin"));
}

TEST_F(CliFaults, ATopLevelFolderInTheBinIsPurged) {
    login();
    ASSERT_EQ(cli({"mkdir", "旅行"}).exitCode, 0);
    store("t.txt", "trip", "旅行");
    ASSERT_EQ(cli({"rm", "旅行"}).exitCode, 0);
    EXPECT_EQ(cli({"space"}).out, "总空间500M  文件个数1  已用空间0M  可用空间500M\n");
    CliResult purge = cli({"purge", "旅行", "--yes"});
    EXPECT_EQ(purge.exitCode, 0) << purge.err;
    EXPECT_EQ(cli({"bin"}).out, "");
    EXPECT_EQ(cli({"space"}).out, "总空间500M  文件个数0  已用空间0M  可用空间500M\n");
    EXPECT_EQ(pieceMailsOf("t.txt"), 0u);
}

TEST_F(CliFaults, BinShowsFolderPathsOnceAndRestoreBringsTheChainBack) {
    login();
    ASSERT_EQ(cli({"mkdir", "我的文档/甲"}).exitCode, 0);
    ASSERT_EQ(cli({"mkdir", "我的文档/甲/乙"}).exitCode, 0);
    ASSERT_EQ(cli({"rm", "我的文档/甲/乙"}).exitCode, 0);
    ASSERT_EQ(cli({"rm", "我的文档/甲"}).exitCode, 0);
    CliResult bin = cli({"bin"});
    EXPECT_TRUE(holds(bin.out, "我的文档\\甲\\乙\n")) << bin.out;
    EXPECT_TRUE(holds(bin.out, "我的文档\\甲\n")) << bin.out;
    EXPECT_FALSE(holds(bin.out, "乙\\乙")) << bin.out;
    EXPECT_FALSE(holds(bin.out, "甲\\甲")) << bin.out;

    CliResult restore = cli({"restore", "我的文档/甲/乙"});
    EXPECT_EQ(restore.exitCode, 0) << restore.err;
    EXPECT_TRUE(holds(restore.out, "我的文档\\甲")) << restore.out;
    EXPECT_TRUE(holds(cli({"ls", "我的文档/甲"}).out, "乙"));
    EXPECT_TRUE(holds(cli({"tree"}).out, "乙"));
    EXPECT_EQ(cli({"bin"}).out, "");
}

TEST_F(CliFaults, RenameComparesWholeNames) {
    login();
    ASSERT_EQ(cli({"mkdir", "Projects"}).exitCode, 0);
    editCatalog([](std::string& text) {
        addAtUserLevel(text,
                       "<Folder Name=\"x;y\" CT=\"26-01-01 10:00:00\" Size=\"0\" Del=\"false\"/>");
    });
    CliResult rename = cli({"rename", "Projects", "x"});
    EXPECT_EQ(rename.exitCode, 0) << rename.err;
    const std::string tree = cli({"tree"}).out;
    EXPECT_TRUE(holds(tree, "─ x\n")) << tree;
    EXPECT_TRUE(holds(tree, "─ x;y\n")) << tree;
    CliResult taken = cli({"rename", "x", "我的文档"});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_TRUE(holds(taken.err, "文件夹已存在"));
}

TEST_F(CliFaults, AutostartStartsTheDesktopClient) {
    TempDir config("parvola-cli-config");
    ScopedEnv xdg("XDG_CONFIG_HOME", config.str());
    CliResult set = cli({"settings", "autostart", "true"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const std::string entry = readFile(config / "autostart/parvola.desktop");
    std::smatch exec;
    ASSERT_TRUE(std::regex_search(entry, exec, std::regex("\nExec=([^\n]*)\n"))) << entry;
    EXPECT_FALSE(holds(exec[1], "parvola-cli")) << entry;
    EXPECT_EQ(fs::path(std::string(exec[1])).filename(), "parvola") << entry;
    EXPECT_TRUE(holds(cli({"settings"}).out, "autostart = true"));
    ASSERT_EQ(cli({"settings", "autostart", "false"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(config / "autostart/parvola.desktop"));
}

}  // namespace
}  // namespace parvola::test
