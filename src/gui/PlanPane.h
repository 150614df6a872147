#pragma once
// 栏目框 and its menu (栏目菜单): the plan tree built from the categories and table rule, the
// ticks that choose what periodic monitoring runs, and the tree's actions. Building the tree
// also refills the plan table the monitoring runs read.
#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "core/plans/PlanRunOutcome.h"
#include "core/plans/PlanTree.h"

class QAction;
class QMenu;
class QRect;

namespace tovi {
class Database;
class PlanTable;
class Settings;
class StatusSink;
}  // namespace tovi

namespace tovi::gui {

class Dialogs;
class PlanTreeWidget;
class StatusBox;

class PlanPane : public QObject {
    Q_OBJECT
public:
    struct Context {
        Database& db;
        Settings& settings;
        PlanTable& planTable;
        StatusBox& status;
        Dialogs& dialogs;
        std::function<bool()> monitoring;  // true while periodic monitoring runs
        // The ticked plans changed (a tick, a refresh): what monitoring runs from its next cycle.
        std::function<void(std::vector<int>)> tickedChanged;
    };
    PlanPane(QWidget* window, Context context);

    void applyLayout(const QRect& area);
    // Rebuilds the tree and the plan table ("刷新方案列表", start-up, a plan saved or removed),
    // also while monitoring runs: the ticks come from tovi.sdb, and a run in progress works on
    // its own copy of its plan.
    void refresh();
    void expandFirstCategory();
    std::vector<int> queue(RunMode mode) const;
    // The names as the last build read them from 类别.
    const std::vector<std::string>& categoryNames() const { return m_categoryNames; }
    void focusTree();
    // After a plan's run: its health in the tree.
    void showHealth(int planId, const PlanRunOutcome& outcome);

signals:
    void planSelected(int planId);
    // 0 "方案列表", 1 "方案操作".
    void optionsRequested(int page);

private:
    void popupMenu(const QPoint& pos);
    void openSelectedPlanPage();

    Context m_ctx;
    PlanTreeWidget* m_tree = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_openPage = nullptr;
    QAction* m_manage = nullptr;
    std::vector<std::string> m_categoryNames;
    int m_menuPlanId = 0;  // what the open menu acts on: a plan, a category (< 0), nothing (0)
};

}  // namespace tovi::gui
