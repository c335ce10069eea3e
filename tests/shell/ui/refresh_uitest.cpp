// The views stay true to the catalog: a change made on a worker (a store
// that finished) or by this window shows at once in the list, the tree and
// the space line; a rename moves the current path with it, so the commands
// after it work on the new name; a store into a folder that is gone says so.
#include <QLineEdit>
#include <thread>

#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "tests/shell/ui/ui_support.h"
#include "transfer/transfer_workers.h"
#include "transfer/upload_pipeline.h"

namespace parvola::test {
namespace {

using RefreshUi = UiTest;

QStringList names(ui::CFileList* list) {
    QStringList texts;
    for (int row = 0; row < list->rowCount(); ++row)
        texts << list->item(row, 0)->text();
    return texts;
}

QStringList childLabels(QTreeWidgetItem* node) {
    QStringList labels;
    for (int i = 0; node && i < node->childCount(); ++i)
        labels << node->child(i)->text(0);
    return labels;
}

TEST_F(RefreshUi, AFileEnteredOnAWorkerShowsInTheListAndTheSpaceLineAtOnce) {
    const std::string account = addOfflineAccount();
    select(account, "我的图片");
    auto* list = ui::panes().fileList;
    ASSERT_EQ(list->rowCount(), 0);
    EXPECT_EQ(frame().spaceText(), "总空间500M  文件个数0  已用空间0M  可用空间500M");
    // What an upload worker does when its last piece went out.
    std::thread worker([account] {
        Catalog(account).addFileRecord("我的图片", "季度报告.doc",
                                       "PARVOL:;季度报告.doc;9;1;3145728;0000000000;1;1", 3145728);
    });
    worker.join();
    ASSERT_TRUE(waitFor([&] { return names(list) == QStringList({"季度报告.doc"}); }));
    // 3 MiB weighted by 1.2: 3.6 MiB counted as 3.
    ASSERT_TRUE(waitFor(
        [&] { return frame().spaceText() == "总空间500M  文件个数1  已用空间3M  可用空间497M"; }));
    EXPECT_EQ(ui::panes().tree->currentPath(), "我的图片");
}

TEST_F(RefreshUi, AFolderMadeElsewhereAppearsInTheTreeAndTheListKeepingTheSelection) {
    const std::string account = addOfflineAccount();
    {
        Catalog catalog(account);
        ASSERT_EQ(
            catalog.addFileRecord("我的图片", "a.jpg", "PARVOL:;a.jpg;3;1;5;0000000000;1;1", 5), 0);
    }
    select(account, "我的图片");
    auto* list = ui::panes().fileList;
    list->selectRow(0);
    // Another process (the command line) adds a folder here.
    ASSERT_EQ(Catalog(account).addFolder("我的图片", "旅行"), 0);
    auto* tree = ui::panes().tree;
    ASSERT_TRUE(waitFor([&] { return tree->findNode(account, "我的图片\\旅行") != nullptr; }));
    ASSERT_TRUE(waitFor([&] { return list->rowCount() == 2; }));
    EXPECT_EQ(names(list), QStringList({"旅行", "a.jpg"}));
    ASSERT_GE(list->selectedRow(), 0);
    EXPECT_EQ(list->item(list->selectedRow(), 0)->text(), "a.jpg");
    EXPECT_EQ(tree->currentPath(), "我的图片");
    EXPECT_EQ(tree->currentItem(), tree->findNode(account, "我的图片"));
}

TEST_F(RefreshUi, CreatingAFolderListsItInTheFolderShownAtOnce) {
    const std::string account = addOfflineAccount();
    select(account, "我的媒体");
    ui::panes().tree->createFolder();
    // No click elsewhere and back: the list shows it as soon as it exists.
    EXPECT_EQ(names(ui::panes().fileList), QStringList({"自定义"}));
}

TEST_F(RefreshUi, ARenameMovesTheCurrentPathSoTheNextCommandsWorkOnTheNewName) {
    const std::string account = addOfflineAccount();
    auto* tree = ui::panes().tree;
    select(account, "我的媒体");
    tree->createFolder();
    select(account, "我的媒体\\自定义");
    tree->renameFolder();
    auto* dialog = ui::openDialog<ui::RenameDialog>();
    ASSERT_NE(dialog, nullptr);
    dialog->nameField()->setText("合同");
    dialog->submit();
    EXPECT_EQ(tree->currentPath(), "我的媒体\\合同");
    EXPECT_EQ(tree->currentItem(), tree->findNode(account, "我的媒体\\合同"));
    EXPECT_EQ(tree->currentItem()->text(0), "合同");

    // A store into it is accepted (checked against the new name).
    const auto source = home_.path() / "a.txt";
    writeFile(source, "abc");
    EXPECT_EQ(checkStoreRequest(account, tree->currentPath(), source.string()), "");

    // Deleting it right after the rename deletes it.
    tree->deleteFolder();
    Catalog catalog(account);
    EXPECT_EQ(catalog.exists("我的媒体", "合同", "Folder"), CatalogPresence::OnlyDeleted);
    EXPECT_TRUE(childLabels(tree->findNode(account, "我的媒体")).isEmpty());
    EXPECT_TRUE(messages().empty());
}

TEST_F(RefreshUi, ARenameBelowTheSelectionKeepsItAndAStoreIntoAGoneFolderSaysSo) {
    const std::string account = addOfflineAccount();
    auto* tree = ui::panes().tree;
    ASSERT_EQ(Catalog(account).addFolder("我的媒体", "甲"), 0);
    ASSERT_EQ(Catalog(account).addFolder("我的媒体\\甲", "乙"), 0);
    ASSERT_TRUE(waitFor([&] { return tree->findNode(account, "我的媒体\\甲\\乙") != nullptr; }));
    select(account, "我的媒体\\甲\\乙");
    const auto source = home_.path() / "b.txt";
    writeFile(source, "abc");
    // Renamed by the command line while this window shows the folder below it.
    ASSERT_TRUE(Catalog(account).renameFolder("我的媒体\\甲", "甲", "丙"));
    EXPECT_EQ(checkStoreRequest(account, "我的媒体\\甲\\乙", source.string()),
              folderGoneText("我的媒体\\甲\\乙"));
    // The window moves to the nearest folder that is left and lists it.
    ASSERT_TRUE(waitFor([&] { return tree->currentPath() == "我的媒体"; }));
    EXPECT_NE(tree->findNode(account, "我的媒体\\丙\\乙"), nullptr);
    EXPECT_EQ(names(ui::panes().fileList), QStringList({"丙"}));
}

}  // namespace
}  // namespace parvola::test
