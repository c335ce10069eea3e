// The login dialog's "使用自己的邮箱": the fields it shows, the servers it
// suggests and remembers, the plain-text guard off by default, and the
// settings it hands to the engine, checked by the same rules as the command
// line's login --direct.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "presentation/view_texts.h"
#include "shell/dialogs.h"
#include "tests/shell/ui/ui_support.h"
#include "tests/support/autoconfig_server.h"

namespace parvola::test {
namespace {

DirectAccountRequest requestFor(const std::string& address, const std::string& imap,
                                const std::string& pop3, const std::string& smtp) {
    DirectAccountRequest request;
    request.address = address;
    request.imapUrl = imap;
    request.pop3Url = pop3;
    request.smtpUrl = smtp;
    return request;
}

class DirectLoginUi : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        shellEngine().loginDirect = [this](const DirectAccountSettings& direct,
                                           const std::string& password, bool remember, bool,
                                           IniSettings&) {
            logins_.push_back(direct);
            passwords_.push_back(password);
            remembered_.push_back(remember);
            return ShellLoginResult{ShellLoginOutcome::AlreadyLoggedIn, {}};
        };
    }
    // The search asks `server` for autoconfiguration documents.
    void askAutoconfigurationOf(const AutoconfigServer& server) {
        writeFile(home_.path() / "deploy.ini",
                  "[site]\nbase=http://127.0.0.1:9\ngroup=http://127.0.0.1:9\n"
                  "[setup]\nautoconfig_base=" +
                      server.base() + "\n");
    }
    std::vector<DirectAccountSettings> logins_;
    std::vector<std::string> passwords_;
    std::vector<bool> remembered_;
};

TEST_F(DirectLoginUi, OwnMailboxShowsEditableServersWithThePlaintextGuardOff) {
    frame();
    ui::LoginDialog dialog(false);
    EXPECT_EQ(dialog.ownMailboxBox()->text(), "使用自己的邮箱");
    EXPECT_FALSE(dialog.ownMailboxBox()->isChecked());
    EXPECT_TRUE(dialog.ownMailboxFields()->isHidden());

    dialog.mailboxField()->setEditText("someone@sina.test");
    dialog.ownMailboxBox()->setChecked(true);
    EXPECT_FALSE(dialog.ownMailboxFields()->isHidden());
    EXPECT_FALSE(dialog.allowPlaintextBox()->isChecked());
    // The built-in provider row of the domain fills the servers, which stay editable.
    EXPECT_TRUE(dialog.readServerField()->text().startsWith("pop3"))
        << dialog.readServerField()->text().toStdString();
    EXPECT_TRUE(dialog.sendServerField()->text().startsWith("smtp"));
    EXPECT_FALSE(dialog.readServerField()->isReadOnly());

    dialog.readServerField()->setText("imaps://imap.example.org");
    dialog.sendServerField()->setText("smtps://smtp.example.org:2465");
    dialog.mailFolderField()->setText("Parvola");
    dialog.passwordField()->setText("app-pw");
    dialog.submit();
    ASSERT_EQ(logins_.size(), 1u);
    const DirectAccountSettings& direct = logins_[0];
    EXPECT_EQ(direct.address, "someone@sina.test");
    EXPECT_EQ(direct.reader, MailboxReader::Imap);
    EXPECT_EQ(direct.readServer.host, "imap.example.org");
    EXPECT_EQ(direct.readServer.port, 993);
    EXPECT_EQ(direct.smtpServer.port, 2465);
    EXPECT_EQ(direct.storeRoute, StoreRoute::ImapAppend);
    EXPECT_EQ(direct.mailFolder, "Parvola");
    EXPECT_FALSE(direct.plaintextAllowed);
    EXPECT_EQ(passwords_[0], "app-pw");
    EXPECT_TRUE(remembered_[0]);
}

TEST_F(DirectLoginUi, AServerAddressThatIsNotOneIsExplainedAndTheDialogStays) {
    frame();
    ui::LoginDialog dialog(false);
    dialog.showModal();
    dialog.mailboxField()->setEditText("me@example.org");
    dialog.ownMailboxBox()->setChecked(true);
    dialog.readServerField()->setText("pop3s://pop.example.org");
    dialog.sendServerField()->setText("smtps://smtp.example.org");
    dialog.storeWithField()->setCurrentIndex(dialog.storeWithField()->findData("append"));
    dialog.submit();
    dialog.readServerField()->setText("https://pop.example.org");
    dialog.storeWithField()->setCurrentIndex(0);
    dialog.submit();
    EXPECT_TRUE(logins_.empty());
    const auto shown = messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_NE(shown[0].find("only to an IMAP mailbox"), std::string::npos) << shown[0];
    EXPECT_NE(shown[1].find("unknown scheme \"https\""), std::string::npos) << shown[1];
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(DirectLoginUi, ARememberedOwnMailboxShowsItsServersWhenChosen) {
    DirectAccountRequest request =
        requestFor("me@example.org", "", "pop3://127.0.0.1:1110", "smtp://127.0.0.1:2525");
    request.allowPlaintext = true;
    DirectAccountSettings remembered;
    std::string error;
    ASSERT_TRUE(chooseDirectSettings(request, remembered, error)) << error;
    {
        IniSettings settings;
        ASSERT_TRUE(rememberDirectAccount(settings.path(), remembered));
        settings.rememberAccount("me@example.org", "pw");
        settings.rememberAccount("service@parvola.test", "pw2");
    }
    frame();
    ui::LoginDialog dialog(false);
    dialog.mailboxField()->setEditText("me@example.org");
    emit dialog.mailboxField()->textActivated("me@example.org");
    EXPECT_TRUE(dialog.ownMailboxBox()->isChecked());
    EXPECT_EQ(dialog.readServerField()->text(), "pop3://127.0.0.1:1110");
    EXPECT_EQ(dialog.sendServerField()->text(), "smtp://127.0.0.1:2525");
    EXPECT_TRUE(dialog.allowPlaintextBox()->isChecked());
    dialog.submit();
    ASSERT_EQ(logins_.size(), 1u);
    EXPECT_EQ(logins_[0], remembered);

    emit dialog.mailboxField()->textActivated("service@parvola.test");
    EXPECT_FALSE(dialog.ownMailboxBox()->isChecked());
}

TEST_F(DirectLoginUi, TheSearchStartsFromTheRememberedServersAndFillsTheFields) {
    DirectAccountRequest request =
        requestFor("me@example.org", "imaps://127.0.0.1:11993", "", "smtps://127.0.0.1:11465");
    DirectAccountSettings remembered;
    std::string error;
    ASSERT_TRUE(chooseDirectSettings(request, remembered, error)) << error;
    ASSERT_TRUE(rememberDirectAccount(IniSettings().path(), remembered));
    frame();
    ui::LoginDialog dialog(false);
    dialog.mailboxField()->setEditText("me@example.org");
    dialog.ownMailboxBox()->setChecked(true);
    ASSERT_TRUE(dialog.readServerField()->text().isEmpty());
    QTest::mouseClick(dialog.findServersButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return !dialog.searchRunning(); }));
    EXPECT_EQ(dialog.searchStatusLabel()->text().toStdString(),
              "Found from the settings remembered for the account.");
    EXPECT_EQ(dialog.readServerField()->text(), "imaps://127.0.0.1:11993");
    EXPECT_EQ(dialog.sendServerField()->text(), "smtps://127.0.0.1:11465");
    EXPECT_EQ(dialog.findServersButton()->text(), QString::fromUtf8(ui::kFindServers));
}

TEST_F(DirectLoginUi, ASearchThatWaitsOnAServerIsStoppedByTheSameButton) {
    AutoconfigServer server;
    ASSERT_NE(server.port(), 0);
    server.slow("autoconfig.slow.test/mail/config-v1.1.xml", 60);
    askAutoconfigurationOf(server);
    frame();
    ui::LoginDialog dialog(false);
    dialog.mailboxField()->setEditText("me@slow.test");
    dialog.ownMailboxBox()->setChecked(true);
    QTest::mouseClick(dialog.findServersButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.searchRunning());
    EXPECT_EQ(dialog.findServersButton()->text(), QString::fromUtf8(ui::kStopFinding));
    // The window is served while the worker waits on the silent server.
    ASSERT_TRUE(waitFor([&] {
        return dialog.searchStatusLabel()->text().startsWith("Asking " +
                                                             QString::fromStdString(server.base()));
    }));
    QTest::mouseClick(dialog.findServersButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.searchRunning());
    EXPECT_EQ(dialog.searchStatusLabel()->text(), "The search was cancelled.");
    EXPECT_EQ(dialog.findServersButton()->text(), QString::fromUtf8(ui::kFindServers));
    EXPECT_TRUE(dialog.readServerField()->text().isEmpty());
    // The cancelled worker ends well before the document's wait is over.
    EXPECT_TRUE(waitFor([] { return runningWorkers() == 0; }, 5000));
}

TEST_F(DirectLoginUi, ALoginWithoutServersLooksThemUpAndWaitsForTheUserToCheckThem) {
    AutoconfigServer server;
    ASSERT_NE(server.port(), 0);
    server.put(
        "autoconfig.auto.test/mail/config-v1.1.xml",
        AutoconfigServer::document(
            AutoconfigServer::server("incomingServer", "pop3", "pop.auto.test", 995, "SSL") +
            AutoconfigServer::server("outgoingServer", "smtp", "smtp.auto.test", 587, "STARTTLS")));
    askAutoconfigurationOf(server);
    frame();
    ui::LoginDialog dialog(false);
    dialog.mailboxField()->setEditText("me@auto.test");
    dialog.ownMailboxBox()->setChecked(true);
    dialog.passwordField()->setText("pw");
    dialog.submit();
    EXPECT_TRUE(logins_.empty());
    EXPECT_TRUE(messages().empty());
    ASSERT_TRUE(waitFor([&] { return !dialog.searchRunning(); }));
    EXPECT_EQ(dialog.searchStatusLabel()->text().toStdString(),
              "Found from the mail autoconfiguration document (" + server.base() +
                  "/autoconfig.auto.test/mail/config-v1.1.xml).");
    EXPECT_EQ(dialog.readServerField()->text(), "pop3s://pop.auto.test:995");
    // A server that said it must upgrade keeps saying so, and is used so.
    EXPECT_EQ(dialog.sendServerField()->text(), "smtp://smtp.auto.test:587 starttls");
    EXPECT_TRUE(logins_.empty());
    dialog.submit();
    ASSERT_EQ(logins_.size(), 1u);
    EXPECT_EQ(logins_[0].reader, MailboxReader::Pop3);
    EXPECT_EQ(logins_[0].readServer.host, "pop.auto.test");
    EXPECT_EQ(logins_[0].storeRoute, StoreRoute::Smtp);
    EXPECT_EQ(logins_[0].smtpServer.tls, TlsMode::StartTls);
}

TEST_F(DirectLoginUi, ASecretCommandIsHandedOnAndNothingTypedIsKept) {
    test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/parvola-bus");
    frame();
    ui::LoginDialog dialog(false);
    dialog.mailboxField()->setEditText("me@example.org");
    dialog.ownMailboxBox()->setChecked(true);
    // No keyring answers: the choice between config.ini and typing each time.
    EXPECT_EQ(dialog.passwordKeptLabel()->text(), QString::fromUtf8(ui::kPasswordToConfig));
    dialog.rememberBox()->setChecked(false);
    EXPECT_EQ(dialog.passwordKeptLabel()->text(), QString::fromUtf8(ui::kPasswordTypedEachTime));
    dialog.rememberBox()->setChecked(true);
    dialog.readServerField()->setText("imaps://imap.example.org");
    dialog.sendServerField()->setText("smtps://smtp.example.org");
    dialog.passwordField()->setText("typed-pw");
    dialog.passwordCommandField()->setText("pass show mail/me");
    dialog.tokenCommandField()->setText("oauth2-helper me");
    dialog.submit();
    EXPECT_TRUE(logins_.empty());
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0], ui::kOneSecretCommand);

    dialog.tokenCommandField()->clear();
    EXPECT_EQ(dialog.passwordKeptLabel()->text(), QString::fromUtf8(ui::kPasswordFromCommand));
    dialog.submit();
    ASSERT_EQ(logins_.size(), 1u);
    EXPECT_EQ(logins_[0].passwordCommand, "pass show mail/me");
    EXPECT_TRUE(logins_[0].tokenCommand.empty());
    EXPECT_EQ(passwords_[0], "");
    EXPECT_FALSE(remembered_[0]);
}

}  // namespace
}  // namespace parvola::test
