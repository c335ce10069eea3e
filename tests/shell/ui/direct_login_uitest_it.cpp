// The desktop client with the user's own mailbox on the real mail server:
// "使用自己的邮箱" in the login dialog, POP3 and SMTP over TLS with the test
// CA, or IMAP alone; no web service anywhere; a store through the store dialog reaches the
// mailbox and the file list.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <cstdlib>

#include "platform/keyring.h"
#include "platform/worker_threads.h"
#include "presentation/view_texts.h"
#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "shell/toolbar.h"
#include "tests/shell/ui/ui_support.h"
#include "tests/support/autoconfig_server.h"
#include "tests/support/mail_stack.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/secret_search.h"

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

// Only the address and the password typed: the servers are found through the
// mail autoconfiguration served on loopback, shown with where they came
// from, and the login goes to the real server over TLS. No keyring answers,
// so the remembered password goes to config.ini, as the dialog said.
TEST_F(DirectServerUi, AnAddressAloneFindsTheServersThroughAutoconfigurationAndLogsIn) {
    test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/parvola-bus");
    AutoconfigServer server;
    ASSERT_NE(server.port(), 0);
    const std::string address = user_ + "@autoconf.test";
    server.put(
        "autoconfig.autoconf.test/mail/config-v1.1.xml",
        AutoconfigServer::document(AutoconfigServer::server("incomingServer", "imap", "127.0.0.1",
                                                            MailStack::imapsPort(), "SSL") +
                                   AutoconfigServer::server("outgoingServer", "smtp", "127.0.0.1",
                                                            MailStack::smtpsPort(), "SSL")));
    writeFile(home_.path() / "deploy.ini",
              "[site]\nbase=http://127.0.0.1:9\ngroup=http://127.0.0.1:9\n[tls]\nca_file=" +
                  MailStack::caFile() + "\n[setup]\nautoconfig_base=" + server.base() + "\n");
    frame().openLoginDialog(false);
    auto* dialog = ui::openDialog<ui::LoginDialog>();
    ASSERT_NE(dialog, nullptr);
    QTest::keyClicks(dialog->mailboxField()->lineEdit(), QString::fromStdString(address));
    QTest::keyClicks(dialog->passwordField(), "own-pw-1");
    dialog->ownMailboxBox()->setChecked(true);
    EXPECT_TRUE(dialog->readServerField()->text().isEmpty());
    EXPECT_EQ(dialog->passwordKeptLabel()->text(), QString::fromUtf8(ui::kPasswordToConfig));

    QTest::mouseClick(dialog->findServersButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return !dialog->searchRunning(); }, 30000));
    EXPECT_EQ(dialog->searchStatusLabel()->text().toStdString(),
              "Found from the mail autoconfiguration document (" + server.base() +
                  "/autoconfig.autoconf.test/mail/config-v1.1.xml).");
    const std::string imaps = "imaps://127.0.0.1:" + std::to_string(MailStack::imapsPort());
    EXPECT_EQ(dialog->readServerField()->text().toStdString(), imaps);
    EXPECT_EQ(dialog->sendServerField()->text().toStdString(),
              "smtps://127.0.0.1:" + std::to_string(MailStack::smtpsPort()));

    QTest::mouseClick(dialog->loginButton(), Qt::LeftButton);
    auto* tree = ui::panes().tree;
    ASSERT_TRUE(waitFor([&] { return tree->findNode(address, "") != nullptr; }));
    EXPECT_TRUE(messages().empty()) << messages().front();
    const IniSettings settings;
    const auto direct = rememberedDirectAccount(settings.path(), address);
    ASSERT_TRUE(direct.has_value());
    EXPECT_EQ(formatServerUrl(direct->readServer), imaps);
    ASSERT_EQ(settings.accounts().size(), 1u);
    EXPECT_EQ(settings.accounts()[0].password, "own-pw-1");
}

// A provider's refusal that asks for an app password, which the real test
// server cannot say: the dialog's message explains it and keeps its words.
TEST_F(DirectServerUi, AProvidersAppPasswordRefusalIsExplainedInTheMessage) {
    ScriptedPeer peer;
    peer.reply("+OK ready\r\n")
        .expectLine("CAPA\r\n")
        .reply("+OK\r\nUSER\r\nUIDL\r\n.\r\n")
        .expectLine("USER someone@gmail.com\r\n")
        .reply("+OK\r\n")
        .expectLine("PASS web-site-pw\r\n")
        .reply("-ERR [AUTH] Application-specific password required\r\n")
        .expectLine("QUIT\r\n")
        .reply("+OK bye\r\n");
    const int port = peer.start();
    frame();
    ui::LoginDialog dialog(false);
    dialog.mailboxField()->setEditText("someone@gmail.com");
    dialog.passwordField()->setText("web-site-pw");
    dialog.ownMailboxBox()->setChecked(true);
    dialog.allowPlaintextBox()->setChecked(true);
    dialog.readServerField()->setText(
        QString::fromStdString("pop3://127.0.0.1:" + std::to_string(port)));
    dialog.sendServerField()->setText(
        QString::fromStdString("smtps://127.0.0.1:" + std::to_string(MailStack::smtpsPort())));
    dialog.submit();
    ASSERT_EQ(messages().size(), 1u);
    const std::string shown = messages()[0];
    EXPECT_EQ(shown.rfind("someone@gmail.com的用户名或密码错误,请确认后再次登录。\nGmail does not "
                          "take the password of its web site from mail programs",
                          0),
              0u)
        << shown;
    EXPECT_NE(shown.find("The server said: \"-ERR [AUTH] Application-specific password required"),
              std::string::npos)
        << shown;
    EXPECT_EQ(peer.finish(), "");
}

// With a keyring in the session (run by the `shell_ui_keyring` test inside a
// private D-Bus session with gnome-keyring): the dialog says the password
// goes there, no file holds it, and choosing the account again reads it back.
TEST_F(DirectServerUi, TheOwnMailboxPasswordGoesToTheKeyringAndComesBackWhenChosen) {
    const char* keyringFiles = std::getenv("PARVOLA_KEYRING_FILES");
    if (keyringFiles == nullptr)
        GTEST_SKIP() << "needs the keyring session (ctest -R shell_ui_keyring)";
    const std::string imaps = "imaps://127.0.0.1:" + std::to_string(MailStack::imapsPort());
    {
        frame().openLoginDialog(false);
        auto* dialog = ui::openDialog<ui::LoginDialog>();
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->mailboxField()->lineEdit(), QString::fromStdString(address_));
        QTest::keyClicks(dialog->passwordField(), "own-pw-1");
        dialog->ownMailboxBox()->setChecked(true);
        EXPECT_EQ(dialog->passwordKeptLabel()->text(), QString::fromUtf8(ui::kPasswordToKeyring));
        dialog->readServerField()->setText(QString::fromStdString(imaps));
        dialog->sendServerField()->clear();
        QTest::mouseClick(dialog->loginButton(), Qt::LeftButton);
        ASSERT_TRUE(waitFor([&] { return ui::panes().tree->findNode(address_, "") != nullptr; }));
        EXPECT_TRUE(messages().empty()) << messages().front();
    }
    std::string kept;
    std::string failure;
    EXPECT_EQ(keyringLookup(address_, kept, failure), KeyringResult::Ok) << failure;
    EXPECT_EQ(kept, "own-pw-1");
    EXPECT_EQ(findSecrets({"own-pw-1"}, {home_.path(), keyringFiles}, {}),
              std::vector<std::string>{});

    ui::LoginDialog again(false);
    ASSERT_NE(again.mailboxField()->findText(QString::fromStdString(address_)), -1);
    again.mailboxField()->setEditText(QString::fromStdString(address_));
    emit again.mailboxField()->textActivated(QString::fromStdString(address_));
    EXPECT_TRUE(again.ownMailboxBox()->isChecked());
    EXPECT_EQ(again.readServerField()->text().toStdString(), imaps);
    EXPECT_EQ(again.passwordField()->text(), "own-pw-1");
}

}  // namespace
}  // namespace parvola::test
