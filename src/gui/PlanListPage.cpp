#include "gui/PlanListPage.h"

#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>

#include "core/plans/PlanEditing.h"
#include "core/plans/PlanExport.h"
#include "core/plans/PlanOptions.h"
#include "core/plans/PlanRows.h"
#include "core/store/Schema.h"
#include "core/text/TextToInt.h"
#include "gui/Clipboard.h"
#include "gui/Dialogs.h"
#include "gui/GuiTables.h"
#include "gui/GuiText.h"

namespace tovi::gui {

PlanListPage::PlanListPage(Database& db, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_db(db), m_dialogs(dialogs) {
    m_list = new QTableWidget(this);
    m_list->setObjectName(QStringLiteral("项目列表框"));
    m_list->setGeometry(0, 0, 708, 413);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->verticalHeader()->hide();
    m_list->setWordWrap(false);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &PlanListPage::popupMenu);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this] {
        showUndo(0);
        emit editorRequested(0);
    });
    // A delete takes effect at once, without asking; it can be taken back until the next action.
    m_undo = new QPushButton(this);
    m_undo->setObjectName(QStringLiteral("撤销删除"));
    m_undo->setGeometry(0, 389, 708, 24);
    m_undo->hide();
    connect(m_undo, &QPushButton::clicked, this, &PlanListPage::undoDelete);

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("方案菜单"));
    m_menu->addAction(QStringLiteral("新建监控方案"), this, [this] { emit editorRequested(-1); });
    m_menu->addSeparator();
    m_edit = m_menu->addAction(QStringLiteral("编辑"), this, [this] { emit editorRequested(0); });
    m_copy = m_menu->addAction(QStringLiteral("复制"), this, [this] { emit editorRequested(1); });
    m_delete = m_menu->addAction(QStringLiteral("删除"), this, &PlanListPage::deleteCurrentPlan);
    m_menu->addAction(QStringLiteral("导出被选择的方案（可选多行）"), this,
                      &PlanListPage::exportSelectedPlans);
    m_menu->addSeparator();
    m_defaultFlag =
        m_menu->addAction(QStringLiteral("默认监控该方案"), this, &PlanListPage::toggleCurrentDefaultFlag);
    m_defaultFlag->setCheckable(true);
}

void PlanListPage::fillPlanList() {
    SqlResult r = readPlans(m_db);
    m_rows = r.rows;
    fillTable(m_list, planListHeaders(r.columns), r.rows);
    for (int row = 0; row < static_cast<int>(r.rows.size()); ++row)
        if (QTableWidgetItem* first = m_list->item(row, 0))
            first->setCheckState(cellOf(r.rows[row], kRuleIsdo) == "1" ? Qt::Checked : Qt::Unchecked);
}

std::vector<std::string> PlanListPage::currentRow() const {
    int row = m_list->currentRow();
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || !m_list->item(row, 0) ||
        !m_list->item(row, 0)->isSelected())
        return {};
    return m_rows[row];
}

void PlanListPage::showUndo(std::int64_t planId) {
    m_deletedId = planId;
    m_undo->setText(QStringLiteral("已删除方案 %1，撤销").arg(planId));
    m_undo->setVisible(planId != 0);
    placeList();
}

void PlanListPage::placeList() {
    // The list fills the page (a larger window shows more plans), above the undo bar when it shows.
    const int w = std::max(width(), 708), h = std::max(height(), 413);
    m_undo->setGeometry(0, h - 24, w, 24);
    m_list->setGeometry(0, 0, w, m_undo->isHidden() ? h : h - 27);
}

void PlanListPage::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    placeList();
}

void PlanListPage::undoDelete() {
    const std::int64_t id = m_deletedId;
    showUndo(0);
    if (Result<> back = undoPlanDelete(m_db, id); !back)
        m_dialogs.show(window(), QStringLiteral("撤销失败：") + q(back.error()));
    fillPlanList();
    emit plansChanged();
}

void PlanListPage::popupMenu(const QPoint& pos) {
    showUndo(0);
    auto row = currentRow();
    const bool selected = !row.empty();
    m_edit->setEnabled(selected);
    m_copy->setEnabled(selected);
    m_delete->setEnabled(selected);
    m_defaultFlag->setEnabled(selected);
    m_defaultFlag->setChecked(selected && cellOf(row, kRuleIsdo) == "1");
    m_menu->popup(m_list->viewport()->mapToGlobal(pos));
}

void PlanListPage::deleteCurrentPlan() {
    auto row = currentRow();
    if (row.empty()) return;
    const std::int64_t id = textToInt(cellOf(row, kRuleId));
    SqlResult r = deletePlanUndoably(m_db, id);
    if (!r.ok) m_dialogs.show(window(), QStringLiteral("删除失败：") + q(r.error));
    fillPlanList();
    if (r.ok) showUndo(id);
    emit plansChanged();
}

void PlanListPage::toggleCurrentDefaultFlag() {
    auto row = currentRow();
    if (row.empty()) return;
    SqlResult r = toggleDefaultFlag(m_db, textToInt(cellOf(row, kRuleId)), cellOf(row, kRuleIsdo));
    if (!r.ok) m_dialogs.show(window(), QStringLiteral("修改默认监控失败：") + q(r.error));
    fillPlanList();
    emit plansChanged();
}

void PlanListPage::exportSelectedPlans() {
    std::vector<std::vector<std::string>> rows;
    for (int row = 0; row < static_cast<int>(m_rows.size()); ++row)
        if (m_list->item(row, 0) && m_list->item(row, 0)->isSelected()) rows.push_back(m_rows[row]);
    QString text = q(exportPlansSql(rows, false, planSwitches(m_db, rows)))
                       .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!copyToClipboard(text)) {
        m_dialogs.show(window(), QStringLiteral("剪贴板被其他程序占用，复制失败，请稍后再试！"));
        return;
    }
    m_dialogs.show(
        window(),
        QStringLiteral("请粘贴QQ对话框中即可看到内容。\n\n高级设置中，执行SQL语句，可快速新建本方案！"),
        QStringLiteral("已复制所选方案的SQL语句！"));
}

}  // namespace tovi::gui
