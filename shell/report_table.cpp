#include "shell/report_table.h"

#include <QHeaderView>
#include <QStringList>

namespace parvola::ui {

void setUpReportTable(QTableWidget& table, std::span<const char* const> headers,
                      std::span<const int> widths) {
    table.setColumnCount(static_cast<int>(headers.size()));
    QStringList labels;
    for (const char* header : headers)
        labels << QString::fromUtf8(header);
    table.setHorizontalHeaderLabels(labels);
    for (int column = 0; column < table.columnCount(); ++column) {
        if (static_cast<std::size_t>(column) < widths.size())
            table.setColumnWidth(column, widths[static_cast<std::size_t>(column)]);
        table.horizontalHeaderItem(column)->setTextAlignment(
            (column == 0 ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    table.verticalHeader()->hide();
    table.verticalHeader()->setDefaultSectionSize(20);
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setSelectionMode(QAbstractItemView::SingleSelection);
    table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table.setShowGrid(true);
}

}  // namespace parvola::ui
