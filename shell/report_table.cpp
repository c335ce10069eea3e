#include "shell/report_table.h"

#include <QHeaderView>
#include <QStringList>
#include <QTimer>
#include <string>
#include <vector>

#include "app/ini_settings.h"

namespace parvola::ui {

namespace {

// Writes the widths a moment after the user stops dragging a column edge,
// not at every step of the drag.
void keepWidths(QTableWidget& table, const char* key) {
    auto* save = new QTimer(&table);
    save->setSingleShot(true);
    save->setInterval(400);
    QObject::connect(save, &QTimer::timeout, &table, [&table, key = std::string(key)] {
        std::vector<int> widths;
        // The last column fills what is left: its width is the window's, not the user's.
        for (int column = 0; column + 1 < table.columnCount(); ++column)
            widths.push_back(table.columnWidth(column));
        IniSettings().writeColumnWidths(key.c_str(), widths);
    });
    QObject::connect(table.horizontalHeader(), &QHeaderView::sectionResized, save,
                     [&table, save](int column, int, int) {
                         // The stretching last column changes with the window.
                         if (column + 1 < table.columnCount())
                             save->start();
                     });
}

}  // namespace

void setUpReportTable(QTableWidget& table, std::span<const char* const> headers,
                      std::span<const int> widths, const char* widthsKey) {
    table.setColumnCount(static_cast<int>(headers.size()));
    QStringList labels;
    for (const char* header : headers)
        labels << QString::fromUtf8(header);
    table.setHorizontalHeaderLabels(labels);
    const std::vector<int> kept = IniSettings().readColumnWidths(widthsKey);
    for (int column = 0; column < table.columnCount(); ++column) {
        const auto at = static_cast<std::size_t>(column);
        if (at + 1 < static_cast<std::size_t>(table.columnCount()) && at < kept.size())
            table.setColumnWidth(column, kept[at]);
        else if (at < widths.size())
            table.setColumnWidth(column, widths[at]);
        table.horizontalHeaderItem(column)->setTextAlignment(
            (column == 0 ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    table.horizontalHeader()->setStretchLastSection(true);
    table.verticalHeader()->hide();
    table.verticalHeader()->setDefaultSectionSize(20);
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setSelectionMode(QAbstractItemView::SingleSelection);
    table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table.setShowGrid(true);
    table.setTabKeyNavigation(false);  // Tab moves on to the next control
    keepWidths(table, widthsKey);
}

}  // namespace parvola::ui
