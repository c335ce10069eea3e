// The catalog file as independent readers see it, and changes made at once by
// several threads and a second process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

#include "catalog/catalog.h"
#include "tests/catalog/catalog_test_support.h"

namespace parvola {
namespace {

using test::CatalogFixture;

const std::string kUser = "li@example.com";

class CatalogPeersTest : public CatalogFixture {};

TEST_F(CatalogPeersTest, ChineseNamesReadTheSameInPythonAndXmllint) {
    Catalog c(kUser);
    ASSERT_EQ(c.createNew(kUser), 0);
    ASSERT_EQ(c.addFolder("我的文档", "项目资料 <2009> & \"备份\""), 0);
    ASSERT_EQ(c.addFileRecord("我的文档\\项目资料 <2009> & \"备份\"", "报告 'final'.doc",
                              "PARVOL:报告;1;2", 12345),
              0);
    ASSERT_EQ(c.deleteFile("我的文档\\项目资料 <2009> & \"备份\"\\报告 'final'.doc"), 0);
    const std::string path = catalogPath(kUser);
    const std::string bytes = test::readFile(path);
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF");  // no byte-order mark
    EXPECT_TRUE(test::passesXmllint(path));

    const std::string script =
        "import sys, xml.etree.ElementTree as ET\n"
        "root = ET.parse(sys.argv[1]).getroot()\n"
        "print(root.tag, root.get('Name'), root.get('Version'), root.get('FN'), "
        "root.get('SUM'))\n"
        "for e in root.iter():\n"
        "    if e is root: continue\n"
        "    print(e.tag + '|' + '|'.join(k + '=' + v for k, v in e.attrib.items() "
        "if k not in ('CT', 'DT')))\n";
    test::TempDir dir;
    test::writeFile(dir / "read.py", script);
    std::string out;
    ASSERT_EQ(test::runShell("/usr/bin/python3 " + test::shellQuote((dir / "read.py").string()) +
                                 " " + test::shellQuote(path),
                             &out),
              0)
        << out;
    EXPECT_EQ(out,
              "User li@example.com 4 1 12345\n"
              "Folder|Name=我的文档|Size=0|Del=false\n"
              "Folder|Name=自定义|Size=0|Del=false\n"
              "Folder|Name=项目资料 <2009> & \"备份\"|Size=0|Del=false\n"
              "File|Name=报告 'final'.doc|Size=12345|Del=true|Subject=PARVOL:报告;1;2\n"
              "Folder|Name=我的图片|Size=0|Del=false\n"
              "Folder|Name=我的媒体|Size=0|Del=false\n"
              "Recycle|Name=回收站\n"
              "File|Name=报告 'final'.doc|Type=文件|Path=我的文档\\项目资料 <2009> & "
              "\"备份\"|Size=12345\n");
}

TEST_F(CatalogPeersTest, SavesLeaveNoTemporaryFilesBehind) {
    Catalog c(kUser);
    ASSERT_EQ(c.createNew(kUser), 0);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(c.addFolder("", "f" + std::to_string(i)), 0);
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(home_.path()))
        files.insert(entry.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{kUser + "_config", kUser + "_config.lock"}));
}

// The fault this guards against: an object loaded before another one saved
// must not write its stale copy over the other's change.
TEST_F(CatalogPeersTest, AStaleObjectDoesNotUndoAnotherChange) {
    Catalog(kUser).createNew(kUser);
    Catalog store(kUser);  // e.g. an upload worker finishing a store
    Catalog ui(kUser);     // and the user creating a folder meanwhile
    ASSERT_EQ(ui.addFolder("", "新建文件夹"), 0);
    ASSERT_EQ(store.addFileRecord("我的文档", "a.bin", "S", 10), 0);
    Catalog after(kUser);
    EXPECT_EQ(after.exists("", "新建文件夹", "Folder"), CatalogPresence::Live);
    EXPECT_EQ(after.exists("我的文档", "a.bin", "File"), CatalogPresence::Live);
    EXPECT_EQ(after.version(), 3);
}

TEST_F(CatalogPeersTest, AStaleObjectSeesAChangeThatKeptTheFileSize) {
    Catalog(kUser).createNew(kUser);
    for (int round = 0; round < 20; ++round) {
        Catalog stale(kUser);
        const std::string before = test::readFile(catalogPath(kUser));
        // Same byte length: the file keeps its size.
        const char* from = round % 2 == 0 ? "自定义" : "自定甲";
        const char* to = round % 2 == 0 ? "自定甲" : "自定义";
        ASSERT_TRUE(Catalog(kUser).renameFolder(std::string("我的文档\\") + from, from, to));
        ASSERT_EQ(test::readFile(catalogPath(kUser)).size(), before.size());
        ASSERT_EQ(stale.addFolder("", "r" + std::to_string(round)), 0);
        Catalog after(kUser);
        EXPECT_EQ(after.exists("我的文档", to, "Folder"), CatalogPresence::Live) << round;
        EXPECT_EQ(after.exists("", "r" + std::to_string(round), "Folder"), CatalogPresence::Live)
            << round;
    }
}

TEST_F(CatalogPeersTest, EightThreadsAndASecondProcessLoseNoRecord) {
    Catalog(kUser).createNew(kUser);
    constexpr int kThreads = 8;
    constexpr int kPerThread = 40;
    constexpr int kInChild = 80;  // 8 * 40 + 80 = 400
    std::vector<std::string> folders;
    for (int f = 0; f < 4; ++f) {
        folders.push_back("并发" + std::to_string(f));
        ASSERT_EQ(Catalog(kUser).addFolder("", folders.back()), 0);
    }

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int failures = 0;
        for (int i = 0; i < kInChild; ++i) {
            Catalog c(kUser);
            if (c.addFileRecord(folders[i % 4], "p-" + std::to_string(i), "S", 3) != 0)
                ++failures;
        }
        _exit(failures == 0 ? 0 : 1);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                Catalog c(kUser);
                std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
                if (c.addFileRecord(folders[(t + i) % 4], name, "S", 3) != 0)
                    ++failures;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(failures.load(), 0);

    Catalog after(kUser);
    long long files = 0, weighted = 0;
    ASSERT_EQ(after.spaceUsed(files, weighted), 0);
    EXPECT_EQ(files, 400);
    EXPECT_EQ(weighted, static_cast<long long>(400 * 3 * 1.2));
    EXPECT_EQ(after.version(), 1 + 4 + 400);
    std::set<std::string> seen;
    for (const std::string& folder : folders) {
        std::vector<CatalogRow> rows;
        after.listFolder(folder, rows);
        for (const CatalogRow& row : rows)
            seen.insert(row.name);
    }
    EXPECT_EQ(seen.size(), 400u);
    for (int i = 0; i < kInChild; ++i)
        EXPECT_TRUE(seen.count("p-" + std::to_string(i)));
    EXPECT_TRUE(test::passesXmllint(catalogPath(kUser)));
}

}  // namespace
}  // namespace parvola
