#include "gui/PlanPane.h"

#include <QMenu>

#include "core/monitor/Watching.h"
#include "core/plans/PlanTable.h"
#include "core/text/Gbk.h"
#include "gui/Dialogs.h"
#include "gui/Links.h"
#include "gui/PlanTreeWidget.h"
#include "gui/StatusBox.h"

namespace tovi::gui {

PlanPane::PlanPane(QWidget* window, Context context) : QObject(window), m_ctx(std::move(context)) {
    m_tree = new PlanTreeWidget(window);
    connect(m_tree, &PlanTreeWidget::planSelected, this, &PlanPane::planSelected);
    connect(m_tree, &QWidget::customContextMenuRequested, this, &PlanPane::popupMenu);
    // A tick is the plan's 默认监控 flag: kept in tovi.sdb at once, so a restart (or the command
    // line) watches the same plans.
    connect(m_tree, &PlanTreeWidget::ticksChanged, this,
            [this](const std::vector<std::pair<int, bool>>& ticks) {
                if (Result<> kept = setPlansTicked(m_ctx.db, ticks); !kept)
                    m_ctx.status.appendGbk(gbk("\r\n勾选没能保存到 tovi.sdb：") + kept.error());
                if (m_ctx.tickedChanged) m_ctx.tickedChanged(queue(RunMode::RunTicked));
            });

    m_menu = new QMenu(window);
    m_menu->setObjectName(QStringLiteral("栏目菜单"));
    m_openPage = m_menu->addAction(QStringLiteral("在浏览器中打开"), this, &PlanPane::openSelectedPlanPage);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("新建一个监控方案"), this, [this] { emit optionsRequested(1); });
    m_manage = m_menu->addAction(QStringLiteral("管理方案"), this, [this] { emit optionsRequested(0); });
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("展开列表"), m_tree, &PlanTreeWidget::expandAllCategories);
    m_menu->addAction(QStringLiteral("刷新方案列表"), this, &PlanPane::refresh);
}

void PlanPane::applyLayout(const QRect& area) { m_tree->setGeometry(area); }

void PlanPane::refresh() {
    PlanTree tree = refreshPlanTree(m_ctx.db, m_ctx.settings, m_ctx.planTable, &m_ctx.status.sink());
    m_categoryNames.clear();
    for (const CategoryNode& c : tree.categories) m_categoryNames.push_back(c.name);
    m_tree->rebuild(tree);
    if (m_ctx.tickedChanged) m_ctx.tickedChanged(queue(RunMode::RunTicked));
}

void PlanPane::expandFirstCategory() {
    if (m_tree->topLevelItemCount() > 0) m_tree->topLevelItem(0)->setExpanded(true);
}

std::vector<int> PlanPane::queue(RunMode mode) const { return m_tree->queue(mode); }

void PlanPane::focusTree() { m_tree->setFocus(); }

void PlanPane::showHealth(int planId, const PlanRunOutcome& outcome) {
    if (outcome.kind == PlanRunOutcome::Kind::Stopped || outcome.kind == PlanRunOutcome::Kind::Skipped)
        return;
    PlanHealthRecord health;
    health.outcome = outcomeText(outcome);
    health.failures = outcome.failures;
    health.lastSuccess = outcome.lastSuccess;
    m_tree->showHealth(planId, health);
}

void PlanPane::popupMenu(const QPoint& pos) {
    // The menu acts on the node under the pointer (the right click itself selects nothing, so
    // the article list stays as it is); on empty space, on the selected node.
    const int under = m_tree->nodeAt(pos);
    const bool selected = m_tree->currentItem() && m_tree->currentItem()->isSelected();
    m_menuPlanId = under != 0 ? under
                   : selected ? (m_tree->selectionIsCategory() ? -1 : m_tree->selectedPlanId())
                              : 0;
    m_openPage->setEnabled(m_menuPlanId > 0);
    m_manage->setVisible(m_menuPlanId != 0);
    if (selected) m_tree->setFocus();
    m_menu->popup(m_tree->viewport()->mapToGlobal(pos));
}

void PlanPane::openSelectedPlanPage() {
    const int id = m_menuPlanId;
    if (id < 1) return;
    if (auto row = m_ctx.planTable.row(id)) openLink((*row)[kRuleUrl], m_ctx.status);
}

}  // namespace tovi::gui
