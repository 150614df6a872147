#pragma once
// The page "高级设置": the category editor (one category per line, saved to 类别), the title
// rules group, and the SQL console on the main connection.
#include <QWidget>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QTableWidget;

namespace tovi {
class LoggedSql;
class Settings;
}  // namespace tovi

namespace tovi::gui {

class Dialogs;

class AdvancedPage : public QWidget {
    Q_OBJECT
public:
    AdvancedPage(Settings& settings, LoggedSql& console, Dialogs& dialogs,
                 const std::vector<std::string>& categoryNames, QWidget* parent = nullptr);

private:
    void saveCategories();
    void runConsoleSql();

    Settings& m_settings;
    LoggedSql& m_console;
    Dialogs& m_dialogs;
    QPlainTextEdit* m_categories = nullptr;
    QPlainTextEdit* m_sql = nullptr;
    QLabel* m_sqlResult = nullptr;
    QTableWidget* m_sqlRows = nullptr;
};

}  // namespace tovi::gui
