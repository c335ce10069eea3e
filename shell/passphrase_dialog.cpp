#include "shell/passphrase_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "presentation/view_texts.h"

namespace parvola::ui {
namespace {

const char* promptPrefix(PassphraseDialog::Kind kind) {
    switch (kind) {
        case PassphraseDialog::Kind::Existing:
            return kPassphraseOpensPrefix;
        case PassphraseDialog::Kind::New:
            return kPassphraseNewPrefix;
        case PassphraseDialog::Kind::Replacement:
            break;
    }
    return kPassphraseChangePrefix;
}

QLineEdit* hiddenField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setMinimumWidth(220);
    return field;
}

}  // namespace

PassphraseDialog::PassphraseDialog(Kind kind, const std::string& address,
                                   const std::string& complaint, QWidget* parent)
    : SkinDialog(QString::fromUtf8(kPassphraseTitle), parent) {
    auto* prompt =
        skinLabel(QString::fromUtf8(promptPrefix(kind)) + QString::fromStdString(address), this);
    prompt->setWordWrap(true);
    body()->addWidget(prompt);
    complaint_ = skinLabel(QString::fromStdString(complaint), this);
    complaint_->setWordWrap(true);
    complaint_->setVisible(!complaint.empty());
    body()->addWidget(complaint_);
    auto* grid = new QGridLayout;
    grid->addWidget(skinLabel(QString::fromUtf8(kPassphraseLabel), this), 0, 0);
    passphrase_ = hiddenField(this);
    grid->addWidget(passphrase_, 0, 1);
    if (kind != Kind::Existing) {
        grid->addWidget(skinLabel(QString::fromUtf8(kPassphraseAgainLabel), this), 1, 0);
        again_ = hiddenField(this);
        grid->addWidget(again_, 1, 1);
    }
    remember_ = new QCheckBox(QString::fromUtf8(kRememberPassphrase), this);
    grid->addWidget(remember_, 2, 1);
    body()->addLayout(grid);

    auto* row = new QHBoxLayout;
    auto* cancel = new SkinButton(QString::fromUtf8(kCancel), this);
    auto* ok = new SkinButton(QString::fromUtf8(kOk), this);
    ok->setDefault(true);
    cancel->setMinimumWidth(80);
    ok->setMinimumWidth(80);
    row->addStretch();
    row->addWidget(cancel);
    row->addWidget(ok);
    body()->addLayout(row);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, &PassphraseDialog::submit);
}

void PassphraseDialog::submit() {
    const std::string typed = passphrase_->text().toStdString();
    const char* problem = nullptr;
    if (typed.empty())
        problem = kPassphraseEmpty;
    else if (again_ != nullptr && again_->text().toStdString() != typed)
        problem = kPassphrasesDiffer;
    if (problem != nullptr) {
        // Said in the dialog itself, which stays for another try.
        complaint_->setText(QString::fromUtf8(problem));
        complaint_->setVisible(true);
        passphrase_->clear();
        if (again_ != nullptr)
            again_->clear();
        passphrase_->setFocus();
        return;
    }
    accepted_ = typed;
    accept();
}

std::optional<PassphraseReply> askPassphrase(PassphraseDialog::Kind kind,
                                             const std::string& address,
                                             const std::string& complaint) {
    PassphraseDialog dialog(kind, address, complaint);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return PassphraseReply{dialog.passphrase(), dialog.rememberBox()->isChecked()};
}

}  // namespace parvola::ui
