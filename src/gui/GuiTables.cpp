#include "gui/GuiTables.h"

#include <QTableWidget>

#include "gui/GuiText.h"

namespace tovi::gui {

void fillTable(QTableWidget* table, const std::vector<std::string>& headers,
               const std::vector<std::vector<std::string>>& rows) {
    table->clear();
    table->setRowCount(0);
    QStringList titles;
    for (const std::string& h : headers) titles << q(h);
    table->setColumnCount(titles.size());
    table->setHorizontalHeaderLabels(titles);
    table->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < static_cast<int>(rows[r].size()) && c < titles.size(); ++c)
            table->setItem(r, c, new QTableWidgetItem(q(rows[r][c])));
    for (int c = 0; c < titles.size(); ++c) table->setColumnWidth(c, 80);
}

}  // namespace tovi::gui
