#pragma once
// Filling the options window's tables from rows of GBK texts.
#include <string>
#include <vector>

class QTableWidget;

namespace tovi::gui {

// Columns titled by headers and one row of cells per row, each column 80 pixels wide.
void fillTable(QTableWidget* table, const std::vector<std::string>& headers,
               const std::vector<std::vector<std::string>>& rows);

}  // namespace tovi::gui
