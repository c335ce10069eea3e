// The desktop client with the user's own mailbox on the real mail server:
// "使用自己的邮箱" in the login dialog, POP3 and SMTP over TLS with the test
// CA, or IMAP alone; no web service anywhere; a store through the store dialog reaches the
// mailbox and the file list.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "platform/worker_threads.h"
#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "shell/toolbar.h"
#include "tests/shell/ui/ui_support.h"
#include "tests/support/mail_stack.h"

namespace parvola::test {
namespace {

class DirectServerUi : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        user_ = MailStack::uniqueUser("guidirect");
        ASSERT_TRUE(MailStack::addUser(user_, "own-pw-1"));
        address_ = user_ + "@sina.test";
        // The web service's addresses lead nowhere (UiTest's deploy.ini): a
        // direct login never asks it.
        writeFile(home_.path() / "deploy.ini",
                  "[site]\nbase=http://127.0.0.1:9\ngroup=http://127.0.0.1:9\n[tls]\nca_file=" +
                      MailStack::caFile() + "\n");
        installRealEngineHooks();
    }
    void TearDown() override {
        waitForWorkers(std::chrono::seconds(60));
        UiTest::TearDown();
    }
    std::string user_;
    std::string address_;
};

class DirectServerUiWays : public DirectServerUi, public ::testing::WithParamInterface<bool> {};

// POP3 with SMTP, or IMAP alone (pieces appended to the inbox).
TEST_P(DirectServerUiWays, OwnMailboxLogsInOverTlsAndStoresAFile) {
    const bool imap = GetParam();
    frame().openLoginDialog(false);
    auto* dialog = ui::openDialog<ui::LoginDialog>();
    ASSERT_NE(dialog, nullptr);
    QTest::keyClicks(dialog->mailboxField()->lineEdit(), QString::fromStdString(address_));
    QTest::keyClicks(dialog->passwordField(), "own-pw-1");
    dialog->ownMailboxBox()->setChecked(true);
    dialog->readServerField()->setText(QString::fromStdString(
        imap ? "imaps://127.0.0.1:" + std::to_string(MailStack::imapsPort())
             : "pop3s://127.0.0.1:" + std::to_string(MailStack::pop3sPort())));
    dialog->sendServerField()->setText(
        imap ? QString()
             : QString::fromStdString("smtps://127.0.0.1:" +
                                      std::to_string(MailStack::smtpsPort())));
    QTest::mouseClick(dialog->loginButton(), Qt::LeftButton);

    auto* tree = ui::panes().tree;
    ASSERT_TRUE(waitFor([&] { return tree->findNode(address_, "") != nullptr; }));
    EXPECT_TRUE(messages().empty()) << messages().front();
    const IniSettings settings;
    ASSERT_EQ(settings.accounts().size(), 1u);
    EXPECT_EQ(settings.accounts()[0].account, address_);
    const auto direct = rememberedDirectAccount(settings.path(), address_);
    ASSERT_TRUE(direct.has_value());
    EXPECT_EQ(direct->reader, imap ? MailboxReader::Imap : MailboxReader::Pop3);
    EXPECT_EQ(direct->storeRoute, imap ? StoreRoute::ImapAppend : StoreRoute::Smtp);
    EXPECT_FALSE(direct->plaintextAllowed);

    if (!shellEngine().startUpload)
        GTEST_SKIP() << "the transfer workers are not wired into this build";
    select(address_, "我的文档");
    const auto source = home_.path() / "own.bin";
    writeFile(source, randomBytes(150 * 1024 + 1, 8));
    ui::panes().toolbar->storeCommand();
    auto* store = ui::openDialog<ui::StoreDialog>();
    ASSERT_NE(store, nullptr);
    store->pathField()->setText(QString::fromStdString(source.string()));
    store->submit();
    auto* list = ui::panes().fileList;
    ASSERT_TRUE(waitFor(
        [&] {
            for (int row = 0; row < list->rowCount(); ++row)
                if (list->item(row, 0)->text() == "own.bin")
                    return true;
            return false;
        },
        60000));
    ASSERT_TRUE(waitFor([&] { return runningWorkers() == 0 && taskList().empty(); }, 60000));
    EXPECT_TRUE(messages().empty()) << messages().front();
}

INSTANTIATE_TEST_SUITE_P(Readers, DirectServerUiWays, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Imap" : "Pop3"; });

}  // namespace
}  // namespace parvola::test
