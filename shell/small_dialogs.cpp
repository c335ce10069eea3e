// The download, rename, about and store dialogs.
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <filesystem>
#include <system_error>

#include "catalog/item_names.h"
#include "platform/deploy_config.h"
#include "platform/notice_box.h"
#include "presentation/view_rules.h"
#include "presentation/view_texts.h"
#include "shell/dialogs.h"
#include "shell/icons.h"
#include "shell/shell_context.h"
#include "shell/shell_engine.h"

namespace parvola::ui {

namespace {

QHBoxLayout* okCancelRow(QDialog* dialog, const char* ok, const char* cancel,
                         SkinButton** okButton) {
    auto* row = new QHBoxLayout;
    auto* cancelButton = new SkinButton(QString::fromUtf8(cancel), dialog);
    *okButton = new SkinButton(QString::fromUtf8(ok), dialog);
    (*okButton)->setDefault(true);
    cancelButton->setMinimumWidth(80);
    (*okButton)->setMinimumWidth(80);
    QObject::connect(cancelButton, &QPushButton::clicked, dialog, &QDialog::reject);
    row->addStretch();
    row->addWidget(cancelButton);
    row->addWidget(*okButton);
    return row;
}

bool createFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

}  // namespace

DownloadDialog::DownloadDialog(DownloadInputs inputs, QWidget* parent)
    : SkinDialog(QString::fromUtf8(kDownloadTitle), parent), inputs_(std::move(inputs)) {
    auto* grid = new QGridLayout;
    grid->addWidget(skinLabel(QString::fromUtf8(kSavePath), this), 0, 0);
    savePath_ = new QLineEdit(this);
    savePath_->setMinimumWidth(260);
    grid->addWidget(savePath_, 0, 1);
    auto* browse = new SkinButton(QString::fromUtf8(kBrowse), this);
    grid->addWidget(browse, 0, 2);
    // The name of the file being read travels with the dialog, unseen.
    auto* nameLabel = skinLabel(QString::fromUtf8(kHiddenFileName), this);
    fileName_ = new QLineEdit(QString::fromStdString(inputs_.fileName), this);
    nameLabel->hide();
    fileName_->hide();
    grid->addWidget(nameLabel, 1, 0);
    grid->addWidget(fileName_, 1, 1);
    body()->addLayout(grid);
    SkinButton* ok = nullptr;
    body()->addLayout(okCancelRow(this, kOkWide, kCancelWide, &ok));
    connect(ok, &QPushButton::clicked, this, &DownloadDialog::submit);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this);
        savePath_->setText(folder);  // cancelling leaves the field empty
    });
}

void DownloadDialog::submit() {
    const std::string path = savePath_->text().toStdString();
    if (!path.empty())
        setCurrentDownloadFolder(path);
    const std::string folder = currentDownloadFolder();
    if (folder.empty()) {
        // Writing into an empty folder path would scatter the file into the
        // working folder: ask for a folder instead.
        showNotice(kChooseSaveFolder);
        return;
    }
    if (inputs_.storedSubject.empty()) {
        showNotice(kNoFileChosen);
        return;
    }
    createFolder(folder);
    DownloadInputs inputs = inputs_;
    inputs.saveFolder = folder;
    inputs.openWhenDone = false;
    if (shellEngine().startDownload)
        shellEngine().startDownload(currentAccount(), inputs);
    accept();
}

RenameDialog::RenameDialog(std::string siblingNames, QWidget* parent)
    : SkinDialog(QString::fromUtf8(kRenameTitle), parent), siblings_(std::move(siblingNames)) {
    auto* row = new QHBoxLayout;
    row->addWidget(skinLabel(QString::fromUtf8(kFolderNameLabel), this));
    name_ = new QLineEdit(this);
    name_->setMinimumWidth(200);
    row->addWidget(name_);
    body()->addLayout(row);
    SkinButton* ok = nullptr;
    body()->addLayout(okCancelRow(this, kOk, kCancel, &ok));
    connect(ok, &QPushButton::clicked, this, &RenameDialog::submit);
}

void RenameDialog::submit() {
    const std::string name = name_->text().toStdString();
    if (const NameProblem problem = folderNameProblem(name);
        !name.empty() && problem != NameProblem::None) {
        showNotice(nameProblemText(problem));
        return;
    }
    switch (checkRenameInput(siblings_, name)) {
        case RenameCheck::Empty:
            return;
        case RenameCheck::Refused:
            showNotice(kFolderExists);
            return;
        case RenameCheck::Accepted:
            newName_ = name;
            accept();
            return;
    }
}

AboutDialog::AboutDialog(QWidget* parent) : SkinDialog(QString::fromUtf8(kAppName), parent) {
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(applicationIcon().pixmap(32, 32));
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* lines = new QVBoxLayout;
    lines->addWidget(skinLabel(QString::fromUtf8(kAboutVersion), this));
    lines->addWidget(skinLabel(QString::fromUtf8(kAboutOwnership), this));
    lines->addWidget(skinLabel(QString::fromStdString(loadDeployConfig().siteBase), this));
    row->addLayout(lines);
    body()->addLayout(row);
    auto* buttons = new QHBoxLayout;
    auto* ok = new SkinButton(QString::fromUtf8(kOk), this);
    ok->setDefault(true);
    ok->setMinimumWidth(80);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addStretch();
    buttons->addWidget(ok);
    body()->addLayout(buttons);
}

StoreDialog::StoreDialog(QWidget* parent) : SkinDialog(QString::fromUtf8(kStoreTitle), parent) {
    auto* row = new QHBoxLayout;
    path_ = new QLineEdit(this);
    path_->setMinimumWidth(300);
    row->addWidget(path_);
    auto* browse = new SkinButton(QString::fromUtf8(kBrowse), this);
    row->addWidget(browse);
    body()->addLayout(row);
    SkinButton* ok = nullptr;
    body()->addLayout(okCancelRow(this, kOkWide, kCancelWide, &ok));
    connect(ok, &QPushButton::clicked, this, &StoreDialog::submit);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                          QString::fromUtf8(kStoreFilter));
        if (!file.isEmpty())
            path_->setText(file);
    });
}

void StoreDialog::submit() {
    const std::string path = path_->text().toStdString();
    if (path.empty()) {
        showNotice(kEnterFilePath);
        return;
    }
    const std::string user = currentAccount();
    const std::string folder = currentPath();
    if (shellEngine().checkStore) {
        const std::string refusal = shellEngine().checkStore(user, folder, path);
        if (!refusal.empty()) {
            showNotice(refusal);
            return;
        }
    }
    if (shellEngine().startUpload)
        shellEngine().startUpload(user, path, folder);
    accept();
}

}  // namespace parvola::ui
