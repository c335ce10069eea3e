// An encrypted store in the desktop client, against the real mail server:
// "加密此存储" at the first login, a file with a Chinese name stored sealed, a
// second application directory that opens the store with only the passphrase
// (a wrong one asked again, a cancel leaving nothing written), the same store
// read by parvola-cli, a web-service login that asks the service once, and
// the account menu's encryption of an account logged in plain.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <cstdlib>
#include <set>

#include "platform/worker_threads.h"
#include "presentation/view_texts.h"
#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "shell/passphrase_dialog.h"
#include "shell/toolbar.h"
#include "tests/cli/cli_runner.h"
#include "tests/crypto/maildir_text.h"
#include "tests/shell/ui/ui_support.h"
#include "tests/support/mail_stack.h"
#include "tests/support/secret_search.h"
#include "tests/support/site_process.h"
#include "transfer/account_keys.h"
#include "transfer/encrypted_login.h"

namespace parvola::test {
namespace {

const std::string kPassphrase = "松风水月 quiet river 7";
const std::string kFileName = "董事会季度预算草案.bin";

// Answers the passphrase dialogs in the order they open: each answer types
// its passphrase (twice where the dialog asks twice) and clicks OK, or
// cancels. `atOpen` runs when its dialog is open, before the answer. A
// dialog beyond the answers is cancelled and counted.
struct Answer {
    std::string passphrase;  // empty: cancel
    std::function<void(ui::PassphraseDialog&)> atOpen;
    bool remember = false;  // "记住口令"
};
class PassphraseAnswers {
  public:
    explicit PassphraseAnswers(std::vector<Answer> answers) : answers_(std::move(answers)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { answerOpenDialog(); });
        timer_.start(20);
    }
    int asked() const { return asked_; }
    const std::vector<std::string>& complaints() const { return complaints_; }

  private:
    void answerOpenDialog() {
        auto* dialog = ui::openDialog<ui::PassphraseDialog>();
        if (dialog == nullptr)
            return;
        const size_t index = asked_++;
        complaints_.push_back(dialog->complaintLabel()->isVisible()
                                  ? dialog->complaintLabel()->text().toStdString()
                                  : std::string());
        if (index >= answers_.size() || answers_[index].passphrase.empty()) {
            if (index < answers_.size() && answers_[index].atOpen)
                answers_[index].atOpen(*dialog);
            dialog->reject();
            return;
        }
        if (answers_[index].atOpen)
            answers_[index].atOpen(*dialog);
        dialog->passphraseField()->setText(QString::fromStdString(answers_[index].passphrase));
        if (dialog->againField() != nullptr)
            dialog->againField()->setText(QString::fromStdString(answers_[index].passphrase));
        dialog->rememberBox()->setChecked(answers_[index].remember);
        dialog->submit();
    }
    std::vector<Answer> answers_;
    QTimer timer_;
    int asked_ = 0;
    std::vector<std::string> complaints_;
};

bool listShows(const std::string& name) {
    auto* list = ui::panes().fileList;
    for (int row = 0; row < list->rowCount(); ++row)
        if (list->item(row, 0)->text().toStdString() == name)
            return true;
    return false;
}

class EncryptedUi : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        forgetAllAccountKeys();
        user_ = MailStack::uniqueUser("guisealed");
        ASSERT_TRUE(MailStack::addUser(user_, password_));
        address_ = user_ + "@sina.test";
        writeFile(home_.path() / "deploy.ini", deployIni());
        installRealEngineHooks();
    }
    void TearDown() override {
        waitForWorkers(std::chrono::seconds(60));
        UiTest::TearDown();
        forgetAllAccountKeys();
    }
    // No web service anywhere: a direct login never asks it.
    static std::string deployIni() {
        return "[site]\nbase=http://127.0.0.1:9\ngroup=http://127.0.0.1:9\n[tls]\nca_file=" +
               MailStack::caFile() + "\n";
    }
    std::string pop3s() const {
        return "pop3s://127.0.0.1:" + std::to_string(MailStack::pop3sPort());
    }
    std::string smtps() const {
        return "smtps://127.0.0.1:" + std::to_string(MailStack::smtpsPort());
    }
    // Fills the login dialog for the own mailbox over POP3 and SMTP and
    // clicks "登录"; the dialog it used.
    ui::LoginDialog* logInDirect(bool encrypt) {
        frame().openLoginDialog(false);
        auto* dialog = ui::openDialog<ui::LoginDialog>();
        if (dialog == nullptr)
            return nullptr;
        dialog->mailboxField()->setEditText(QString::fromStdString(address_));
        dialog->passwordField()->setText(QString::fromStdString(password_));
        dialog->ownMailboxBox()->setChecked(true);
        dialog->readServerField()->setText(QString::fromStdString(pop3s()));
        dialog->sendServerField()->setText(QString::fromStdString(smtps()));
        dialog->encryptBox()->setChecked(encrypt);
        QTest::mouseClick(dialog->loginButton(), Qt::LeftButton);
        return dialog;
    }
    bool loggedIn() const { return ui::panes().tree->findNode(address_, "") != nullptr; }
    // Stores `path` into "我的文档" through the store dialog and waits for it.
    void storeThroughTheDialog(const std::filesystem::path& path) {
        select(address_, "我的文档");
        ui::panes().toolbar->storeCommand();
        auto* store = ui::openDialog<ui::StoreDialog>();
        ASSERT_NE(store, nullptr);
        store->pathField()->setText(QString::fromStdString(path.string()));
        store->submit();
        ASSERT_TRUE(waitFor([&] { return listShows(path.filename().string()); }, 60000));
        ASSERT_TRUE(waitFor([&] { return runningWorkers() == 0 && taskList().empty(); }, 60000));
    }
    // As if the program ended: no window, no account, no key in memory.
    void endTheRun() {
        waitFor([] { return runningWorkers() == 0 && taskList().empty(); }, 60000);
        delete frame_.data();
        QApplication::processEvents();
        clearLoggedInAccounts();
        forgetAllAccountKeys();
    }

    std::string user_;
    std::string password_ = "Mailbox-pw1";
    std::string address_;
};

TEST_F(EncryptedUi, EncryptedAtLoginThenOpenedElsewhereWithOnlyThePassphraseAndByTheCli) {
    if (!shellEngine().startUpload)
        GTEST_SKIP() << "the transfer workers are not wired into this build";
    {
        PassphraseAnswers answers({{kPassphrase, {}}});
        ASSERT_NE(logInDirect(true), nullptr);
        ASSERT_TRUE(waitFor([&] { return loggedIn(); }, 60000));
        EXPECT_EQ(answers.asked(), 1);
    }
    EXPECT_EQ(messages(), std::vector<std::string>({ui::kEncryptionDone}));
    EXPECT_EQ(accountEncryption(address_), AccountEncryption::Unlocked);
    const std::string bytes = randomBytes(200 * 1024 + 3, 21);
    const auto source = home_.path() / kFileName;
    writeFile(source, bytes);
    storeThroughTheDialog(source);
    EXPECT_EQ(messages().size(), 1u);
    // The provider reads neither the name nor the content.
    const auto mails = readableMaildir(user_);
    ASSERT_GE(mails.size(), 3u);  // the key mail, the catalog, the piece
    EXPECT_EQ(findReadable(mails, kFileName), std::vector<std::string>{});
    EXPECT_EQ(findReadable(mails, bytes.substr(1000, 64)), std::vector<std::string>{});
    endTheRun();

    // Another computer: the same address, password and servers, and the
    // passphrase. A wrong one is asked again with the reason; a cancel then
    // leaves the directory as it was and the login dialog open.
    AppHome second;
    writeFile(second.path() / "deploy.ini", deployIni());
    const auto untouched = contentsBelow(second.path());
    std::set<std::pair<std::string, std::string>> whileAskedAgain;
    ui::LoginDialog* dialog = nullptr;
    {
        PassphraseAnswers answers(
            {{"not the passphrase", {}},
             {"", [&](ui::PassphraseDialog&) { whileAskedAgain = contentsBelow(second.path()); }}});
        dialog = logInDirect(false);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(waitFor([&] { return answers.asked() == 2; }, 60000));
        EXPECT_EQ(answers.complaints(), std::vector<std::string>({"", ui::kWrongPassphrase}));
    }
    EXPECT_EQ(whileAskedAgain, untouched);
    EXPECT_EQ(contentsBelow(second.path()), untouched);
    EXPECT_FALSE(loggedIn());
    EXPECT_EQ(ui::openDialog<ui::LoginDialog>(), dialog);
    EXPECT_TRUE(messages().size() == 1u) << messages().back();
    {
        PassphraseAnswers answers({{kPassphrase, {}}});
        QTest::mouseClick(dialog->loginButton(), Qt::LeftButton);
        ASSERT_TRUE(waitFor([&] { return loggedIn(); }, 60000));
        EXPECT_EQ(answers.asked(), 1);
    }
    EXPECT_EQ(messages().size(), 1u) << messages().back();
    select(address_, "我的文档");
    EXPECT_TRUE(listShows(kFileName));
    EXPECT_TRUE(seenEncrypted(address_, IniSettings()));

    // The command line opens the same store with the passphrase.
    TempDir third("parvola-sealed-cli");
    writeFile(third / "deploy.ini", "[tls]\nca_file=" + MailStack::caFile() + "\n");
    CliResult login = runCli(third.str(),
                             {"login", "--direct", address_, "--password-stdin", "--pop3", pop3s(),
                              "--smtp", smtps(), "--passphrase-stdin"},
                             password_ + "\n" + kPassphrase + "\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
    TempDir saves("parvola-sealed-saves");
    CliResult read = runCli(
        third.str(), {"read", "我的文档/" + kFileName, "--to", saves.str(), "--passphrase-stdin"},
        kPassphrase + "\n");
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_TRUE(readFile(saves / kFileName) == bytes);
    // The second directory's catalog mail ends before the directory goes.
    EXPECT_TRUE(waitFor([] { return runningWorkers() == 0; }, 60000));
}

// An account logged in plain is encrypted later from the account menu: what
// was stored before stays readable as it was, what comes next is sealed;
// then its passphrase is changed from the same menu.
TEST_F(EncryptedUi, TheAccountMenuEncryptsAnAccountLoggedInPlainAndChangesItsPassphrase) {
    if (!shellEngine().startUpload)
        GTEST_SKIP() << "the transfer workers are not wired into this build";
    ASSERT_NE(logInDirect(false), nullptr);
    ASSERT_TRUE(waitFor([&] { return loggedIn(); }, 60000));
    const auto before = home_.path() / "明文旧文件.txt";
    writeFile(before, "stored before the encryption");
    storeThroughTheDialog(before);
    EXPECT_TRUE(messages().empty()) << messages().front();

    select(address_, "");
    {
        PassphraseAnswers answers({{kPassphrase, {}}});
        frame().encryptStoreAction()->trigger();
        EXPECT_EQ(answers.asked(), 1);
    }
    EXPECT_EQ(messages(),
              std::vector<std::string>({ui::kEncryptLaterQuestion, ui::kEncryptionDone}));
    EXPECT_EQ(accountEncryption(address_), AccountEncryption::Unlocked);
    const auto after = home_.path() / "加密后的新文件.txt";
    writeFile(after, "stored after the encryption");
    storeThroughTheDialog(after);
    const auto mails = readableMaildir(user_);
    EXPECT_FALSE(findReadable(mails, "明文旧文件.txt").empty());
    EXPECT_EQ(findReadable(mails, "加密后的新文件.txt"), std::vector<std::string>{});
    EXPECT_EQ(findReadable(mails, "stored after the encryption"), std::vector<std::string>{});

    // A second time says so and asks nothing.
    frame().encryptStoreAction()->trigger();
    EXPECT_EQ(messages().back(), ui::kAlreadyEncrypted);

    // The passphrase changes: a wrong current one is asked again before the
    // new one is asked for, then the new one is what opens the store elsewhere.
    const std::string renewed = "新的口令 second river 8";
    {
        PassphraseAnswers answers({{"not the passphrase", {}}, {kPassphrase, {}}, {renewed, {}}});
        frame().changePassphraseAction()->trigger();
        EXPECT_EQ(answers.asked(), 3);
        EXPECT_EQ(answers.complaints(), std::vector<std::string>({"", ui::kWrongPassphrase, ""}));
    }
    EXPECT_EQ(messages().back(), ui::kPassphraseChanged);
    endTheRun();
    AppHome second;
    writeFile(second.path() / "deploy.ini", deployIni());
    PassphraseAnswers answers({{kPassphrase, {}}, {renewed, {}}});
    ASSERT_NE(logInDirect(false), nullptr);
    ASSERT_TRUE(waitFor([&] { return loggedIn(); }, 60000));
    EXPECT_EQ(answers.complaints(), std::vector<std::string>({"", ui::kWrongPassphrase}));
    select(address_, "我的文档");
    EXPECT_TRUE(listShows("加密后的新文件.txt"));
    EXPECT_TRUE(waitFor([] { return runningWorkers() == 0; }, 60000));
}

// A web-service account with "加密此存储" checked: the key mail is looked for
// before the login, with the service's answer the login then uses, so the
// service is asked once.
TEST_F(EncryptedUi, AWebServiceLoginThatEncryptsAsksTheServiceOnce) {
    SiteProcess site;
    ASSERT_TRUE(site.started());
    const std::string typed = user_ + "@parvola.test";
    ASSERT_TRUE(site.addUser(typed, "typed-pw", address_, password_));
    std::string deploy = site.deployIniSection();
    deploy += "[ports]\nsmtp=" + std::to_string(MailStack::smtpPort()) +
              "\npop3=" + std::to_string(MailStack::pop3Port()) +
              "\n[sina]\nsmtp=127.0.0.1\npop3=127.0.0.1\n";
    writeFile(home_.path() / "deploy.ini", deploy);
    frame().openLoginDialog(false);
    auto* dialog = ui::openDialog<ui::LoginDialog>();
    ASSERT_NE(dialog, nullptr);
    dialog->mailboxField()->setEditText(QString::fromStdString(typed));
    dialog->passwordField()->setText("typed-pw");
    dialog->encryptBox()->setChecked(true);
    PassphraseAnswers answers({{kPassphrase, {}}});
    QTest::mouseClick(dialog->loginButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return ui::panes().tree->findNode(typed, "") != nullptr; }, 60000));
    EXPECT_EQ(answers.asked(), 1);
    EXPECT_EQ(messages(), std::vector<std::string>({ui::kEncryptionDone}));
    EXPECT_EQ(site.log("login").size(), 1u);
    EXPECT_EQ(accountEncryption(typed), AccountEncryption::Unlocked);
}

// With a keyring in the session (run by the `shell_ui_keyring` test inside a
// private D-Bus session with gnome-keyring): "记住口令" keeps the passphrase
// there and in no file, and another application directory opens the store
// with it without asking.
TEST_F(EncryptedUi, AKeptPassphraseOpensTheStoreWithoutAskingAndNoFileHoldsIt) {
    const char* keyringFiles = std::getenv("PARVOLA_KEYRING_FILES");
    if (keyringFiles == nullptr)
        GTEST_SKIP() << "needs the keyring session (ctest -R shell_ui_keyring)";
    {
        PassphraseAnswers answers({{kPassphrase, {}, true}});
        ASSERT_NE(logInDirect(true), nullptr);
        ASSERT_TRUE(waitFor([&] { return loggedIn(); }, 60000));
        EXPECT_EQ(answers.asked(), 1);
    }
    EXPECT_EQ(messages(), std::vector<std::string>({ui::kEncryptionDone}));
    EXPECT_EQ(keptPassphrase(address_), kPassphrase);
    EXPECT_EQ(findSecrets({kPassphrase}, {home_.path(), keyringFiles}, {}),
              std::vector<std::string>{});
    endTheRun();

    AppHome second;
    writeFile(second.path() / "deploy.ini", deployIni());
    PassphraseAnswers none({});
    ASSERT_NE(logInDirect(false), nullptr);
    ASSERT_TRUE(waitFor([&] { return loggedIn(); }, 60000));
    EXPECT_EQ(none.asked(), 0);
    EXPECT_EQ(accountEncryption(address_), AccountEncryption::Unlocked);
    EXPECT_EQ(messages().size(), 1u) << messages().back();
    EXPECT_TRUE(waitFor([] { return runningWorkers() == 0; }, 60000));
}

}  // namespace
}  // namespace parvola::test
