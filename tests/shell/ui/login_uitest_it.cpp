// The client's flows against the real web service and mail server: a login
// typed into the dialog, and a store through the store dialog.
#include <QComboBox>
#include <QLineEdit>
#include <QStatusBar>

#include "platform/worker_threads.h"
#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "shell/task_list_view.h"
#include "shell/toolbar.h"
#include "tests/shell/ui/ui_support.h"
#include "tests/support/mail_stack.h"
#include "tests/support/site_process.h"

namespace parvola::test {
namespace {

// Records every row the task list adds (the rows of a short upload may come
// and go between two looks at the view).
class AddedRows : public TaskListListener {
  public:
    AddedRows() { taskList().addListener(this); }
    ~AddedRows() override { taskList().removeListener(this); }
    std::vector<TaskRowTexts> rows() const {
        std::lock_guard lock(mutex_);
        return rows_;
    }
    void rowAdded(int, const TaskRowTexts& texts) override {
        std::lock_guard lock(mutex_);
        rows_.push_back(texts);
    }
    void rowRemoved(int) override {}
    void progressTextChanged(int, const std::string&) override {}
    void speedTextChanged(int, const std::string&) override {}
    void rowsRebuilt(const std::vector<TaskRowTexts>&) override {}

  private:
    mutable std::mutex mutex_;
    std::vector<TaskRowTexts> rows_;
};

class ServerUi : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        ASSERT_TRUE(site_.started());
        const std::string user = MailStack::uniqueUser("gui");
        ASSERT_TRUE(MailStack::addUser(user, "mailbox-pw"));
        address_ = user + "@parvola.test";
        ASSERT_TRUE(site_.addUser(address_, "typed-pw", user + "@sina.test", "mailbox-pw"));
        std::string deploy = site_.deployIniSection();
        deploy += "[ports]\nsmtp=" + std::to_string(MailStack::smtpPort()) +
                  "\npop3=" + std::to_string(MailStack::pop3Port()) + "\n";
        for (const char* row : {"sina", "sohu", "tom", "21cn", "sogou", "qq", "foxmail"})
            deploy += std::string("[") + row + "]\nsmtp=127.0.0.1\npop3=127.0.0.1\n";
        writeFile(home_.path() / "deploy.ini", deploy);
        installRealEngineHooks();
    }
    void TearDown() override {
        waitForWorkers(std::chrono::seconds(60));
        UiTest::TearDown();
    }

    // Types the address and password into the login dialog and clicks "登录".
    void logInThroughTheDialog() {
        frame().openLoginDialog(false);
        auto* dialog = ui::openDialog<ui::LoginDialog>();
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->mailboxField()->lineEdit(), QString::fromStdString(address_));
        QTest::keyClicks(dialog->passwordField(), "typed-pw");
        QTest::mouseClick(dialog->loginButton(), Qt::LeftButton);
    }

    SiteProcess site_;
    std::string address_;
};

TEST_F(ServerUi, TypedLoginShowsTheAccountWithItsFoldersAndRemembersIt) {
    logInThroughTheDialog();
    auto* tree = ui::panes().tree;
    QTreeWidgetItem* node = nullptr;
    ASSERT_TRUE(waitFor([&] { return (node = tree->findNode(address_, "")) != nullptr; }));
    EXPECT_EQ(tree->rootNode()->text(0), "帐号");
    QStringList labels;
    for (int i = 0; i < node->childCount(); ++i)
        labels << node->child(i)->text(0);
    EXPECT_EQ(labels, QStringList({"我的文档", "我的图片", "我的媒体", "回收站"}));
    EXPECT_EQ(ui::openDialog<ui::LoginDialog>(), nullptr);  // closed after the login
    EXPECT_TRUE(messages().empty()) << messages().front();
    const IniSettings settings;
    ASSERT_EQ(settings.accounts().size(), 1u);
    EXPECT_EQ(settings.accounts()[0].account, address_);
    EXPECT_EQ(settings.accounts()[0].password, "typed-pw");
    EXPECT_FALSE(site_.log("login").empty());

    // The same address again in this run is refused, and the dialog stays.
    logInThroughTheDialog();
    EXPECT_EQ(messages(), std::vector<std::string>({"用户已登录"}));
    EXPECT_NE(ui::openDialog<ui::LoginDialog>(), nullptr);
}

TEST_F(ServerUi, StoreThroughTheDialogShowsItsTaskThenTheFile) {
    if (!shellEngine().startUpload)
        GTEST_SKIP() << "the transfer workers are not wired into this build";
    logInThroughTheDialog();
    ASSERT_TRUE(waitFor([&] { return ui::panes().tree->findNode(address_, "") != nullptr; }));
    select(address_, "我的文档");
    const auto source = home_.path() / "季度报告.doc";
    writeFile(source, randomBytes(200 * 1024 + 7, 3));
    AddedRows added;
    int linesShown = 0;
    QObject::connect(ui::panes().taskList->model(), &QAbstractItemModel::rowsInserted,
                     [&] { ++linesShown; });
    ui::panes().toolbar->storeCommand();
    auto* dialog = ui::openDialog<ui::StoreDialog>();
    ASSERT_NE(dialog, nullptr);
    dialog->pathField()->setText(QString::fromStdString(source.string()));
    dialog->submit();
    ASSERT_TRUE(waitFor([&] { return !added.rows().empty(); }, 30000));
    EXPECT_EQ(added.rows()[0].fileName, "季度报告.doc");
    EXPECT_EQ(added.rows()[0].direction, "上传");
    EXPECT_EQ(added.rows()[0].catalogFolder, "我的文档");
    ASSERT_TRUE(waitFor([&] { return linesShown > 0; }));
    ASSERT_TRUE(waitFor([&] { return runningWorkers() == 0 && taskList().empty(); }, 60000));
    EXPECT_TRUE(messages().empty()) << messages().front();
    // The list shows the file without a click elsewhere and back, and the
    // status bar says the store finished.
    auto* list = ui::panes().fileList;
    ASSERT_TRUE(waitFor([&] {
        for (int row = 0; row < list->rowCount(); ++row)
            if (list->item(row, 0)->text() == "季度报告.doc")
                return true;
        return false;
    }));
    ASSERT_TRUE(waitFor([&] { return frame().finishedText() == "上传完成: 季度报告.doc"; }));
    ASSERT_TRUE(waitFor([&] { return ui::panes().taskList->rowCount() == 0; }));
}

}  // namespace
}  // namespace parvola::test
