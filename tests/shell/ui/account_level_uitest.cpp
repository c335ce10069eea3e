// The account node over a catalog that keeps a file directly under the user
// level (as catalogs of other clients do): the list shows it after the
// folders, the read commands reach it, and a store there is refused with
// its reason.
#include <QLineEdit>

#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "shell/toolbar.h"
#include "tests/shell/ui/ui_support.h"
#include "transfer/upload_pipeline.h"

namespace parvola::test {
namespace {

using AccountLevelUi = UiTest;

TEST_F(AccountLevelUi, AUserLevelFileIsListedAndRead) {
    std::vector<DownloadInputs> started;
    shellEngine().startDownload = [&](const std::string&, const DownloadInputs& inputs) {
        started.push_back(inputs);
    };
    const std::string account = addOfflineAccount();
    const std::string subject = "PARVOL:;notes.txt;5;1;5;0000000000;1;1";
    ASSERT_EQ(Catalog(account).addFileRecord("", "notes.txt", subject, 5), 0);

    select(account, "");
    auto* list = ui::panes().fileList;
    ASSERT_EQ(list->rowCount(), 4);
    EXPECT_EQ(list->item(0, 0)->text(), "我的文档");
    EXPECT_EQ(list->item(3, 0)->text(), "notes.txt");
    EXPECT_EQ(list->item(3, 2)->text(), "文件");
    list->selectRow(3);
    list->openCommand();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].storedSubject, subject);
    EXPECT_EQ(started[0].catalogFolder, "");
    EXPECT_TRUE(messages().empty());
}

TEST_F(AccountLevelUi, AStoreAtTheAccountNodeIsRefusedWithItsReason) {
    std::vector<std::string> uploads;
    shellEngine().startUpload = [&](const std::string&, const std::string& path,
                                    const std::string&) { uploads.push_back(path); };
    const std::string account = addOfflineAccount();
    select(account, "");
    ui::panes().toolbar->storeCommand();
    auto* dialog = ui::openDialog<ui::StoreDialog>();
    ASSERT_NE(dialog, nullptr);
    dialog->pathField()->setText("/tmp/top.txt");
    dialog->submit();
    EXPECT_EQ(messages(), std::vector<std::string>{kUserLevelStoreText});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(uploads.empty());
}

}  // namespace
}  // namespace parvola::test
