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
#include "platform/named_lock.h"
#include "platform/notice_box.h"
#include "presentation/view_texts.h"
#include "shell/dialogs.h"
#include "shell/main_frame.h"
#include "shell/my_tree.h"
#include "shell/shell_context.h"
#include "shell/shell_engine.h"

namespace parvola::ui {

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
    ownMailbox_ = new QCheckBox(QString::fromUtf8(kOwnMailbox), this);
    grid->addWidget(ownMailbox_, 3, 1);
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
    own->addWidget(skinLabel(QString::fromUtf8(kStoreWith), ownFields_), 2, 0);
    storeWith_ = new QComboBox(ownFields_);
    storeWith_->addItem(QString::fromUtf8(kStoreWithDefault), QString());
    storeWith_->addItem(QString::fromUtf8(kStoreWithAppend), QString("append"));
    storeWith_->addItem(QString::fromUtf8(kStoreWithSmtp), QString("smtp"));
    own->addWidget(storeWith_, 2, 1);
    own->addWidget(skinLabel(QString::fromUtf8(kMailFolder), ownFields_), 3, 0);
    mailFolder_ = new QLineEdit(ownFields_);
    mailFolder_->setPlaceholderText("INBOX");
    own->addWidget(mailFolder_, 3, 1);
    auto* hint = skinLabel(QString::fromUtf8(kMailFolderHint), ownFields_);
    hint->setWordWrap(true);
    own->addWidget(hint, 4, 1);
    allowPlaintext_ = new QCheckBox(QString::fromUtf8(kAllowPlaintext), ownFields_);
    allowPlaintext_->setChecked(false);
    own->addWidget(allowPlaintext_, 5, 1);
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
}

void LoginDialog::ownMailboxToggled(bool on) {
    ownFields_->setVisible(on);
    if (on)
        suggestServers();
    adjustSize();
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
}

void LoginDialog::accountChosen(const QString& account) {
    const std::string name = account.toStdString();
    if (auto direct = rememberedDirectAccount(settings_.path(), name))
        showDirectSettings(*direct);
    else
        ownMailbox_->setChecked(false);
    for (const auto& remembered : settings_.accounts()) {
        if (remembered.account == name) {
            password_->setText(QString::fromStdString(remembered.password));
            return;
        }
    }
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
    const ShellLoginResult result =
        shellEngine().login(mailbox, password, remember_->isChecked(), settings_);
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
    DirectAccountSettings direct;
    std::string problem;
    if (!chooseDirectSettings(request, direct, problem)) {
        showNotice(problem);  // the dialog stays for a correction
        return;
    }
    if (!shellEngine().loginDirect)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ShellLoginResult result =
        shellEngine().loginDirect(direct, password, remember_->isChecked(), settings_);
    QApplication::restoreOverrideCursor();
    finishLogin(result);
}

void LoginDialog::finishLogin(const ShellLoginResult& result) {
    switch (result.outcome) {
        case ShellLoginOutcome::AlreadyLoggedIn:
            return;  // the message was shown; the dialog stays
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
