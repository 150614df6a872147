#include "gui/OptionsWindow.h"

#include <QCloseEvent>
#include <QTabWidget>

#include "core/store/Schema.h"
#include "gui/AdvancedPage.h"
#include "gui/Dialogs.h"
#include "gui/GuiText.h"
#include "gui/KeyboardUse.h"
#include "gui/MainWindow.h"
#include "gui/PlanEditorPage.h"
#include "gui/PlanListPage.h"
#include "gui/PushPage.h"

namespace tovi::gui {

OptionsWindow::OptionsWindow(const OptionsContext& ctx, int page, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("选项"));
    setWindowTitle(QStringLiteral("选项"));
    setModal(true);
    setStyleSheet(QStringLiteral(
        "QDialog { background: #EEF2F6; }"
        "QPlainTextEdit, QLineEdit, QComboBox, QTableWidget { background: white; border: 1px solid #C9D3DE;"
        " border-radius: 2px; }"
        "QLineEdit:disabled { background: #F1F3F5; color: #7A8591; }"
        "QGroupBox { border: 1px solid #C9D3DE; border-radius: 3px; margin-top: 0px; padding-top: 14px; }"
        "QGroupBox::title { subcontrol-origin: border; left: 8px; top: -1px; padding: 0 3px; color: #1F5FA8; "
        "}"
        "QPushButton { background: #2D7DD2; color: white; border: none; border-radius: 3px; padding: 4px; }"
        "QPushButton:hover { background: #3B8BE0; }"
        "QPushButton:disabled { background: #B8C2CC; color: #EEF2F6; }"));
    // Its design size is the smallest; a larger window gives the lists and the test results room.
    setMinimumSize(724, 458);
    resize(724, 458);
    // The window's own connection, checked as the main one is; the page order comes first.
    Result<> opened = openMainDatabase(m_db, ctx.dbPath);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("选择夹"));
    m_tabs->setGeometry(5, 4, 714, 450);
    m_list = new PlanListPage(m_db, ctx.dialogs);
    m_editor = new PlanEditorPage(m_db, ctx.dialogs, ctx.categoryNames);
    m_advanced = new AdvancedPage(ctx.settings, m_db, ctx.console, ctx.dialogs, ctx.categoryNames);
    m_tabs->addTab(m_list, QStringLiteral("方案列表"));
    m_tabs->addTab(m_editor, QStringLiteral("方案操作"));
    m_tabs->addTab(m_advanced, QStringLiteral("高级设置"));
    m_tabs->addTab(new PushPage(m_db, ctx.dialogs), QStringLiteral("推送"));
    m_tabs->setCurrentIndex(qBound(0, page, m_tabs->count() - 1));
    connect(m_list, &PlanListPage::editorRequested, this, &OptionsWindow::openEditor);
    connect(m_editor, &PlanEditorPage::planSaved, m_list, &PlanListPage::fillPlanList);
    connect(m_editor, &PlanEditorPage::planSaved, this, &OptionsWindow::plansChanged);
    connect(m_list, &PlanListPage::plansChanged, this, &OptionsWindow::plansChanged);
    if (ctx.plansChanged) connect(this, &OptionsWindow::plansChanged, this, ctx.plansChanged);
    connect(m_advanced, &AdvancedPage::categoriesSaved, m_editor, &PlanEditorPage::setCategories);
    connect(m_advanced, &AdvancedPage::categoriesSaved, this, &OptionsWindow::plansChanged);
    if (!opened)
        ctx.dialogs.show(this, QStringLiteral("数据库打开失败！") +
                                   (m_db.isOpen() ? QStringLiteral("\n\n") + q(opened.error()) : QString()));
    m_list->fillPlanList();
    letTabMoveOn(this);
    m_dialogs = &ctx.dialogs;
}

void OptionsWindow::reject() {
    // Escape (or the close button) with edits in the editor asks before they are lost.
    if (m_editor->hasUnsavedEdits() &&
        !m_dialogs->ask(this, QStringLiteral("方案操作 中的修改还没有保存，确定放弃这些修改吗？"),
                        QStringLiteral("放弃修改？"))) {
        m_tabs->setCurrentIndex(Editor);
        return;
    }
    if (m_advanced->hasUnsavedEdits() &&
        !m_dialogs->ask(this, QStringLiteral("高级设置 中的分类或标题规则还没有保存，确定放弃这些修改吗？"),
                        QStringLiteral("放弃修改？"))) {
        m_tabs->setCurrentIndex(Advanced);
        return;
    }
    QDialog::reject();
}

OptionsWindow::~OptionsWindow() { m_editor->cancelTest(); }

void OptionsWindow::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    if (m_tabs) m_tabs->setGeometry(5, 4, width() - 10, height() - 8);
}

void OptionsWindow::closeEvent(QCloseEvent* e) {
    m_editor->cancelTest();
    QDialog::closeEvent(e);
}

void OptionsWindow::openEditor(int mode) {
    std::vector<std::string> row;
    if (mode != -1) {
        row = m_list->currentRow();
        if (row.empty()) return;
    }
    m_tabs->setCurrentIndex(Editor);
    m_editor->loadEditor(mode, row);
}

OptionsController::OptionsController(MainWindow& main) : QObject(&main), m_main(main) {
    connect(&m_main, &MainWindow::optionsRequested, this, &OptionsController::open);
}

void OptionsController::open(int page) {
    OptionsWindow window(m_main.optionsContext(), page, &m_main);
    window.exec();
}

}  // namespace tovi::gui
