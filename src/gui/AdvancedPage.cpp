#include "gui/AdvancedPage.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include "core/plans/Categories.h"
#include "core/plans/PlanEditing.h"
#include "core/settings/Settings.h"
#include "core/store/Database.h"
#include "core/store/LoggedSql.h"
#include "core/text/TextOps.h"
#include "gui/Dialogs.h"
#include "gui/GuiTables.h"
#include "gui/GuiText.h"
#include "gui/TitleRulesBox.h"

namespace tovi::gui {
namespace {

constexpr int kTabBar = 20;

std::string toCrlf(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return g(t);
}

}  // namespace

AdvancedPage::AdvancedPage(Settings& settings, Database& db, LoggedSql& console, Dialogs& dialogs,
                           const std::vector<std::string>& categoryNames, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_db(db), m_console(console), m_dialogs(dialogs) {
    auto* categories = new QGroupBox(QStringLiteral("方案分类"), this);
    categories->setObjectName(QStringLiteral("栏目分类组"));
    categories->setGeometry(6, 27 - kTabBar, 186, 259);
    auto* l = new QLabel(QStringLiteral("一行代表一个分类"), categories);
    l->setGeometry(9, 19, 168, 16);
    m_categories = new QPlainTextEdit(categories);
    m_categories->setObjectName(QStringLiteral("分类编辑框"));
    m_categories->setGeometry(9, 45, 168, 171);
    for (const std::string& name : categoryNames) m_categories->appendPlainText(q(name));
    m_savedCategories = m_categories->toPlainText();
    auto* saveCats = new QPushButton(QStringLiteral("保存栏目"), categories);
    saveCats->setObjectName(QStringLiteral("保存栏目"));
    saveCats->setGeometry(10, 224, 168, 27);
    connect(saveCats, &QPushButton::clicked, this, &AdvancedPage::saveCategories);

    // For every plan; a plan may carry its own (the editor's "标题规则").
    m_rules = new TitleRulesBox(this);
    m_rules->setGeometry(198, 27 - kTabBar, 500, 126);
    m_rules->setRules(loadTitleRules(m_db, kGlobalRules).value_or(TitleRules{}));
    m_savedRules = m_rules->rules();
    auto* saveRules = new QPushButton(QStringLiteral("保存规则"), m_rules);
    saveRules->setObjectName(QStringLiteral("保存规则"));
    saveRules->setGeometry(404, 80, 82, 26);
    connect(saveRules, &QPushButton::clicked, this, &AdvancedPage::saveTitleRules);

    auto* consoleGroup = new QGroupBox(QStringLiteral("数据库维护"), this);
    consoleGroup->setObjectName(QStringLiteral("数据库框"));
    consoleGroup->setGeometry(198, 161 - kTabBar, 500, 124);
    m_sql = new QPlainTextEdit(QStringLiteral("update info set issoucang=1 where id=671"), consoleGroup);
    m_sql->setObjectName(QStringLiteral("sql框"));
    m_sql->setGeometry(8, 19, 394, 95);
    auto* run = new QPushButton(QStringLiteral("执行SQL命令"), consoleGroup);
    run->setObjectName(QStringLiteral("按钮_执行SQL"));
    run->setGeometry(409, 68, 84, 32);
    connect(run, &QPushButton::clicked, this, &AdvancedPage::runConsoleSql);
    // Beyond the design: the result and a query's rows stay on the page.
    m_sqlResult = new QLabel(this);
    m_sqlResult->setObjectName(QStringLiteral("SQL结果"));
    m_sqlResult->setGeometry(198, 290 - kTabBar, 500, 20);
    m_sqlRows = new QTableWidget(this);
    m_sqlRows->setObjectName(QStringLiteral("SQL结果行"));
    m_sqlRows->setGeometry(198, 312 - kTabBar, 500, 110);
    m_sqlRows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_sqlRows->verticalHeader()->hide();
}

void AdvancedPage::saveCategories() {
    const std::string before = m_settings.read(SettingKey::categories());
    const std::string value = categoriesFromEditorText(toCrlf(m_categories->toPlainText()));
    const std::vector<std::string> after = segmentsBetween(value, "<", ">");
    // Each plan stays in its category by name; a removed category's plans go where the user says.
    const CategoryEdit edit = categoryEdit(m_settings.categories(), after, plansPerCategory(m_db));
    if (!edit.dropped.empty()) {
        if (after.empty()) {
            m_dialogs.show(window(), QStringLiteral("还有方案属于这些分类，至少保留一个分类。"));
            return;
        }
        QString which;
        int plans = 0;
        for (const CategoryEdit::Dropped& d : edit.dropped) {
            which += (which.isEmpty() ? QString() : QStringLiteral("、")) + QStringLiteral("“") + q(d.name) +
                     QStringLiteral("”");
            plans += d.plans;
        }
        if (!m_dialogs.ask(window(),
                           QStringLiteral("分类 %1 中还有 %2 个方案。删除后，这些方案归入分类“%3”。确定吗？")
                               .arg(which)
                               .arg(plans)
                               .arg(q(after.front())),
                           QStringLiteral("删除分类？")))
            return;
    }
    if (!m_settings.write(SettingKey::categories(), value)) {
        m_dialogs.show(window(), QStringLiteral("保存失败，请重试！"));
        return;
    }
    if (Result<> filed = applyCategoryEdit(m_db, edit, 1); !filed) {
        (void)m_settings.write(SettingKey::categories(), before);  // the plans stay where they were
        m_dialogs.show(window(),
                       QStringLiteral("保存失败，请重试！") + QStringLiteral("\n\n") + q(filed.error()));
        return;
    }
    m_savedCategories = m_categories->toPlainText();
    // They take effect at once in the editor and in the main window's tree.
    emit categoriesSaved(m_settings.categories());
    m_dialogs.show(window(), QStringLiteral("分类已保存。"), QStringLiteral("　保存成功！"),
                   QMessageBox::Information);
}

void AdvancedPage::saveTitleRules() {
    if (Result<> saved = tovi::saveTitleRules(m_db, kGlobalRules, m_rules->rules())) {
        m_savedRules = m_rules->rules();
        m_dialogs.show(window(), QStringLiteral("标题规则已保存，下次提取时生效。"),
                       QStringLiteral("　保存成功！"), QMessageBox::Information);
    } else {
        m_dialogs.show(window(),
                       QStringLiteral("保存失败，请重试！") + QStringLiteral("\n\n") + q(saved.error()));
    }
}

bool AdvancedPage::hasUnsavedEdits() const {
    return m_categories->toPlainText() != m_savedCategories || !(m_rules->rules() == m_savedRules);
}

void AdvancedPage::runConsoleSql() {
    SqlResult rows;
    std::string result = m_console.execScript(toCrlf(m_sql->toPlainText()), &rows);
    m_sqlResult->setText(q(result));
    fillTable(m_sqlRows, rows.ok ? rows.columns : std::vector<std::string>{},
              rows.ok ? rows.rows : decltype(rows.rows){});
    m_dialogs.show(window(), q(result), QStringLiteral("SQL执行结果"));
}

}  // namespace tovi::gui
