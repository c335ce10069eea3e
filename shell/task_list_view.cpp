#include "shell/task_list_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>

#include "app/ini_settings.h"
#include "platform/named_lock.h"
#include "platform/notice_box.h"
#include "presentation/view_rules.h"
#include "presentation/view_texts.h"
#include "shell/report_table.h"
#include "shell/ui_thread.h"

namespace parvola::ui {

CTaskList::CTaskList(TaskList& list, QWidget* parent) : QTableWidget(parent), list_(list) {
    setUpReportTable(*this, kTaskListHeaders, kTaskListWidths, kTaskListColumnsKey);
    connect(this, &QTableWidget::itemSelectionChanged, this, [this] {
        const auto selected = selectionModel()->selectedRows();
        selectedRow_ = selected.size() == 1 ? selected.front().row() : -1;
    });
    // Subscribe and queue what the list holds now in one critical section,
    // so every later change is queued after that picture and none is missed.
    RoleGuard guard(LockRole::Tasks);
    list_.addListener(this);
    rowsRebuilt(list_.rows());
}

CTaskList::~CTaskList() {
    list_.removeListener(this);
}

void CTaskList::insertLine(int row, const TaskRowTexts& texts) {
    if (row < 0 || row > rowCount())
        row = rowCount();
    insertRow(row);
    const std::string columns[8] = {texts.user,     texts.direction,     texts.fileName,
                                    texts.fileSize, texts.catalogFolder, texts.startTime,
                                    texts.progress, texts.speed};
    for (int column = 0; column < 8; ++column) {
        auto* item = new QTableWidgetItem(QString::fromStdString(columns[column]));
        if (column == 0)
            item->setTextAlignment(Qt::AlignCenter);
        setItem(row, column, item);
    }
}

void CTaskList::setText(int row, int column, const std::string& text) {
    if (row < 0 || row >= rowCount())
        return;
    if (auto* cell = item(row, column))
        cell->setText(QString::fromStdString(text));
}

void CTaskList::rowAdded(int row, const TaskRowTexts& texts) {
    postToUi(this, [this, row, texts] { insertLine(row, texts); });
}

void CTaskList::rowRemoved(int row) {
    postToUi(this, [this, row] {
        if (row >= 0 && row < rowCount())
            removeRow(row);
    });
}

void CTaskList::progressTextChanged(int row, const std::string& text) {
    postToUi(this, [this, row, text] { setText(row, 6, text); });
}

void CTaskList::speedTextChanged(int row, const std::string& text) {
    postToUi(this, [this, row, text] { setText(row, 7, text); });
}

void CTaskList::rowsRebuilt(const std::vector<TaskRowTexts>& rows) {
    postToUi(this, [this, rows] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        setRowCount(0);
        for (const auto& texts : rows)
            insertLine(rowCount(), texts);
        QApplication::restoreOverrideCursor();
    });
}

void CTaskList::transferFinished(const TaskRowTexts& row) {
    const QString text = QString::fromStdString(transferFinishedText(row.direction, row.fileName));
    postToUi(this, [this, text] { emit finished(text); });
}

QStringList CTaskList::lineTexts(int row) const {
    QStringList texts;
    for (int column = 0; column < columnCount(); ++column)
        texts << (item(row, column) ? item(row, column)->text() : QString());
    return texts;
}

void CTaskList::selectLine(int row) {
    if (row < 0 || row >= rowCount()) {
        clearSelection();
        selectedRow_ = -1;
        return;
    }
    selectRow(row);
    selectedRow_ = row;
}

void CTaskList::contextMenuEvent(QContextMenuEvent* event) {
    if (selectedRow_ < 0 || selectedRow_ >= rowCount())
        return;
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(kCancelTask), this, &CTaskList::cancelCommand);
    menu.exec(event->globalPos());
}

void CTaskList::cancelCommand() {
    if (selectedRow_ < 0 || selectedRow_ >= rowCount())
        return;
    // The line's user and file name name the task; read them before asking,
    // as lines may move while the question is open.
    const std::string user = item(selectedRow_, 0)->text().toStdString();
    const std::string fileName = item(selectedRow_, 2)->text().toStdString();
    if (askQuestion(kConfirmCancelTask) != NoticeAnswer::Ok)
        return;
    // The list removes the row and tells this view, which drops the line.
    list_.cancelTask(user, fileName);
    clearSelection();
    selectedRow_ = -1;
}

}  // namespace parvola::ui
