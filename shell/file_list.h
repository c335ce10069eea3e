#pragma once
// The file list: the content of the folder or recycle bin selected in the
// tree, five columns, and the commands on the selected row.
#include <QTableWidget>
#include <string>
#include <vector>

#include "catalog/catalog.h"

namespace parvola::ui {

class CFileList : public QTableWidget {
    Q_OBJECT
  public:
    explicit CFileList(QWidget* parent = nullptr);

    // Replaces the rows and rebuilds the lines.
    void setRows(std::vector<CatalogRow> rows);
    // Rebuilds the displayed lines from the rows (under the file-list role).
    void refill();
    const std::vector<CatalogRow>& rows() const { return rows_; }
    int selectedRow() const { return selectedRow_; }
    // Selects one line as a click does (-1 clears the selection).
    void selectRow(int row);

    // Commands.
    void downloadCommand();
    void openCommand();
    void deleteCommand();
    void recoverCommand();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void readCommand(bool openAfter);
    void removeLine(int row);
    std::vector<CatalogRow> rows_;
    int selectedRow_ = -1;
};

}  // namespace parvola::ui
