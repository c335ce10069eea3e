// The folder tree and the file list over a real catalog: nodes, labels, the
// selection rule, folder commands, rename refusal, delete, recover and purge.
#include <QHeaderView>
#include <QLineEdit>

#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "tests/shell/ui/ui_support.h"

namespace parvola::test {
namespace {

using ViewsUi = UiTest;

QStringList childLabels(QTreeWidgetItem* node) {
    QStringList labels;
    for (int i = 0; i < node->childCount(); ++i)
        labels << node->child(i)->text(0);
    return labels;
}

QStringList column(ui::CFileList* list, int col) {
    QStringList texts;
    for (int row = 0; row < list->rowCount(); ++row)
        texts << list->item(row, col)->text();
    return texts;
}

TEST_F(ViewsUi, RootLabelThenAccountWithFoldersAndRecycleBinLast) {
    frame();
    auto* tree = ui::panes().tree;
    EXPECT_EQ(tree->rootNode()->text(0), "您还没有登录,请登录!");
    const std::string account = addOfflineAccount();
    EXPECT_EQ(tree->rootNode()->text(0), "帐号");
    auto* node = tree->findNode(account, "");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(childLabels(node), QStringList({"我的文档", "我的图片", "我的媒体", "回收站"}));
    // Each kind has its own icon; plain folders share one.
    EXPECT_NE(node->child(0)->icon(0).cacheKey(), node->child(1)->icon(0).cacheKey());
}

TEST_F(ViewsUi, FileListHasItsFiveColumns) {
    frame();
    auto* list = ui::panes().fileList;
    const QStringList headers = {"      文件名", "   大小", "   类型", "  上传时间/删除时间",
                                 "   路径"};
    const int widths[5] = {170, 100, 100, 150, 150};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(list->horizontalHeaderItem(i)->text(), headers[i]);
        // The last column fills the rest of the width.
        if (i < 4)
            EXPECT_EQ(list->columnWidth(i), widths[i]);
        else
            EXPECT_GE(list->columnWidth(i), widths[i]);
    }
}

TEST_F(ViewsUi, SelectionListsTheFolderAndRootKeepsTheAccount) {
    const std::string account = addOfflineAccount();
    {
        Catalog catalog(account);
        ASSERT_EQ(catalog.addFileRecord("我的图片", "报告.doc",
                                        "PARVOL:;报告.doc;1;1;1048577;0000000000;1;1", 1048577),
                  0);
        ASSERT_EQ(catalog.addFileRecord("我的图片", "小.txt", "PARVOL:;小.txt;2;1;0;0000000000;1;1",
                                        1048576),
                  0);
    }
    select(account, "我的图片");
    auto* tree = ui::panes().tree;
    auto* list = ui::panes().fileList;
    EXPECT_EQ(tree->currentAccount(), account);
    EXPECT_EQ(tree->currentPath(), "我的图片");
    EXPECT_EQ(column(list, 0), QStringList({"报告.doc", "小.txt"}));
    EXPECT_EQ(column(list, 1), QStringList({"1.0000MB", "1024.0000KB"}));
    EXPECT_EQ(column(list, 2), QStringList({"文件", "文件"}));
    tree->setCurrentItem(tree->rootNode());
    EXPECT_EQ(tree->currentAccount(), account);
    EXPECT_EQ(list->rowCount(), 0);
}

TEST_F(ViewsUi, CreateFolderCountsUpAndReusesADeletedName) {
    const std::string account = addOfflineAccount();
    auto* tree = ui::panes().tree;
    select(account, "我的图片");
    tree->createFolder();
    tree->createFolder();
    tree->createFolder();
    auto* documents = tree->findNode(account, "我的图片");
    EXPECT_EQ(childLabels(documents), QStringList({"自定义", "自定义1", "自定义2"}));
    Catalog catalog(account);
    EXPECT_EQ(catalog.exists("我的图片", "自定义2", "Folder"), CatalogPresence::Live);

    select(account, "我的图片\\自定义1");
    tree->deleteFolder();
    EXPECT_EQ(childLabels(documents), QStringList({"自定义", "自定义2"}));
    select(account, "我的图片");
    tree->createFolder();
    EXPECT_EQ(childLabels(documents), QStringList({"自定义", "自定义2", "自定义1"}));
    EXPECT_TRUE(messages().empty());
}

TEST_F(ViewsUi, RenameRefusesAWholeSiblingName) {
    const std::string account = addOfflineAccount();
    auto* tree = ui::panes().tree;
    select(account, "我的文档");
    tree->createFolder();
    select(account, "我的文档\\自定义");
    tree->renameFolder();
    ui::RenameDialog* dialog = nullptr;
    ASSERT_TRUE(waitFor([&] { return (dialog = ui::openDialog<ui::RenameDialog>()) != nullptr; }));
    dialog->nameField()->setText("自定义1");
    dialog->submit();
    dialog->nameField()->setText("报/告");
    dialog->submit();
    EXPECT_EQ(messages(),
              std::vector<std::string>({"文件夹已存在", "名称中不能含有\"\\\"或\"/\"!"}));
    EXPECT_TRUE(dialog->isVisible());
    // A part of a sibling's name is a name of its own.
    dialog->nameField()->setText("定义");
    dialog->submit();
    auto* node = tree->findNode(account, "我的文档");
    ASSERT_TRUE(waitFor([&] { return node->child(0)->text(0) == "定义"; }));
    Catalog catalog(account);
    EXPECT_EQ(catalog.exists("我的文档", "定义", "Folder"), CatalogPresence::Live);
    EXPECT_EQ(catalog.exists("我的文档", "自定义", "Folder"), CatalogPresence::Absent);
}

TEST_F(ViewsUi, CancelledRenameChangesNothing) {
    const std::string account = addOfflineAccount();
    auto* tree = ui::panes().tree;
    select(account, "我的图片");
    tree->renameFolder();
    ui::RenameDialog* dialog = nullptr;
    ASSERT_TRUE(waitFor([&] { return (dialog = ui::openDialog<ui::RenameDialog>()) != nullptr; }));
    dialog->nameField()->setText("相册");
    dialog->reject();
    QApplication::processEvents();
    EXPECT_EQ(tree->findNode(account, "我的图片")->text(0), "我的图片");
}

TEST_F(ViewsUi, DeleteAsksNothingRecoverBringsBackPurgeAsksOnce) {
    const std::string account = addOfflineAccount();
    {
        Catalog catalog(account);
        ASSERT_EQ(
            catalog.addFileRecord("我的媒体", "a.txt", "PARVOL:;a.txt;3;1;5;0000000000;1;1", 5), 0);
        ASSERT_EQ(
            catalog.addFileRecord("我的媒体", "b.txt", "PARVOL:;b.txt;4;1;5;0000000000;1;1", 5), 0);
    }
    auto* list = ui::panes().fileList;
    select(account, "我的媒体");
    list->selectRow(0);
    list->deleteCommand();
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(column(list, 0), QStringList({"b.txt"}));
    list->selectRow(0);
    list->deleteCommand();

    select(account, "回收站");
    EXPECT_TRUE(ui::panes().tree->isRecycleSelected());
    EXPECT_EQ(column(list, 0), QStringList({"a.txt", "b.txt"}));
    EXPECT_EQ(column(list, 4), QStringList({"我的媒体", "我的媒体"}));
    list->selectRow(0);
    list->recoverCommand();
    EXPECT_EQ(column(list, 0), QStringList({"b.txt"}));

    notices_.box().setAnswer(NoticeAnswer::Cancel);
    list->selectRow(0);
    list->deleteCommand();
    EXPECT_EQ(column(list, 0), QStringList({"b.txt"}));  // closing the box purges nothing
    notices_.box().setAnswer(NoticeAnswer::Ok);
    list->selectRow(0);
    list->deleteCommand();
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_EQ(messages(), std::vector<std::string>(
                              {"您确认删除,删除后无法恢复!", "您确认删除,删除后无法恢复!"}));
    select(account, "我的媒体");
    EXPECT_EQ(column(list, 0), QStringList({"a.txt"}));
    Catalog catalog(account);
    EXPECT_EQ(catalog.exists("我的媒体", "b.txt", "File"), CatalogPresence::Absent);
}

TEST_F(ViewsUi, DeletingAFolderRowRemovesItsNode) {
    const std::string account = addOfflineAccount();
    auto* tree = ui::panes().tree;
    select(account, "我的图片");
    tree->createFolder();
    select(account, "我的图片");
    auto* list = ui::panes().fileList;
    ASSERT_EQ(column(list, 0), QStringList({"自定义"}));
    list->selectRow(0);
    list->deleteCommand();
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_EQ(tree->findNode(account, "我的图片")->childCount(), 0);

    // Recovered from the recycle bin, the folder and its node come back.
    select(account, "回收站");
    ASSERT_EQ(column(list, 0), QStringList({"自定义"}));
    list->selectRow(0);
    list->recoverCommand();
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_NE(tree->findNode(account, "我的图片\\自定义"), nullptr);
    EXPECT_EQ(tree->currentPath(), "回收站");
}

TEST_F(ViewsUi, CommandsWithoutASuitableRowAsk) {
    const std::string account = addOfflineAccount();
    auto* list = ui::panes().fileList;
    select(account, "我的图片");
    ui::panes().tree->createFolder();
    select(account, "我的图片");
    list->deleteCommand();  // nothing selected
    list->selectRow(0);     // a folder row
    list->openCommand();
    list->downloadCommand();
    EXPECT_EQ(messages(), std::vector<std::string>(
                              {"请选择一个文件或文件夹", "请选择一个文件", "请选择一个文件"}));
}

TEST_F(ViewsUi, OpenAndDownloadHandTheFileToTheDownloadWorker) {
    std::vector<DownloadInputs> started;
    shellEngine().startDownload = [&](const std::string&, const DownloadInputs& inputs) {
        started.push_back(inputs);
    };
    const std::string account = addOfflineAccount();
    {
        Catalog catalog(account);
        ASSERT_EQ(
            catalog.addFileRecord("我的媒体", "a.txt", "PARVOL:;a.txt;3;1;5;0000000000;1;1", 5), 0);
    }
    auto* list = ui::panes().fileList;
    select(account, "我的媒体");
    list->selectRow(0);
    list->openCommand();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(started[0].openWhenDone);
    EXPECT_EQ(started[0].saveFolder, ui::temporaryOpenFolder());
    EXPECT_EQ(started[0].storedSubject, "PARVOL:;a.txt;3;1;5;0000000000;1;1");
    EXPECT_EQ(started[0].catalogFolder, "我的媒体");

    // Without a default folder the download dialog asks for one.
    list->downloadCommand();
    ui::DownloadDialog* dialog = ui::openDialog<ui::DownloadDialog>();
    ASSERT_NE(dialog, nullptr);
    const std::string target = (home_.path() / "saved").string();
    dialog->savePathField()->setText(QString::fromStdString(target));
    dialog->submit();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_FALSE(started[1].openWhenDone);
    EXPECT_EQ(started[1].saveFolder, target);
    EXPECT_TRUE(std::filesystem::is_directory(target));
}

}  // namespace
}  // namespace parvola::test
