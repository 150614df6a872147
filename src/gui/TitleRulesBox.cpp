#include "gui/TitleRulesBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "gui/GuiText.h"

namespace tovi::gui {

TitleRulesBox::TitleRulesBox(QWidget* parent) : QGroupBox(QStringLiteral("标题有效性"), parent) {
    setObjectName(QStringLiteral("数据库框1"));
    auto* when = new QLabel(QStringLiteral("当文章标题中"), this);
    when->setObjectName(QStringLiteral("透明标签1"));
    when->setGeometry(12, 22, 84, 22);
    m_includeOn = new QCheckBox(QStringLiteral("包含关键词"), this);
    m_includeOn->setObjectName(QStringLiteral("选择框1"));
    m_includeOn->setGeometry(96, 22, 100, 22);
    m_include = new QLineEdit(this);
    m_include->setObjectName(QStringLiteral("编辑框1"));
    m_include->setGeometry(200, 22, 286, 22);
    m_include->setPlaceholderText(QStringLiteral("至少包含其中一个，用空格或逗号分开，如：招聘,转让"));
    m_excludeOn = new QCheckBox(QStringLiteral("不包含关键词"), this);
    m_excludeOn->setObjectName(QStringLiteral("选择框2"));
    m_excludeOn->setGeometry(96, 50, 104, 22);
    m_exclude = new QLineEdit(this);
    m_exclude->setObjectName(QStringLiteral("编辑框2"));
    m_exclude->setGeometry(200, 50, 286, 22);
    m_exclude->setPlaceholderText(QStringLiteral("含其中任何一个就不要，如：广告"));
    auto* then = new QLabel(QStringLiteral("执行操作"), this);
    then->setGeometry(12, 80, 84, 22);
    m_store = new QRadioButton(QStringLiteral("入库"), this);
    m_store->setObjectName(QStringLiteral("单选入库"));
    m_store->setToolTip(QStringLiteral("只保存符合规则的文章；其余的记作已看过，不再出现"));
    m_store->setGeometry(96, 80, 60, 22);
    m_store->setChecked(true);
    m_alert = new QRadioButton(QStringLiteral("提醒"), this);
    m_alert->setObjectName(QStringLiteral("单选提醒"));
    m_alert->setToolTip(QStringLiteral("所有文章都保存；只有符合规则的文章才提醒"));
    m_alert->setGeometry(160, 80, 60, 22);
}

void TitleRulesBox::setRules(const TitleRules& rules) {
    m_includeOn->setChecked(rules.includeOn);
    m_include->setText(q(rules.include));
    m_excludeOn->setChecked(rules.excludeOn);
    m_exclude->setText(q(rules.exclude));
    (rules.action == TitleRules::Action::Alert ? m_alert : m_store)->setChecked(true);
}

TitleRules TitleRulesBox::rules() const {
    TitleRules r;
    r.includeOn = m_includeOn->isChecked();
    r.include = g(m_include->text());
    r.excludeOn = m_excludeOn->isChecked();
    r.exclude = g(m_exclude->text());
    r.action = m_alert->isChecked() ? TitleRules::Action::Alert : TitleRules::Action::Store;
    return r;
}

}  // namespace tovi::gui
