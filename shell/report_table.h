#pragma once

#include <QTableWidget>
#include <span>

namespace parvola::ui {

// The file list and the task list are the same kind of table: fixed column
// headers and widths, the first header centred, whole-row single selection,
// no editing, no row numbers. Both set themselves up through this one place
// so they keep looking alike.
void setUpReportTable(QTableWidget& table, std::span<const char* const> headers,
                      std::span<const int> widths);

}  // namespace parvola::ui
