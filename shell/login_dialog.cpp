#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "app/process_state.h"
#include "app/site_pages.h"
#include "catalog/catalog.h"
#include "platform/keyring.h"
#include "platform/named_lock.h"
#include "platform/notice_box.h"
#include "presentation/discovery_text.h"
#include "presentation/view_texts.h"
#include "shell/dialogs.h"
#include "shell/main_frame.h"
#include "shell/my_tree.h"
#include "shell/server_search.h"
#include "shell/shell_context.h"
#include "shell/shell_engine.h"

namespace parvola::ui {
namespace {

// The typed server fields as a search's given settings; a field that is not
// a server address is left to the search (and refused at the login).
FoundServers typedServers(const QString& read, const QString& send) {
    FoundServers given;
    ServerUrl url;
    std::string unused;
    if (parseServerUrl(read.trimmed().toStdString(), url, unused)) {
        if (url.protocol == ServerProtocol::Imap)
            given.imap = url;
        else if (url.protocol == ServerProtocol::Pop3)
            given.pop3 = url;
    }
    if (parseServerUrl(send.trimmed().toStdString(), url, unused) &&
        url.protocol == ServerProtocol::Smtp)
        given.smtp = url;
    return given;
}

}  // namespace

LoginDialog::LoginDialog(bool atStartUp, QWidget* parent)
    : SkinDialog(QString::fromUtf8(kLoginTitle), parent), atStartUp_(atStartUp) {
    setDragByClientArea(true);
    auto* grid = new QGridLayout;
    grid->addWidget(skinLabel(QString::fromUtf8(kLoginMailbox), this), 0, 0);
    mailbox_ = new QComboBox(this);
    mailbox_->setEditable(true);
    mailbox_->setInsertPolicy(QComboBox::NoInsert);
    mailbox_->lineEdit()->setMaxLength(100);
    mailbox_->setMinimumWidth(220);
    std::vector<std::string> names;
    for (const auto& remembered : settings_.accounts())
        names.push_back(remembered.account);
    std::sort(names.begin(), names.end());
    for (const auto& name : names)
        mailbox_->addItem(QString::fromStdString(name));
    mailbox_->setCurrentIndex(-1);
    mailbox_->clearEditText();
    grid->addWidget(mailbox_, 0, 1);
    grid->addWidget(skinLabel(QString::fromUtf8(kLoginPassword), this), 1, 0);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    grid->addWidget(password_, 1, 1);
    remember_ = new QCheckBox(QString::fromUtf8(kRememberPassword), this);
    remember_->setChecked(true);
    grid->addWidget(remember_, 2, 1);
    passwordKept_ = skinLabel(QString(), this);
    passwordKept_->setWordWrap(true);
    passwordKept_->setVisible(false);
    grid->addWidget(passwordKept_, 3, 1);
    ownMailbox_ = new QCheckBox(QString::fromUtf8(kOwnMailbox), this);
    grid->addWidget(ownMailbox_, 4, 1);
    // For both ways of logging in; its price is said beside it.
    encrypt_ = new QCheckBox(QString::fromUtf8(kEncryptStore), this);
    grid->addWidget(encrypt_, 5, 1);
    auto* tradeOff = skinLabel(QString::fromUtf8(kEncryptTradeOff), this);
    tradeOff->setWordWrap(true);
    grid->addWidget(tradeOff, 6, 1);
    body()->addLayout(grid);

    ownFields_ = new QWidget(this);
    auto* own = new QGridLayout(ownFields_);
    own->setContentsMargins(0, 0, 0, 0);
    own->addWidget(skinLabel(QString::fromUtf8(kReadServer), ownFields_), 0, 0);
    readServer_ = new QLineEdit(ownFields_);
    readServer_->setPlaceholderText(QString::fromUtf8(kServerUrlHint));
    own->addWidget(readServer_, 0, 1);
    own->addWidget(skinLabel(QString::fromUtf8(kSendServer), ownFields_), 1, 0);
    sendServer_ = new QLineEdit(ownFields_);
    sendServer_->setPlaceholderText("smtps://...");
    own->addWidget(sendServer_, 1, 1);
    auto* findRow = new QHBoxLayout;
    findServers_ = new SkinButton(QString::fromUtf8(kFindServers), ownFields_);
    findRow->addWidget(findServers_);
    findRow->addStretch();
    own->addLayout(findRow, 2, 1);
    searchStatus_ = skinLabel(QString(), ownFields_);
    searchStatus_->setWordWrap(true);
    searchStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    own->addWidget(searchStatus_, 3, 1);
    own->addWidget(skinLabel(QString::fromUtf8(kPasswordCommand), ownFields_), 4, 0);
    passwordCommand_ = new QLineEdit(ownFields_);
    passwordCommand_->setPlaceholderText("pass show mail/me");
    own->addWidget(passwordCommand_, 4, 1);
    own->addWidget(skinLabel(QString::fromUtf8(kTokenCommand), ownFields_), 5, 0);
    tokenCommand_ = new QLineEdit(ownFields_);
    own->addWidget(tokenCommand_, 5, 1);
    auto* commandHint = skinLabel(QString::fromUtf8(kSecretCommandHint), ownFields_);
    commandHint->setWordWrap(true);
    own->addWidget(commandHint, 6, 1);
    own->addWidget(skinLabel(QString::fromUtf8(kStoreWith), ownFields_), 7, 0);
    storeWith_ = new QComboBox(ownFields_);
    storeWith_->addItem(QString::fromUtf8(kStoreWithDefault), QString());
    storeWith_->addItem(QString::fromUtf8(kStoreWithAppend), QString("append"));
    storeWith_->addItem(QString::fromUtf8(kStoreWithSmtp), QString("smtp"));
    own->addWidget(storeWith_, 7, 1);
    own->addWidget(skinLabel(QString::fromUtf8(kMailFolder), ownFields_), 8, 0);
    mailFolder_ = new QLineEdit(ownFields_);
    mailFolder_->setPlaceholderText("INBOX");
    own->addWidget(mailFolder_, 8, 1);
    auto* hint = skinLabel(QString::fromUtf8(kMailFolderHint), ownFields_);
    hint->setWordWrap(true);
    own->addWidget(hint, 9, 1);
    allowPlaintext_ = new QCheckBox(QString::fromUtf8(kAllowPlaintext), ownFields_);
    allowPlaintext_->setChecked(false);
    own->addWidget(allowPlaintext_, 10, 1);
    // Wide enough that the hints wrap into a few lines.
    ownFields_->setMinimumWidth(420);
    ownFields_->setVisible(false);
    body()->addWidget(ownFields_);

    auto* row = new QHBoxLayout;
    register_ = new SkinButton(QString::fromUtf8(kRegister), this);
    const std::string page = sitePages().registration;
    register_->setLink(page);
    register_->setTooltipText(QString::fromStdString(page));
    login_ = new SkinButton(QString::fromUtf8(kLoginTitle), this);
    login_->setDefault(true);
    row->addWidget(register_);
    row->addStretch();
    row->addWidget(login_);
    body()->addLayout(row);

    connect(mailbox_, &QComboBox::textActivated, this, &LoginDialog::accountChosen);
    connect(login_, &QPushButton::clicked, this, &LoginDialog::submit);
    connect(ownMailbox_, &QCheckBox::toggled, this, &LoginDialog::ownMailboxToggled);
    connect(mailbox_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (ownMailbox_->isChecked())
            suggestServers();
    });
    search_ = new ServerSearch(
        [this](const std::string& step) { searchStatus_->setText(QString::fromStdString(step)); },
        [this](const DiscoveryResult& result) { serverSearchFinished(result); }, this);
    connect(findServers_, &QPushButton::clicked, this, &LoginDialog::findServersClicked);
    connect(remember_, &QCheckBox::toggled, this, &LoginDialog::showPasswordKept);
    connect(passwordCommand_, &QLineEdit::textChanged, this, &LoginDialog::showPasswordKept);
    connect(tokenCommand_, &QLineEdit::textChanged, this, &LoginDialog::showPasswordKept);
}

bool LoginDialog::searchRunning() const {
    return search_->running();
}

void LoginDialog::ownMailboxToggled(bool on) {
    ownFields_->setVisible(on);
    if (on)
        suggestServers();
    showPasswordKept();
    fitToContents();
}

void LoginDialog::fitToContents() {
    // Wrapped lines (the hints, the search's answer) need the height they
    // take at the width the window gets, which adjustSize alone misjudges.
    layout()->activate();
    adjustSize();
    if (layout()->hasHeightForWidth())
        resize(width(), std::max(height(), layout()->totalHeightForWidth(width())));
}

bool LoginDialog::keyringAnswersNow() {
    if (!keyringAnswers_)
        keyringAnswers_ = keyringAnswers();
    return *keyringAnswers_;
}

void LoginDialog::showPasswordKept() {
    const bool own = ownMailbox_->isChecked();
    passwordKept_->setVisible(own);
    if (!own)
        return;
    const bool fromCommand =
        !passwordCommand_->text().trimmed().isEmpty() || !tokenCommand_->text().trimmed().isEmpty();
    const char* text = fromCommand               ? kPasswordFromCommand
                       : !remember_->isChecked() ? kPasswordTypedEachTime
                       : keyringAnswersNow()     ? kPasswordToKeyring
                                                 : kPasswordToConfig;
    passwordKept_->setText(QString::fromUtf8(text));
}

void LoginDialog::findServersClicked() {
    if (search_->running()) {
        search_->cancel();
        DiscoveryResult cancelled;
        cancelled.outcome = DiscoveryResult::Outcome::Cancelled;
        serverSearchFinished(cancelled);
        return;
    }
    startServerSearch();
}

void LoginDialog::startServerSearch() {
    const std::string address = mailbox_->currentText().trimmed().toStdString();
    FoundServers given = typedServers(readServer_->text(), sendServer_->text());
    SettingsSource source = SettingsSource::Given;
    // Nothing typed: the servers remembered for the account come first.
    if (readServer_->text().trimmed().isEmpty() && sendServer_->text().trimmed().isEmpty()) {
        if (auto remembered = rememberedDirectAccount(settings_.path(), address)) {
            given = foundServersOf(*remembered);
            source = SettingsSource::Remembered;
        }
    }
    search_->start(address, given, source, !allowPlaintext_->isChecked());
    findServers_->setText(QString::fromUtf8(kStopFinding));
    searchStatus_->setText(QString());
}

void LoginDialog::serverSearchFinished(const DiscoveryResult& result) {
    findServers_->setText(QString::fromUtf8(kFindServers));
    const std::string address = mailbox_->currentText().trimmed().toStdString();
    const size_t at = address.rfind('@');
    const std::string domain = at == std::string::npos ? address : address.substr(at + 1);
    std::string status = discoveryHeadline(result, domain);
    if (result.outcome == DiscoveryResult::Outcome::NotFound)
        for (const std::string& note : result.notes)
            status += "\n" + note;
    searchStatus_->setText(QString::fromStdString(status));
    if (result.outcome != DiscoveryResult::Outcome::Found) {
        fitToContents();
        return;
    }
    // The servers found stay editable before the first login.
    const ServerUrl& reader =
        result.servers.imap.empty() ? result.servers.pop3 : result.servers.imap;
    readServer_->setText(QString::fromStdString(formatServerUrl(reader)));
    sendServer_->setText(result.servers.smtp.empty()
                             ? QString()
                             : QString::fromStdString(formatServerUrl(result.servers.smtp)));
    fitToContents();
}

void LoginDialog::suggestServers() {
    if (!readServer_->text().isEmpty() || !sendServer_->text().isEmpty())
        return;
    DirectAccountRequest request;
    request.address = mailbox_->currentText().toStdString();
    DirectAccountSettings found;
    std::string unused;
    if (chooseDirectSettings(request, found, unused)) {
        readServer_->setText(QString::fromStdString(formatServerUrl(found.readServer)));
        sendServer_->setText(QString::fromStdString(formatServerUrl(found.smtpServer)));
    }
}

void LoginDialog::showDirectSettings(const DirectAccountSettings& direct) {
    ownMailbox_->setChecked(true);
    readServer_->setText(QString::fromStdString(formatServerUrl(direct.readServer)));
    sendServer_->setText(direct.smtpServer.host.empty()
                             ? QString()
                             : QString::fromStdString(formatServerUrl(direct.smtpServer)));
    const bool append = direct.storeRoute == StoreRoute::ImapAppend;
    storeWith_->setCurrentIndex(storeWith_->findData(QString(append ? "append" : "smtp")));
    mailFolder_->setText(QString::fromStdString(direct.mailFolder));
    allowPlaintext_->setChecked(direct.plaintextAllowed);
    passwordCommand_->setText(QString::fromStdString(direct.passwordCommand));
    tokenCommand_->setText(QString::fromStdString(direct.tokenCommand));
}

void LoginDialog::accountChosen(const QString& account) {
    const std::string name = account.toStdString();
    const auto direct = rememberedDirectAccount(settings_.path(), name);
    if (direct)
        showDirectSettings(*direct);
    else
        ownMailbox_->setChecked(false);
    std::string password;
    for (const auto& remembered : settings_.accounts())
        if (remembered.account == name)
            password = remembered.password;
    // A direct account's remembered password is in the desktop keyring when
    // one took it; config.ini then keeps the account without it.
    std::string failure;
    if (direct && password.empty() && direct->passwordCommand.empty() &&
        direct->tokenCommand.empty())
        keyringLookup(name, password, failure);
    password_->setText(QString::fromStdString(password));
}

void LoginDialog::submit() {
    const std::string mailbox = mailbox_->currentText().toStdString();
    const std::string password = password_->text().toStdString();
    if (ownMailbox_->isChecked()) {
        submitDirect(mailbox, password);
        return;
    }
    if (!shellEngine().login)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ShellLoginResult result = shellEngine().login(mailbox, password, remember_->isChecked(),
                                                        encrypt_->isChecked(), settings_);
    QApplication::restoreOverrideCursor();
    finishLogin(result);
}

void LoginDialog::submitDirect(const std::string& mailbox, const std::string& password) {
    // The same rules as the command line's login --direct: the reading
    // server's scheme says whether it is IMAP or POP3.
    DirectAccountRequest request;
    request.address = mailbox;
    const std::string reader = readServer_->text().trimmed().toStdString();
    if (reader.rfind("pop3", 0) == 0 || reader.rfind("POP3", 0) == 0)
        request.pop3Url = reader;
    else
        request.imapUrl = reader;
    request.smtpUrl = sendServer_->text().trimmed().toStdString();
    request.storeWith = storeWith_->currentData().toString().toStdString();
    request.mailFolder = mailFolder_->text().trimmed().toStdString();
    if (request.mailFolder == "INBOX")
        request.mailFolder.clear();
    request.allowPlaintext = allowPlaintext_->isChecked();
    // The dialog has no field for the piece size: one set on the command
    // line stays.
    if (auto before = rememberedDirectAccount(settings_.path(), mailbox))
        request.pieceSize = before->pieceSize;
    const std::string passwordCommand = passwordCommand_->text().trimmed().toStdString();
    const std::string tokenCommand = tokenCommand_->text().trimmed().toStdString();
    if (!passwordCommand.empty() && !tokenCommand.empty()) {
        showNotice(kOneSecretCommand);
        return;
    }
    DirectAccountSettings direct;
    std::string problem;
    if (!chooseDirectSettings(request, direct, problem)) {
        // No server typed and none known for the domain: look for them, and
        // let the user check what was found before logging in.
        if (reader.empty() && request.smtpUrl.empty() && mailbox.find('@') != std::string::npos) {
            if (!search_->running())
                startServerSearch();
            return;
        }
        showNotice(problem);  // the dialog stays for a correction
        return;
    }
    direct.passwordCommand = passwordCommand;
    direct.tokenCommand = tokenCommand;
    // A command gives the secret at each login: nothing typed is kept.
    const bool fromCommand = !passwordCommand.empty() || !tokenCommand.empty();
    if (!shellEngine().loginDirect)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ShellLoginResult result = shellEngine().loginDirect(
        direct, fromCommand ? std::string() : password, remember_->isChecked() && !fromCommand,
        encrypt_->isChecked(), settings_);
    QApplication::restoreOverrideCursor();
    finishLogin(result);
}

void LoginDialog::finishLogin(const ShellLoginResult& result) {
    switch (result.outcome) {
        case ShellLoginOutcome::AlreadyLoggedIn:
        case ShellLoginOutcome::Cancelled:
            return;  // the message was shown, or the user declined; the dialog stays
        case ShellLoginOutcome::LoggedIn:
            if (auto* tree = panes().tree) {
                Catalog catalog(result.catalogUser);
                tree->addAccountNode(catalog);
            }
            done(QDialog::Accepted);
            return;
        case ShellLoginOutcome::Failed:
            done(kClosedAfterFailure);
            return;
    }
}

void LoginDialog::reject() {
    // Declining the login at start-up ends the program. Later (an account is
    // logged in and transfers may run) closing the dialog only closes it, so
    // that unfinished transfers still go through the exit sequence.
    bool noAccount = true;
    {
        RoleGuard guard(LockRole::Accounts);
        noAccount = loggedInAccounts().empty();
    }
    const bool endProgram = atStartUp_ && noAccount;
    QDialog::reject();
    if (endProgram) {
        if (auto* frame = panes().frame)
            frame->destroyForExit();
        QCoreApplication::exit(0);
    }
}

}  // namespace parvola::ui
