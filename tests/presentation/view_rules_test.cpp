// The shell's rules that are not drawing: size texts, what a tree selection
// means, menus, the folder name series, the rename check and the space line.
#include "presentation/view_rules.h"

#include <gtest/gtest.h>

#include <set>

#include "presentation/size_text.h"

namespace parvola {
namespace {

TEST(FileSizeText, SwitchesToMegabytesOnlyAboveOneMebibyte) {
    EXPECT_EQ(fileSizeText(1048576, "文件"), "1024.0000KB");
    EXPECT_EQ(fileSizeText(1048577, "文件"), "1.0000MB");
    EXPECT_EQ(fileSizeText(0, "文件"), "0.0000KB");
    EXPECT_EQ(fileSizeText(1536, "文件"), "1.5000KB");
    EXPECT_EQ(fileSizeText(26214400, "文件"), "25.0000MB");
}

TEST(FileSizeText, EmptyFolderShowsNothingButAFolderWithSizeShowsIt) {
    EXPECT_EQ(fileSizeText(0, "文件夹"), "");
    EXPECT_EQ(fileSizeText(2048, "文件夹"), "2.0000KB");
}

TEST(TreeSelection, PathRunsFromBelowTheAccountDown) {
    const std::string account = "demo@parvola.test";
    const auto selection = resolveTreeSelection({"自定义", "我的文档"}, &account);
    EXPECT_TRUE(selection.accountReached);
    EXPECT_EQ(selection.account, account);
    EXPECT_EQ(selection.path, "我的文档\\自定义");
    EXPECT_FALSE(selection.recycle);
}

TEST(TreeSelection, RecycleFlagFollowsTheTopmostLevelOnly) {
    const std::string account = "a";
    EXPECT_TRUE(resolveTreeSelection({"回收站"}, &account).recycle);
    EXPECT_EQ(resolveTreeSelection({"回收站"}, &account).path, "回收站");
    // A folder named like the bin below a normal folder is a normal folder.
    EXPECT_FALSE(resolveTreeSelection({"回收站", "我的文档"}, &account).recycle);
    // Anything below the bin counts as inside it.
    EXPECT_TRUE(resolveTreeSelection({"x", "回收站"}, &account).recycle);
}

TEST(TreeSelection, AccountNodeAndRootSelections) {
    const std::string account = "a";
    const auto onAccount = resolveTreeSelection({}, &account);
    EXPECT_EQ(onAccount.path, "");
    EXPECT_EQ(onAccount.account, "a");
    const auto onRoot = resolveTreeSelection({"帐号"}, nullptr);
    EXPECT_FALSE(onRoot.accountReached);
    EXPECT_EQ(onRoot.path, "帐号");
    EXPECT_EQ(onRoot.account, "");
}

TEST(ViewRules, AccountLabelLosesConfigSuffix) {
    EXPECT_EQ(accountNameOfLabel("demo@parvola.test_config"), "demo@parvola.test");
    EXPECT_EQ(accountNameOfLabel("demo@parvola.test"), "demo@parvola.test");
}

TEST(ViewRules, TransferMenusNeedAnAccount) {
    EXPECT_FALSE(transferMenusEnabled("", ""));
    // The account node lists the files at the user level, which can be read.
    EXPECT_TRUE(transferMenusEnabled("a", ""));
    EXPECT_FALSE(transferMenusEnabled("", "我的文档"));
    EXPECT_TRUE(transferMenusEnabled("a", "我的文档"));
}

TEST(ViewRules, TreeMenusByNodeKind) {
    EXPECT_EQ(treeMenuFor(TreeNodeKind::Root), TreeMenu::None);
    EXPECT_EQ(treeMenuFor(TreeNodeKind::Recycle), TreeMenu::None);
    EXPECT_EQ(treeMenuFor(TreeNodeKind::Account), TreeMenu::Account);
    EXPECT_EQ(treeMenuFor(TreeNodeKind::Folder), TreeMenu::Folder);
}

TEST(ViewRules, FileListMenu) {
    EXPECT_EQ(fileListMenuFor(true, 0, "文件"), FileListMenu::None);
    EXPECT_EQ(fileListMenuFor(true, -1, ""), FileListMenu::None);
    EXPECT_EQ(fileListMenuFor(false, -1, ""), FileListMenu::AskForSelection);
    EXPECT_EQ(fileListMenuFor(false, 2, "文件夹"), FileListMenu::None);
    EXPECT_EQ(fileListMenuFor(false, 2, "文件"), FileListMenu::FileCommands);
}

TEST(CustomFolderName, CountsUpPastLiveNames) {
    std::set<std::string> live;
    auto exists = [&](const std::string& name) { return live.count(name) > 0; };
    for (const char* expected : {"自定义", "自定义1", "自定义2"}) {
        const std::string name = nextCustomFolderName(exists);
        EXPECT_EQ(name, expected);
        live.insert(name);
    }
    live.erase("自定义1");  // only a deleted folder holds it now
    EXPECT_EQ(nextCustomFolderName(exists), "自定义1");
}

TEST(RenameCheck, RefusesOnlyAWholeSiblingName) {
    const std::string siblings = siblingNamesText({"我的文档", "自定义", "照片", "x;y"});
    EXPECT_EQ(checkRenameInput(siblings, ""), RenameCheck::Empty);
    EXPECT_EQ(checkRenameInput(siblings, "自定义"), RenameCheck::Refused);
    EXPECT_EQ(checkRenameInput(siblings, "x;y"), RenameCheck::Refused);
    // Parts of names, and names that run across two, are names of their own.
    EXPECT_EQ(checkRenameInput(siblings, "定义"), RenameCheck::Accepted);
    EXPECT_EQ(checkRenameInput(siblings, "x"), RenameCheck::Accepted);
    EXPECT_EQ(checkRenameInput(siblings, "档;自"), RenameCheck::Accepted);
    EXPECT_EQ(checkRenameInput(siblings, "报告"), RenameCheck::Accepted);
    EXPECT_EQ(checkRenameInput(siblingNamesText({}), "a"), RenameCheck::Accepted);
}

TEST(SpaceLine, UsesWholeMebibytes) {
    EXPECT_EQ(spaceLineText(3, 5 * 1048576 + 1048575),
              "总空间500M  文件个数3  已用空间5M  可用空间495M");
    EXPECT_EQ(spaceLineText(0, 0), "总空间500M  文件个数0  已用空间0M  可用空间500M");
}

TEST(ClipLink, KeepsAtMost260BytesAndWholeCharacters) {
    EXPECT_EQ(clipLink(std::string(300, 'a')), std::string(260, 'a'));
    EXPECT_EQ(clipLink("http://x"), "http://x");
    const std::string chinese = std::string(259, 'a') + "共享";  // 3-byte characters
    const std::string clipped = clipLink(chinese);
    EXPECT_EQ(clipped, std::string(259, 'a'));
}

TEST(FileListSort, SizesAsNumbersTextsByteWiseAndEqualKeysKeepTheirOrder) {
    auto row = [](const char* name, long long size, const char* time) {
        CatalogRow r;
        r.type = "文件";
        r.name = name;
        r.size = size;
        r.time = time;
        return r;
    };
    std::vector<CatalogRow> rows = {row("b", 300, "26-01-02 10:00:00"),
                                    row("a", 9000, "25-12-31 23:59:59"),
                                    row("c", 20, "26-01-02 10:00:00")};
    auto names = [&] {
        std::string all;
        for (const auto& r : rows)
            all += r.name;
        return all;
    };
    sortCatalogRows(rows, FileListColumn::Size, true);
    EXPECT_EQ(names(), "cba");  // 20 < 300 < 9000, not "20" < "300" < "9000" as texts
    sortCatalogRows(rows, FileListColumn::Name, false);
    EXPECT_EQ(names(), "cba");
    sortCatalogRows(rows, FileListColumn::Time, true);
    EXPECT_EQ(names(), "acb");  // c before b: equal times keep the order they had
}

TEST(RowActivation, FoldersOpenOutsideTheRecycleBinFilesAreOpened) {
    EXPECT_EQ(rowActivationFor(false, "文件夹"), RowActivation::OpenFolder);
    EXPECT_EQ(rowActivationFor(true, "文件夹"), RowActivation::Nothing);
    EXPECT_EQ(rowActivationFor(false, "文件"), RowActivation::OpenFile);
    EXPECT_EQ(transferFinishedText("上传", "报告.pdf"), "上传完成: 报告.pdf");
}

}  // namespace
}  // namespace parvola
