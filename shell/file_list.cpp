#include "shell/file_list.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <filesystem>
#include <system_error>

#include "app/ini_settings.h"
#include "platform/named_lock.h"
#include "platform/notice_box.h"
#include "presentation/size_text.h"
#include "presentation/view_rules.h"
#include "presentation/view_texts.h"
#include "shell/catalog_change.h"
#include "shell/dialogs.h"
#include "shell/my_tree.h"
#include "shell/report_table.h"
#include "shell/shell_context.h"
#include "shell/shell_engine.h"

namespace parvola::ui {

CFileList::CFileList(QWidget* parent) : QTableWidget(parent) {
    setUpReportTable(*this, kFileListHeaders, kFileListWidths, kFileListColumnsKey);
    connect(this, &QTableWidget::itemSelectionChanged, this, [this] {
        const auto selected = selectionModel()->selectedRows();
        selectedRow_ = selected.size() == 1 ? selected.front().row() : -1;
    });
    connect(this, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        selectedRow_ = row;
        activateRow(row);
    });
    horizontalHeader()->setSectionsClickable(true);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CFileList::sortBy);
}

void CFileList::setRows(std::vector<CatalogRow> rows) {
    rows_ = std::move(rows);
    applySort();
    refill();
}

void CFileList::updateRows(std::vector<CatalogRow> rows) {
    const bool hadSelection = selectedRow_ >= 0 && selectedRow_ < static_cast<int>(rows_.size());
    const CatalogRow kept = hadSelection ? rows_[selectedRow_] : CatalogRow();
    const int scrolled = verticalScrollBar()->value();
    rows_ = std::move(rows);
    applySort();
    refill();
    verticalScrollBar()->setValue(scrolled);
    if (!hadSelection)
        return;
    for (int line = 0; line < static_cast<int>(rows_.size()); ++line)
        if (rows_[line].name == kept.name && rows_[line].type == kept.type &&
            rows_[line].path == kept.path) {
            selectRow(line);
            return;
        }
}

void CFileList::applySort() {
    if (sortColumn_ >= 0)
        sortCatalogRows(rows_, static_cast<FileListColumn>(sortColumn_), ascending_);
}

void CFileList::sortBy(int column) {
    if (column < 0 || column >= columnCount())
        return;
    ascending_ = column == sortColumn_ ? !ascending_ : true;
    sortColumn_ = column;
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column,
                                         ascending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
    updateRows(rows_);  // a copy: the selected row is looked up in the old order
}

void CFileList::activateRow(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    selectedRow_ = row;
    const bool recycle = panes().tree && panes().tree->isRecycleSelected();
    switch (rowActivationFor(recycle, rows_[row].type)) {
        case RowActivation::OpenFolder:
            if (panes().tree)
                panes().tree->openChildFolder(rows_[row].name);
            return;
        case RowActivation::OpenFile:
            openCommand();
            return;
        case RowActivation::Nothing:
            return;
    }
}

void CFileList::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Delete:
            // The toolbar's "删除": into the recycle bin, or, inside it, purged
            // after the question.
            if (panes().tree && !panes().tree->currentAccount().empty())
                deleteCommand();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            activateRow(selectedRow_);
            return;
        default:
            QTableWidget::keyPressEvent(event);
    }
}

void CFileList::refill() {
    RoleGuard guard(LockRole::FileList);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    clearSelection();
    setRowCount(0);
    selectedRow_ = -1;
    setRowCount(static_cast<int>(rows_.size()));
    for (int line = 0; line < static_cast<int>(rows_.size()); ++line) {
        const CatalogRow& row = rows_[line];
        const std::string texts[5] = {row.name, fileSizeText(row.size, row.type), row.type,
                                      row.time, row.path};
        for (int column = 0; column < 5; ++column) {
            auto* item = new QTableWidgetItem(QString::fromStdString(texts[column]));
            if (column == 0) {
                item->setTextAlignment(Qt::AlignCenter);
                item->setData(Qt::UserRole, static_cast<qlonglong>(row.size));
            }
            setItem(line, column, item);
        }
    }
    QApplication::restoreOverrideCursor();
}

void CFileList::selectRow(int row) {
    if (row < 0 || row >= rowCount()) {
        clearSelection();
        selectedRow_ = -1;
        return;
    }
    QTableWidget::selectRow(row);
    selectedRow_ = row;
}

void CFileList::removeLine(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    rows_.erase(rows_.begin() + row);
    removeRow(row);
    clearSelection();
    selectedRow_ = -1;
}

void CFileList::contextMenuEvent(QContextMenuEvent* event) {
    const bool recycle = panes().tree && panes().tree->isRecycleSelected();
    const std::string type = selectedRow_ >= 0 && selectedRow_ < static_cast<int>(rows_.size())
                                 ? rows_[selectedRow_].type
                                 : std::string();
    switch (fileListMenuFor(recycle, selectedRow_, type)) {
        case FileListMenu::None:
            return;
        case FileListMenu::AskForSelection:
            showNotice(kSelectFileOrFolder);
            return;
        case FileListMenu::FileCommands: {
            QMenu menu(this);
            menu.addAction(QString::fromUtf8(kFileMenuDownload), this, &CFileList::downloadCommand);
            menu.addAction(QString::fromUtf8(kFileMenuOpen), this, &CFileList::openCommand);
            menu.addAction(QString::fromUtf8(kFileMenuDelete), this, &CFileList::deleteCommand);
            menu.exec(event->globalPos());
            return;
        }
    }
}

void CFileList::downloadCommand() {
    readCommand(false);
}
void CFileList::openCommand() {
    readCommand(true);
}

void CFileList::readCommand(bool openAfter) {
    if (selectedRow_ < 0 || selectedRow_ >= static_cast<int>(rows_.size()) ||
        rows_[selectedRow_].type != kFileType) {
        showNotice(kSelectFile);
        return;
    }
    const CatalogRow row = rows_[selectedRow_];
    DownloadInputs inputs;
    inputs.storedSubject = row.subject;
    inputs.fileName = row.name;
    inputs.fileSize = row.size;
    inputs.catalogFolder = currentPath();
    inputs.openWhenDone = openAfter;
    std::string folder;
    if (!openAfter) {
        const IniSettings settings;
        if (!settings.hasDefaultDownloadFolder()) {
            auto* dialog = new DownloadDialog(inputs, window());
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->showModal();
            return;
        }
        folder = settings.defaultDownloadFolder();
    } else {
        folder = temporaryOpenFolder();
    }
    setCurrentDownloadFolder(folder);
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    inputs.saveFolder = folder;
    if (shellEngine().startDownload)
        shellEngine().startDownload(currentAccount(), inputs);
}

void CFileList::deleteCommand() {
    if (selectedRow_ < 0 || selectedRow_ >= static_cast<int>(rows_.size())) {
        showNotice(kSelectFileOrFolder);
        return;
    }
    const int line = selectedRow_;
    const CatalogRow row = rows_[line];
    const std::string account = currentAccount();
    const std::string path = currentPath();
    Catalog catalog(account);
    if (path != kRecycleLabel) {
        const std::string itemPath = path.empty() ? row.name : path + "\\" + row.name;
        int result = -1;
        if (row.type == kFolderType) {
            result = reportCatalogChange(catalog.deleteFolder(itemPath));
            if (result == 0 && panes().tree)
                panes().tree->removeChildFolder(row.name);
        } else {
            result = reportCatalogChange(catalog.deleteFile(itemPath));
        }
        if (result == 0) {
            removeLine(line);
            if (panes().tree)
                panes().tree->refreshAccount(account);
        }
        return;
    }
    if (askQuestion(kConfirmPurge) != NoticeAnswer::Ok)
        return;
    const int result =
        reportCatalogChange(row.type == kFolderType ? catalog.purgeFolder(row.path)
                                                    : catalog.purgeFile(row.path, row.name));
    if (result == 0) {
        removeLine(line);
        if (panes().tree)
            panes().tree->refreshAccount(account);
    }
}

void CFileList::recoverCommand() {
    if (currentPath() != kRecycleLabel)
        return;
    if (selectedRow_ < 0 || selectedRow_ >= static_cast<int>(rows_.size())) {
        showNotice(kSelectFileOrFolder);
        return;
    }
    const int line = selectedRow_;
    const CatalogRow row = rows_[line];
    Catalog catalog(currentAccount());
    const int result =
        reportCatalogChange(row.type == kFolderType ? catalog.undeleteFolder(row.path)
                                                    : catalog.undeleteFile(row.path, row.name));
    // The line leaves only when the item really left the recycle bin; a
    // folder that came back gets its node back too.
    if (result != 0)
        return;
    removeLine(line);
    if (panes().tree)
        panes().tree->refreshAccount(currentAccount());
}

}  // namespace parvola::ui
