#pragma once
// The page "方案列表": every row of table rule with its tick (isdo), and the menu 方案菜单 to
// create, edit, copy, delete, export and flag plans.
#include <QWidget>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QPushButton;
class QTableWidget;

namespace tovi {
class Database;
}

namespace tovi::gui {

class Dialogs;

class PlanListPage : public QWidget {
    Q_OBJECT
public:
    PlanListPage(Database& db, Dialogs& dialogs, QWidget* parent = nullptr);

    void fillPlanList();
    // The current row's cells (table rule's columns), empty when no row is selected. With
    // several rows selected, edit, copy, delete and the flag act on the current one.
    std::vector<std::string> currentRow() const;

protected:
    void resizeEvent(QResizeEvent* e) override;

signals:
    // -1 new plan, 0 edit the current row, 1 copy it.
    void editorRequested(int mode);
    // A plan was removed or its 默认监控 flag changed.
    void plansChanged();

private:
    void popupMenu(const QPoint& pos);
    void deleteCurrentPlan();
    void undoDelete();
    void showUndo(std::int64_t planId);  // 0 hides it
    void placeList();
    void toggleCurrentDefaultFlag();
    void exportSelectedPlans();

    Database& m_db;
    QPushButton* m_undo = nullptr;
    std::int64_t m_deletedId = 0;  // what 撤销 puts back
    Dialogs& m_dialogs;
    std::vector<std::vector<std::string>> m_rows;
    QTableWidget* m_list = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_edit = nullptr;
    QAction* m_copy = nullptr;
    QAction* m_delete = nullptr;
    QAction* m_defaultFlag = nullptr;
};

}  // namespace tovi::gui
