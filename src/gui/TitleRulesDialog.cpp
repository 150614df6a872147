#include "gui/TitleRulesDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/plans/TitleRules.h"
#include "core/store/Database.h"
#include "gui/Dialogs.h"
#include "gui/GuiText.h"
#include "gui/TitleRulesBox.h"

namespace tovi::gui {

TitleRulesDialog::TitleRulesDialog(Database& db, Dialogs& dialogs, int planId, QWidget* parent)
    : QDialog(parent), m_db(db), m_dialogs(dialogs), m_planId(planId) {
    setObjectName(QStringLiteral("标题规则"));
    setWindowTitle(QStringLiteral("方案 %1 的标题规则").arg(planId));
    setFixedSize(524, 210);
    m_useGlobal = new QCheckBox(QStringLiteral("用全部方案的标题规则（高级设置中）"), this);
    m_useGlobal->setObjectName(QStringLiteral("使用全局规则"));
    m_useGlobal->setGeometry(12, 10, 400, 22);
    m_rules = new TitleRulesBox(this);
    m_rules->setGeometry(12, 38, 500, 118);
    auto own = loadTitleRules(db, planId);
    m_useGlobal->setChecked(!own);
    m_rules->setRules(own ? *own : loadTitleRules(db, kGlobalRules).value_or(TitleRules{}));
    m_rules->setEnabled(own.has_value());
    connect(m_useGlobal, &QCheckBox::toggled, m_rules, [this](bool global) { m_rules->setEnabled(!global); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setGeometry(12, 166, 500, 32);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("保存"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TitleRulesDialog::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TitleRulesDialog::save() {
    const Result<> saved = m_useGlobal->isChecked() ? clearTitleRules(m_db, m_planId)
                                                    : saveTitleRules(m_db, m_planId, m_rules->rules());
    if (!saved) {
        m_dialogs.show(this,
                       QStringLiteral("保存失败，请重试！") + QStringLiteral("\n\n") + q(saved.error()));
        return;
    }
    accept();
}

}  // namespace tovi::gui
