#pragma once
// The file list: the content of the folder or recycle bin selected in the
// tree, five columns, and the commands on the selected row.
#include <QTableWidget>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "presentation/view_rules.h"

namespace parvola::ui {

class CFileList : public QTableWidget {
    Q_OBJECT
  public:
    explicit CFileList(QWidget* parent = nullptr);

    // Replaces the rows and rebuilds the lines (a new listing: no selection).
    void setRows(std::vector<CatalogRow> rows);
    // The same listing read again: the selected line stays selected when its
    // row is still there, and the list keeps its scroll position.
    void updateRows(std::vector<CatalogRow> rows);
    // Rebuilds the displayed lines from the rows (under the file-list role).
    void refill();
    const std::vector<CatalogRow>& rows() const { return rows_; }
    int selectedRow() const { return selectedRow_; }
    // Selects one line as a click does (-1 clears the selection).
    void selectRow(int row);

    // Enter or a double click on a line: a folder opens, a file is opened.
    void activateRow(int row);
    // A click on a column header: sorts by it, the other way on a second click.
    void sortBy(int column);

    // Commands.
    void downloadCommand();
    void openCommand();
    void deleteCommand();
    void recoverCommand();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void readCommand(bool openAfter);
    void removeLine(int row);
    void applySort();
    std::vector<CatalogRow> rows_;
    int selectedRow_ = -1;
    int sortColumn_ = -1;  // -1: catalog order
    bool ascending_ = true;
};

}  // namespace parvola::ui
