#pragma once
// The plan tree: categories with their plans, each with a tick box. Ticks live only here.
#include <QTreeWidget>
#include <utility>
#include <vector>

#include "core/plans/PlanTree.h"

namespace tovi::gui {

class PlanTreeWidget : public QTreeWidget {
    Q_OBJECT
public:
    explicit PlanTreeWidget(QWidget* parent = nullptr);

    void rebuild(const PlanTree& tree);
    // The tree as it stands, with the user's ticks.
    PlanTree snapshot() const;
    // Plan ids in tree order for a worker's queue.
    std::vector<int> queue(RunMode mode) const;
    // The selected plan's id, or 0 for a category or no selection.
    int selectedPlanId() const;
    // The node under a point of the viewport: a plan's id, a negative number for a category,
    // 0 for none.
    int nodeAt(const QPoint& viewportPos) const;
    bool selectionIsCategory() const;
    void expandAllCategories();
    // A plan that failed three runs in a row shows a warning sign; the tooltip says how its
    // last run went and when it last worked.
    void showHealth(int planId, const PlanHealthRecord& health);

signals:
    void planSelected(int planId);
    // The user ticked or unticked plans (a category's tick is its plans'): (id, ticked).
    void ticksChanged(const std::vector<std::pair<int, bool>>& ticks);

protected:
    // A right click opens the menu for the node already selected; it never selects one (the
    // article list would switch plans).
    void mousePressEvent(QMouseEvent* e) override;

private:
    void propagateTick(QTreeWidgetItem* item, int column);
    void applyHealth(QTreeWidgetItem* item, const std::optional<PlanHealthRecord>& health);
    bool m_building = false;
};

}  // namespace tovi::gui
