#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/autostart.h"
#include "app/ini_settings.h"
#include "presentation/view_texts.h"
#include "shell/dialogs.h"

namespace parvola::ui {
namespace {

// How many connections a transfer uses at once for its file's pieces.
constexpr const char* kConnectionsLabel = "每个传输同时使用的连接数:";

}  // namespace

SettingsDialog::SettingsDialog(QWidget* parent)
    : SkinDialog(QString::fromUtf8(kSettingsTitle), parent) {
    auto* group = new QGroupBox(QString::fromUtf8(kGeneralSettings), this);
    auto* boxes = new QVBoxLayout(group);
    autoStart_ = new QCheckBox(QString::fromUtf8(kAutoStart), group);
    shutdown_ = new QCheckBox(QString::fromUtf8(kShutdownWhenDone), group);
    continue_ = new QCheckBox(QString::fromUtf8(kContinueTasks), group);
    boxes->addWidget(autoStart_);
    boxes->addWidget(shutdown_);
    boxes->addWidget(continue_);
    auto* connectionsRow = new QHBoxLayout;
    connections_ = new QSpinBox(group);
    connections_->setRange(1, kMaxConnections);
    connectionsRow->addWidget(new QLabel(QString::fromUtf8(kConnectionsLabel), group));
    connectionsRow->addWidget(connections_);
    connectionsRow->addStretch();
    boxes->addLayout(connectionsRow);
    body()->addWidget(group);
    body()->addWidget(skinLabel(QString::fromUtf8(kDefaultDownloadPath), this));
    auto* row = new QHBoxLayout;
    folder_ = new QLineEdit(this);
    folder_->setMinimumWidth(240);
    auto* browseButton = new SkinButton(QString::fromUtf8(kBrowse), this);
    row->addWidget(folder_);
    row->addWidget(browseButton);
    body()->addLayout(row);
    auto* buttons = new QHBoxLayout;
    auto* cancel = new SkinButton(QString::fromUtf8(kCancelWide), this);
    auto* ok = new SkinButton(QString::fromUtf8(kOkWide), this);
    ok->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    body()->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, &SettingsDialog::submit);
    connect(browseButton, &QPushButton::clicked, this, &SettingsDialog::browse);

    const IniSettings settings;
    folder_->setText(QString::fromStdString(settings.readDefPath()));
    autoStart_->setChecked(settings.readAutoStart());
    shutdown_->setChecked(shutdownWhenDone());
    continue_->setChecked(settings.readContinue());
    connections_->setValue(settings.readConnections());
}

void SettingsDialog::browse() {
    const QString folder = QFileDialog::getExistingDirectory(this);
    folder_->clear();
    folder_->setText(folder);  // cancelling leaves the field empty
}

void SettingsDialog::submit() {
    const IniSettings settings;
    if (autoStart_->isChecked()) {
        enableAutoStart();
        settings.writeAutoStart(true);
    } else {
        disableAutoStart();
        settings.writeAutoStart(false);
    }
    setShutdownWhenDone(shutdown_->isChecked());
    settings.writeContinue(continue_->isChecked());
    settings.writeConnections(connections_->value());
    settings.writeDefPath(folder_->text().toStdString());
    accept();
}

}  // namespace parvola::ui
