#pragma once

#include <QTableWidget>
#include <span>

namespace parvola::ui {

// The file list and the task list are the same kind of table: fixed column
// headers and starting widths, the first header centred, whole-row single
// selection, no editing, no row numbers, the last column filling the width.
// Both set themselves up through this one place so they keep looking alike.
// The widths the user gives the columns are kept in the settings under
// `widthsKey` and come back at the next start.
void setUpReportTable(QTableWidget& table, std::span<const char* const> headers,
                      std::span<const int> widths, const char* widthsKey);

}  // namespace parvola::ui
