// The settings, login and store dialogs without the servers.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "app/autostart.h"
#include "shell/dialogs.h"
#include "shell/toolbar.h"
#include "tests/shell/ui/ui_support.h"

namespace parvola::test {
namespace {

using DialogsUi = UiTest;

TEST_F(DialogsUi, SettingsLoadAndWriteTheirKeys) {
    TempDir config;
    ScopedEnv xdg("XDG_CONFIG_HOME", config.str());
    {
        IniSettings settings;
        settings.writeDefPath("/data/下载");
        settings.writeContinue(true);
    }
    ui::SettingsDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "系统设置");
    EXPECT_EQ(dialog.folderField()->text(), "/data/下载");
    EXPECT_TRUE(dialog.continueBox()->isChecked());
    EXPECT_FALSE(dialog.autoStartBox()->isChecked());
    EXPECT_FALSE(dialog.shutdownBox()->isChecked());
    dialog.autoStartBox()->setChecked(true);
    dialog.shutdownBox()->setChecked(true);
    dialog.continueBox()->setChecked(false);
    dialog.folderField()->clear();
    dialog.submit();
    const IniSettings after;
    EXPECT_TRUE(after.readAutoStart());
    EXPECT_FALSE(after.readContinue());
    EXPECT_FALSE(after.hasDefaultDownloadFolder());
    EXPECT_TRUE(shutdownWhenDone());
    EXPECT_TRUE(std::filesystem::exists(autoStartEntryPath()));
    setShutdownWhenDone(false);
}

TEST_F(DialogsUi, SettingsCancelChangesNothing) {
    IniSettings().writeDefPath("/keep");
    ui::SettingsDialog dialog;
    dialog.folderField()->setText("/other");
    dialog.reject();
    EXPECT_EQ(IniSettings().readDefPath(), "/keep");
}

TEST_F(DialogsUi, LoginListsRememberedAccountsSortedAndFillsTheirPasswords) {
    {
        IniSettings settings;
        settings.rememberAccount("zeta@parvola.test", "z-pw");
        settings.rememberAccount("alpha@parvola.test", "");
    }
    frame();
    ui::LoginDialog dialog(false);
    EXPECT_EQ(dialog.windowTitle(), "登录");
    auto* box = dialog.mailboxField();
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), "alpha@parvola.test");
    EXPECT_EQ(box->itemText(1), "zeta@parvola.test");
    EXPECT_TRUE(dialog.rememberBox()->isChecked());
    EXPECT_EQ(dialog.mailboxField()->lineEdit()->maxLength(), 100);
    EXPECT_NE(dialog.registerButton()->link().find("register.php"), std::string::npos);
    EXPECT_EQ(dialog.registerButton()->toolTip().toStdString(), dialog.registerButton()->link());
    emit box->textActivated("zeta@parvola.test");
    EXPECT_EQ(dialog.passwordField()->text(), "z-pw");
    emit box->textActivated("alpha@parvola.test");
    EXPECT_EQ(dialog.passwordField()->text(), "");
}

TEST_F(DialogsUi, LoginOfAnAddressAlreadyLoggedInIsRefusedAndStaysOpen) {
    const std::string account = addOfflineAccount();
    ui::LoginDialog dialog(false);
    dialog.showModal();
    dialog.mailboxField()->setEditText(QString::fromStdString(account));
    dialog.passwordField()->setText("pw");
    dialog.submit();
    EXPECT_EQ(messages(), std::vector<std::string>({"用户已登录"}));
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(DialogsUi, StoreDialogChecksThePathThenStartsTheUpload) {
    std::vector<std::string> uploads;
    shellEngine().checkStore = [](const std::string&, const std::string&, const std::string& path) {
        return path.find("dup") != std::string::npos ? std::string("文件夹中有同名文件,无法上传!")
                                                     : std::string();
    };
    shellEngine().startUpload = [&](const std::string& user, const std::string& path,
                                    const std::string& folder) {
        uploads.push_back(user + "|" + path + "|" + folder);
    };
    const std::string account = addOfflineAccount();
    select(account, "我的图片");
    ui::panes().toolbar->storeCommand();
    auto* dialog = ui::openDialog<ui::StoreDialog>();
    ASSERT_NE(dialog, nullptr);
    dialog->submit();
    dialog->pathField()->setText("/tmp/dup.jpg");
    dialog->submit();
    EXPECT_TRUE(dialog->isVisible());
    dialog->pathField()->setText("/tmp/照片.jpg");
    dialog->submit();
    EXPECT_EQ(messages(),
              std::vector<std::string>({"请输入文件路径", "文件夹中有同名文件,无法上传!"}));
    EXPECT_EQ(uploads, std::vector<std::string>({account + "|/tmp/照片.jpg|我的图片"}));
}

TEST_F(DialogsUi, StoreDoesNothingInTheRecycleBin) {
    const std::string account = addOfflineAccount();
    select(account, "回收站");
    ui::panes().toolbar->storeCommand();
    EXPECT_EQ(ui::openDialog<ui::StoreDialog>(), nullptr);
}

}  // namespace
}  // namespace parvola::test
