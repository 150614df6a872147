#pragma once
// The page "高级设置": the category editor (one category per line, saved to 类别), the title
// rules group, and the SQL console on the main connection.
#include <QWidget>
#include <string>
#include <vector>

#include "core/plans/TitleRules.h"

class QLabel;
class QPlainTextEdit;
class QTableWidget;

namespace tovi {
class Database;
class LoggedSql;
class Settings;
}  // namespace tovi

namespace tovi::gui {

class Dialogs;
class TitleRulesBox;

class AdvancedPage : public QWidget {
    Q_OBJECT
public:
    // The title rules for every plan are kept in the window's own connection db.
    AdvancedPage(Settings& settings, Database& db, LoggedSql& console, Dialogs& dialogs,
                 const std::vector<std::string>& categoryNames, QWidget* parent = nullptr);

    // Categories or title rules typed and not saved (Escape would throw them away).
    bool hasUnsavedEdits() const;

signals:
    // The categories were saved: their names, in order.
    void categoriesSaved(const std::vector<std::string>& names);

private:
    void saveCategories();
    void saveTitleRules();
    void runConsoleSql();

    Settings& m_settings;
    Database& m_db;
    LoggedSql& m_console;
    TitleRulesBox* m_rules = nullptr;
    Dialogs& m_dialogs;
    QPlainTextEdit* m_categories = nullptr;
    QString m_savedCategories;  // the editor's text as last loaded or saved
    TitleRules m_savedRules;
    QPlainTextEdit* m_sql = nullptr;
    QLabel* m_sqlResult = nullptr;
    QTableWidget* m_sqlRows = nullptr;
};

}  // namespace tovi::gui
