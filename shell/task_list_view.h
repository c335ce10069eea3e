#pragma once
// The task list pane: one line per running transfer, kept in step with the
// engine's task list. The list calls its listeners on worker threads under the
// tasks role; this view only queues each change to the user-interface thread,
// where the lines change in the order the changes happened.
#include <QTableWidget>
#include <vector>

#include "transfer/task_list.h"

namespace parvola::ui {

class CTaskList : public QTableWidget, public TaskListListener {
    Q_OBJECT
  public:
    explicit CTaskList(TaskList& list = taskList(), QWidget* parent = nullptr);
    ~CTaskList() override;

    int selectedRow() const { return selectedRow_; }
    void selectLine(int row);
    // "取消任务" on the selected line, after the question.
    void cancelCommand();
    // The texts of one line (tests and the screenshots).
    QStringList lineTexts(int row) const;

    // TaskListListener (worker threads).
    void rowAdded(int row, const TaskRowTexts& texts) override;
    void rowRemoved(int row) override;
    void progressTextChanged(int row, const std::string& text) override;
    void speedTextChanged(int row, const std::string& text) override;
    void rowsRebuilt(const std::vector<TaskRowTexts>& rows) override;
    void transferFinished(const TaskRowTexts& row) override;

  signals:
    // A transfer ended with its file complete (on the user-interface thread):
    // the text that says so.
    void finished(const QString& text);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void insertLine(int row, const TaskRowTexts& texts);
    void setText(int row, int column, const std::string& text);
    TaskList& list_;
    int selectedRow_ = -1;
};

}  // namespace parvola::ui
