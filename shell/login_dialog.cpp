#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <algorithm>

#include "app/process_state.h"
#include "app/site_pages.h"
#include "catalog/catalog.h"
#include "platform/named_lock.h"
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
    body()->addLayout(grid);

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
}

void LoginDialog::accountChosen(const QString& account) {
    const std::string name = account.toStdString();
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
    if (!shellEngine().login)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ShellLoginResult result =
        shellEngine().login(mailbox, password, remember_->isChecked(), settings_);
    QApplication::restoreOverrideCursor();
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
