// The windows when the application directory's disk is full: a folder
// command or a delete that the catalog could not save says so, and the tree
// and the list keep showing what the catalog on disk still holds.
#include <filesystem>

#include "catalog/catalog.h"
#include "shell/file_list.h"
#include "tests/faults/disk_filler.h"
#include "tests/faults/scoped_tmpfs.h"
#include "tests/shell/ui/ui_support.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;
using FullDiskUi = UiTest;

TEST_F(FullDiskUi, UnsavedFolderAndDeleteCommandsSaySoAndChangeNothing) {
    const std::string account = addOfflineAccount();
    ASSERT_EQ(Catalog(account).addFileRecord("我的媒体", "a.txt",
                                             "PARVOL:;a.txt;3;1;5;0000000000;1;1", 5),
              0);
    ScopedTmpfs disk(512 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << disk.reason();
    // The same application directory, moved onto the small disk, then filled.
    fs::copy(home_.path(), disk.path(), fs::copy_options::recursive);
    ScopedEnv home("PARVOLA_HOME", disk.str());
    const std::string before = readFile(disk.path() / (account + "_config"));
    ASSERT_TRUE(fillDisk(disk.str()));

    auto* tree = ui::panes().tree;
    select(account, "我的图片");
    tree->createFolder();
    EXPECT_EQ(tree->findNode(account, "我的图片")->childCount(), 0);

    auto* list = ui::panes().fileList;
    select(account, "我的媒体");
    ASSERT_EQ(list->rowCount(), 1);
    list->selectRow(0);
    list->deleteCommand();
    EXPECT_EQ(list->rowCount(), 1);

    EXPECT_EQ(messages(), std::vector<std::string>({kCatalogNotSavedText, kCatalogNotSavedText}));
    EXPECT_EQ(readFile(disk.path() / (account + "_config")), before);

    // With room again, the same commands go through and say nothing.
    fs::remove(disk.path() / "filler");
    select(account, "我的图片");
    tree->createFolder();
    EXPECT_EQ(tree->findNode(account, "我的图片")->childCount(), 1);
    EXPECT_EQ(messages().size(), 2u);
}

}  // namespace
}  // namespace parvola::test
