#include "gui/PlanTreeWidget.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyle>

#include "gui/Artwork.h"
#include "gui/GuiText.h"

namespace tovi::gui {
namespace {
constexpr int kIdRole = Qt::UserRole + 1;
}

PlanTreeWidget::PlanTreeWidget(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("栏目框"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QTreeWidget::itemChanged, this, &PlanTreeWidget::propagateTick);
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
        int id = selectedPlanId();
        if (id > 0) emit planSelected(id);
    });
}

void PlanTreeWidget::rebuild(const PlanTree& tree) {
    m_building = true;
    clear();
    int c = 0;
    for (const CategoryNode& category : tree.categories) {
        auto* top = new QTreeWidgetItem(this, {q(category.name)});
        top->setData(0, kIdRole, -11 - c++);
        top->setFlags(top->flags() | Qt::ItemIsUserCheckable);
        top->setCheckState(0, Qt::Unchecked);
        for (const PlanNode& plan : category.plans) {
            auto* item = new QTreeWidgetItem(top, {q(plan.text)});
            item->setData(0, kIdRole, plan.id);
            applyHealth(item, plan.health);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, plan.ticked ? Qt::Checked : Qt::Unchecked);
        }
    }
    m_building = false;
}

void PlanTreeWidget::propagateTick(QTreeWidgetItem* item, int column) {
    if (m_building || column != 0) return;
    // Ticking a category ticks its plans; a plan's tick never changes its category's.
    const Qt::CheckState state = item->checkState(0);
    std::vector<std::pair<int, bool>> ticks;
    if (item->parent()) ticks.emplace_back(item->data(0, kIdRole).toInt(), state == Qt::Checked);
    m_building = true;
    for (int i = 0; i < item->childCount(); ++i) {
        item->child(i)->setCheckState(0, state);
        ticks.emplace_back(item->child(i)->data(0, kIdRole).toInt(), state == Qt::Checked);
    }
    m_building = false;
    if (!ticks.empty()) emit ticksChanged(ticks);
}

PlanTree PlanTreeWidget::snapshot() const {
    PlanTree tree;
    for (int c = 0; c < topLevelItemCount(); ++c) {
        QTreeWidgetItem* top = topLevelItem(c);
        CategoryNode& category = tree.categories.emplace_back();
        category.name = g(top->text(0));
        for (int i = 0; i < top->childCount(); ++i) {
            QTreeWidgetItem* item = top->child(i);
            category.plans.push_back({item->data(0, kIdRole).toInt(), g(item->text(0)),
                                      item->checkState(0) == Qt::Checked, std::nullopt});
        }
    }
    return tree;
}

std::vector<int> PlanTreeWidget::queue(RunMode mode) const { return snapshot().queue(mode); }

int PlanTreeWidget::selectedPlanId() const {
    QTreeWidgetItem* item = currentItem();
    if (!item || !item->isSelected() || !item->parent()) return 0;
    return item->data(0, kIdRole).toInt();
}

int PlanTreeWidget::nodeAt(const QPoint& viewportPos) const {
    QTreeWidgetItem* item = itemAt(viewportPos);
    return item ? item->data(0, kIdRole).toInt() : 0;
}

bool PlanTreeWidget::selectionIsCategory() const {
    QTreeWidgetItem* item = currentItem();
    return item && item->isSelected() && !item->parent();
}

void PlanTreeWidget::expandAllCategories() {
    for (int c = 0; c < topLevelItemCount(); ++c) topLevelItem(c)->setExpanded(true);
}

void PlanTreeWidget::applyHealth(QTreeWidgetItem* item, const std::optional<PlanHealthRecord>& health) {
    static const QIcon planIcon = artwork::appIcon();
    const bool broken = health && health->broken();
    item->setIcon(0, broken ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : planIcon);
    if (!health) {
        item->setToolTip(0, QString());
        return;
    }
    QString tip = QStringLiteral("最近一次：") + q(health->outcome);
    if (broken)
        tip = QStringLiteral("已连续 %1 次失败\n").arg(health->failures) + tip +
              QStringLiteral("\n最后成功：") +
              (health->lastSuccess.empty() ? QStringLiteral("从未成功") : q(health->lastSuccess));
    item->setToolTip(0, tip);
}

void PlanTreeWidget::showHealth(int planId, const PlanHealthRecord& health) {
    for (int c = 0; c < topLevelItemCount(); ++c)
        for (int i = 0; i < topLevelItem(c)->childCount(); ++i)
            if (QTreeWidgetItem* item = topLevelItem(c)->child(i); item->data(0, kIdRole).toInt() == planId)
                applyHealth(item, health);
}

void PlanTreeWidget::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) {
        e->accept();
        return;
    }
    QTreeWidget::mousePressEvent(e);
}

}  // namespace tovi::gui
