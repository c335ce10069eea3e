// The window as a Linux desktop user expects it: smaller than it opens, the
// last column filling the width, column widths kept, Delete, Enter and a
// double click on the file list, sorting by a header, Tab reaching the list,
// visible focus on the drawn buttons, and Qt's own texts in Chinese.
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>

#include "shell/file_list.h"
#include "shell/stock_texts.h"
#include "shell/task_list_view.h"
#include "shell/toolbar.h"
#include "tests/shell/ui/ui_support.h"

namespace parvola::test {
namespace {

using KeyboardUi = UiTest;

QStringList names(ui::CFileList* list) {
    QStringList texts;
    for (int row = 0; row < list->rowCount(); ++row)
        texts << list->item(row, 0)->text();
    return texts;
}

void addFile(const std::string& account, const char* folder, const std::string& name,
             long long size) {
    Catalog catalog(account);
    ASSERT_EQ(catalog.addFileRecord(
                  folder, name,
                  "PARVOL:;" + name + ";1;1;" + std::to_string(size) + ";0000000000;1;1", size),
              0);
}

TEST_F(KeyboardUi, TheWindowGoesSmallerThanItOpensAndTheLastColumnFillsTheWidth) {
    auto& f = frame();
    EXPECT_EQ(f.size(), QSize(1034, 592));
    f.resize(800, 480);
    EXPECT_EQ(f.size(), QSize(800, 480));
    auto* list = ui::panes().fileList;
    ASSERT_TRUE(waitFor([&] { return list->viewport()->width() > 0; }));
    f.resize(1400, 800);
    ASSERT_TRUE(waitFor([&] { return f.width() == 1400; }));
    QApplication::processEvents();
    int used = 0;
    for (int column = 0; column < list->columnCount(); ++column)
        used += list->columnWidth(column);
    EXPECT_GE(used, list->viewport()->width() - 1);
    EXPECT_GT(list->columnWidth(4), 150);
}

TEST_F(KeyboardUi, ColumnWidthsComeBackAtTheNextStart) {
    frame();
    ui::panes().fileList->setColumnWidth(0, 260);
    ui::panes().taskList->setColumnWidth(2, 180);
    ASSERT_TRUE(waitFor([] {
        return IniSettings().readColumnWidths(kFileListColumnsKey).size() == 4 &&
               IniSettings().readColumnWidths(kTaskListColumnsKey).size() == 7;
    }));
    delete frame_.data();
    QApplication::processEvents();
    frame();
    EXPECT_EQ(ui::panes().fileList->columnWidth(0), 260);
    EXPECT_EQ(ui::panes().fileList->columnWidth(1), 100);
    EXPECT_EQ(ui::panes().taskList->columnWidth(2), 180);
}

TEST_F(KeyboardUi, DeleteKeyDeletesAndInTheRecycleBinAsksFirst) {
    const std::string account = addOfflineAccount();
    addFile(account, "我的图片", "a.jpg", 5);
    select(account, "我的图片");
    auto* list = ui::panes().fileList;
    list->setFocus();
    list->selectRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->rowCount(), 0);
    select(account, "回收站");
    ASSERT_EQ(names(list), QStringList({"a.jpg"}));
    list->selectRow(0);
    notices_.box().setAnswer(NoticeAnswer::Cancel);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(notices_.questions(), std::vector<std::string>({"您确认删除,删除后无法恢复!"}));
    EXPECT_EQ(list->rowCount(), 1);
}

TEST_F(KeyboardUi, EnterOrADoubleClickOnAFolderRowOpensTheFolder) {
    const std::string account = addOfflineAccount();
    auto* tree = ui::panes().tree;
    ASSERT_EQ(Catalog(account).addFolder("我的图片", "合同"), 0);
    ASSERT_EQ(Catalog(account).addFolder("我的图片\\合同", "二〇二五"), 0);
    addFile(account, "我的图片\\合同", "租约.pdf", 9);
    ASSERT_TRUE(waitFor([&] { return tree->findNode(account, "我的图片\\合同") != nullptr; }));
    select(account, "我的图片");
    auto* list = ui::panes().fileList;
    ASSERT_EQ(names(list), QStringList({"合同"}));
    list->selectRow(0);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(tree->currentPath(), "我的图片\\合同");
    EXPECT_EQ(names(list), QStringList({"二〇二五", "租约.pdf"}));
    // A double click on the folder row does the same.
    const QRect cell = list->visualRect(list->model()->index(0, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(tree->currentPath(), "我的图片\\合同\\二〇二五");
    EXPECT_TRUE(messages().empty());
}

TEST_F(KeyboardUi, AHeaderClickSortsAndASecondClickTurnsTheOrder) {
    const std::string account = addOfflineAccount();
    addFile(account, "我的媒体", "b.avi", 300);
    addFile(account, "我的媒体", "a.avi", 9000);
    addFile(account, "我的媒体", "c.avi", 20);
    select(account, "我的媒体");
    auto* list = ui::panes().fileList;
    EXPECT_EQ(names(list), QStringList({"b.avi", "a.avi", "c.avi"}));  // catalog order
    auto* header = list->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    EXPECT_EQ(names(list), QStringList({"c.avi", "b.avi", "a.avi"}));
    list->selectRow(0);  // c.avi stays selected whatever the order
    list->sortBy(1);
    EXPECT_EQ(names(list), QStringList({"a.avi", "b.avi", "c.avi"}));
    EXPECT_EQ(list->item(list->selectedRow(), 0)->text(), "c.avi");
    list->sortBy(0);
    EXPECT_EQ(names(list), QStringList({"a.avi", "b.avi", "c.avi"}));
    // The order stays when the folder is listed again.
    list->selectRow(2);
    addFile(account, "我的媒体", "0.avi", 1);
    ASSERT_TRUE(waitFor([&] { return list->rowCount() == 4; }));
    EXPECT_EQ(names(list), QStringList({"0.avi", "a.avi", "b.avi", "c.avi"}));
    EXPECT_EQ(list->item(list->selectedRow(), 0)->text(), "c.avi");
}

TEST_F(KeyboardUi, TabGoesFromTheTreeToTheFileListAndFocusShowsOnButtons) {
    auto& f = frame();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    ui::panes().tree->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(ui::panes().fileList));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(ui::panes().taskList));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    auto* store = ui::panes().toolbar->button(0);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(store));
    const QImage focused = store->grab().toImage();
    ui::panes().tree->setFocus();
    const QImage unfocused = store->grab().toImage();
    EXPECT_NE(focused, unfocused);
}

TEST_F(KeyboardUi, QtsOwnTextsAreChinese) {
    ASSERT_TRUE(ui::installStockTexts(*QApplication::instance()))
        << "Qt's translations are not installed (scripts/setup.sh installs them)";
    QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "取消");
    EXPECT_EQ(buttons.button(QDialogButtonBox::Open)->text(), "打开");
}

}  // namespace
}  // namespace parvola::test
