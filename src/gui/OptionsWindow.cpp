#include "gui/OptionsWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>

#include "core/plans/PlanEditing.h"
#include "core/settings/Settings.h"
#include "core/store/LoggedSql.h"
#include "core/store/Schema.h"
#include "core/text/TextToInt.h"
#include "gui/Dialogs.h"
#include "gui/GuiText.h"
#include "gui/MainWindow.h"

namespace tovi::gui {
namespace {

const QString kChooseCategory = QStringLiteral("请选择分类");
const QString kHintStart = QStringLiteral("提示：规则测试 正确后，才能更改数据项");
// The page y offsets of the design are measured from the top of the tab control; our pages
// start below the tab bar.
constexpr int kTabBar = 20;

const char* const kRegexItems[] = {
    "*　必填，(\\d*)代表数字　(.*?)表示字符串　下面3个是DZ论坛常用规则",
    "<a href=\\\"(.*?)\\\".*?onclick=\\\"atarget\\(this\\)\\\" class=.*?xst\\\">(.*?)</a>",
    "<a href=\"(.*?)\" onclick=\\\"atarget\\(this\\)\\\" class=\\\"xst\\\" >(.*?)</a>",
    "<a href=\"(.*?)\" onclick=\\\"atarget\\(this\\)\\\" class=\\\".*?xst\\\" >(.*?)</a>",
};

const char* const kTestHelp =
    "流程：\n“采集配置”→“规则测试”成功→完善“数据项”→点“新建规则”\n注释：\n"
    "时间倒序：列表页的文章排序是按时间倒序排列；即新文章显示在上面\n时间正序：新发的文章显示在老文章下面\n"
    "比较文章id：列表中的文章网址包含文章id，且新发的文章id比老文章id大。通常网站的id都是自加1。论坛推荐此模"
    "式";

QString hintHtml(const QString& text) {
    return QStringLiteral("<html><body style='font-size:9pt; color:#1E8C3A;'>%1</body></html>").arg(text);
}

// Columns titled by headers and one row of cells per row, each column 80 pixels wide.
void fillTable(QTableWidget* table, const std::vector<std::string>& headers,
               const std::vector<std::vector<std::string>>& rows) {
    table->clear();
    table->setRowCount(0);
    QStringList titles;
    for (const std::string& h : headers) titles << q(h);
    table->setColumnCount(titles.size());
    table->setHorizontalHeaderLabels(titles);
    table->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < static_cast<int>(rows[r].size()) && c < titles.size(); ++c)
            table->setItem(r, c, new QTableWidgetItem(q(rows[r][c])));
    for (int c = 0; c < titles.size(); ++c) table->setColumnWidth(c, 80);
}

QString fromCrlf(const std::string& gbkText) {
    return q(gbkText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
std::string toCrlf(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return g(t);
}

}  // namespace

OptionsWindow::OptionsWindow(MainWindow& main, Dialogs& dialogs, int page)
    : QDialog(&main), m_main(main), m_dialogs(dialogs) {
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
    setFixedSize(724, 458);
    m_tabs = new QTabWidget(this);
    m_tabs->setGeometry(5, 4, 714, 450);
    auto* listPage = new QWidget;
    auto* editorPage = new QWidget;
    auto* advancedPage = new QWidget;
    m_tabs->addTab(listPage, QStringLiteral("方案列表"));
    m_tabs->addTab(editorPage, QStringLiteral("方案操作"));
    m_tabs->addTab(advancedPage, QStringLiteral("高级设置"));
    buildPlanListPage(listPage);
    buildEditorPage(editorPage);
    buildAdvancedPage(advancedPage);

    m_tabs->setCurrentIndex(qBound(0, page, m_tabs->count() - 1));
    int k = 1;
    for (const std::string& name : m_main.categoryNames()) {
        m_category->addItem(q(name), k++);
        m_categories->appendPlainText(q(name));
    }
    m_category->setCurrentIndex(-1);
    m_category->setEditText(kChooseCategory);
    if (!m_db.open(m_main.database().path().empty() ? std::filesystem::path() : m_main.database().path()))
        m_dialogs.show(this, QStringLiteral("数据库打开失败！"));
    fillPlanList();
    // The radio buttons start in their design state, so the editor's mode starts there too.
    setJudgeMode(0);
}

OptionsWindow::~OptionsWindow() { cancelTest(); }

void OptionsWindow::closeEvent(QCloseEvent* e) {
    cancelTest();
    QDialog::closeEvent(e);
}

// ---------------------------------------------------------------- pages

void OptionsWindow::buildPlanListPage(QWidget* page) {
    m_planList = new QTableWidget(page);
    m_planList->setGeometry(0, 20 - kTabBar, 708, 413);
    m_planList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_planList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_planList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_planList->verticalHeader()->hide();
    m_planList->setWordWrap(false);
    m_planList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_planList, &QWidget::customContextMenuRequested, this, &OptionsWindow::showPlanMenu);
    connect(m_planList, &QTableWidget::cellDoubleClicked, this, [this] { loadEditor(0); });

    m_planMenu = new QMenu(this);
    m_planMenu->addAction(QStringLiteral("新建监控方案"), this, [this] { loadEditor(-1); });
    m_planMenu->addSeparator();
    m_editAction = m_planMenu->addAction(QStringLiteral("编辑"), this, [this] { loadEditor(0); });
    m_copyAction = m_planMenu->addAction(QStringLiteral("复制"), this, [this] { loadEditor(1); });
    m_deleteAction = m_planMenu->addAction(QStringLiteral("删除"), this, &OptionsWindow::deleteCurrentPlan);
    m_planMenu->addAction(QStringLiteral("导出被选择的方案（可选多行）"), this,
                          &OptionsWindow::exportSelectedPlans);
    m_planMenu->addSeparator();
    m_defaultAction = m_planMenu->addAction(QStringLiteral("默认监控该方案"), this,
                                            &OptionsWindow::toggleCurrentDefaultFlag);
    m_defaultAction->setCheckable(true);
}

void OptionsWindow::buildEditorPage(QWidget* page) {
    auto label = [](const QString& text, QWidget* parent, int x, int y, int w, int h) {
        auto* l = new QLabel(text, parent);
        l->setGeometry(x, y, w, h);
        return l;
    };
    auto* collect = new QGroupBox(QStringLiteral("采集配置"), page);
    collect->setGeometry(4, 25 - kTabBar, 700, 145);
    label(QStringLiteral("方案名称"), collect, 8, 13, 56, 24);
    m_name = new QLineEdit(collect);
    m_name->setGeometry(64, 16, 116, 20);
    m_category = new QComboBox(collect);
    m_category->setEditable(true);
    m_category->setGeometry(188, 16, 92, 20);
    connect(m_category->lineEdit(), &QLineEdit::textEdited, this, [this] {
        // Categories come only from the list.
        m_category->setEditText(kChooseCategory);
        m_dialogs.show(this, QStringLiteral("请下拉将方案归类，　高级设置　中可管理分类"), QString(),
                       QMessageBox::Warning);
    });
    m_gbk = new QCheckBox(QStringLiteral("gbk编码"), collect);
    m_gbk->setGeometry(289, 13, 75, 24);
    m_gbk->setChecked(true);
    label(QStringLiteral("模拟浏览"), collect, 366, 13, 52, 24);
    m_ua = new QLineEdit(QString::fromUtf8(kEditorDefaultUserAgent), collect);
    m_ua->setGeometry(422, 15, 272, 20);
    m_ua->setCursorPosition(0);
    label(QStringLiteral("监控网址"), collect, 8, 45, 56, 24);
    m_url = new QLineEdit(collect);
    m_url->setGeometry(63, 48, 289, 20);
    connect(m_url, &QLineEdit::textEdited, this, [this] { m_save->setEnabled(false); });
    label(QStringLiteral("COOKIE"), collect, 362, 62, 56, 24);
    m_cookie = new QPlainTextEdit(collect);
    m_cookie->setGeometry(421, 47, 273, 57);
    label(QStringLiteral("采集区域"), collect, 8, 79, 56, 24);
    m_before = new QLineEdit(QStringLiteral("<html"), collect);
    m_before->setGeometry(64, 81, 135, 20);
    label(QStringLiteral("—"), collect, 203, 81, 12, 24);
    m_after = new QLineEdit(QStringLiteral("</html>"), collect);
    m_after->setGeometry(217, 81, 135, 20);
    label(QStringLiteral("正则匹配"), collect, 8, 110, 56, 24);
    m_regex = new QComboBox(collect);
    m_regex->setEditable(true);
    m_regex->setInsertPolicy(QComboBox::NoInsert);
    m_regex->setGeometry(64, 112, 630, 20);
    for (const char* item : kRegexItems) m_regex->addItem(QString::fromUtf8(item));
    m_regex->setCurrentIndex(-1);
    m_regex->setEditText(QString());
    connect(m_regex, &QComboBox::textActivated, this, [this] { m_save->setEnabled(false); });
    connect(m_regex->lineEdit(), &QLineEdit::textEdited, this, [this] { m_save->setEnabled(false); });

    m_dataItems = new QGroupBox(QStringLiteral("数据项"), page);
    m_dataItems->setGeometry(5, 176 - kTabBar, 365, 115);
    m_dataItems->setEnabled(false);
    label(QStringLiteral("判断模式"), m_dataItems, 8, 12, 52, 24);
    const char* modeNames[] = {"时间倒序", "时间正序", "比较文章ID"};
    const int modeValues[] = {0, 2, 8};
    const int modeX[] = {64, 142, 222};
    for (int i = 0; i < 3; ++i) {
        m_modes[i] = new QRadioButton(QString::fromUtf8(modeNames[i]), m_dataItems);
        m_modes[i]->setGeometry(modeX[i], 17, i == 2 ? 110 : 76, 16);
        m_modes[i]->setAutoExclusive(false);
        const int value = modeValues[i];
        connect(m_modes[i], &QRadioButton::clicked, this, [this, value] { setJudgeMode(value); });
    }
    auto* digits = new QIntValidator(0, 999, this);
    label(QStringLiteral("标题索引"), m_dataItems, 8, 46, 52, 24);
    m_tindex = new QLineEdit(m_dataItems);
    m_tindex->setGeometry(63, 49, 36, 20);
    m_tindex->setValidator(digits);
    label(QStringLiteral("备用索引"), m_dataItems, 120, 46, 52, 24);
    m_oindex = new QLineEdit(m_dataItems);
    m_oindex->setGeometry(175, 49, 36, 20);
    m_oindex->setValidator(digits);
    label(QStringLiteral("文章id索引"), m_dataItems, 232, 46, 68, 24);
    m_uindex = new QLineEdit(QStringLiteral("1"), m_dataItems);
    m_uindex->setGeometry(303, 49, 36, 20);
    m_uindex->setValidator(digits);
    m_uindex->setEnabled(false);
    label(QStringLiteral("合成网址"), m_dataItems, 8, 82, 52, 24);
    m_template = new QLineEdit(QStringLiteral("[]"), m_dataItems);
    m_template->setGeometry(64, 84, 274, 20);

    auto* frame = new QFrame(page);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setGeometry(384, 180 - kTabBar, 312, 64);
    label(QStringLiteral("保存到"), frame, 12, 20, 44, 24);
    m_id = new QLineEdit(QStringLiteral("0"), frame);
    m_id->setGeometry(59, 22, 48, 20);
    m_id->setEnabled(false);
    m_save = new QPushButton(QStringLiteral("新建规则"), frame);
    m_save->setGeometry(125, 16, 80, 32);
    m_save->setEnabled(false);
    connect(m_save, &QPushButton::clicked, this, &OptionsWindow::savePlan);
    m_test = new QPushButton(QStringLiteral("规则测试"), frame);
    m_test->setGeometry(220, 16, 80, 32);
    connect(m_test, &QPushButton::clicked, this, [this] { testRunning() ? cancelTest() : startTest(); });

    m_hint = new QLabel(hintHtml(kHintStart), page);
    m_hint->setGeometry(384, 250 - kTabBar, 320, 36);
    m_hint->setWordWrap(true);
    m_hint->setTextFormat(Qt::RichText);
    m_hint->setOpenExternalLinks(true);

    m_testList = new QTableWidget(page);
    m_testList->setGeometry(7, 297 - kTabBar, 400, 135);
    m_testList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_testList->verticalHeader()->hide();
    m_testText = new QPlainTextEdit(QString::fromUtf8(kTestHelp), page);
    m_testText->setGeometry(412, 297 - kTabBar, 290, 132);

    for (QWidget* w :
         std::initializer_list<QWidget*>{m_name, m_gbk, m_ua, m_url, m_cookie, m_before, m_after, m_regex,
                                         m_regex->lineEdit(), m_tindex, m_template, m_uindex})
        w->installEventFilter(this);
}

void OptionsWindow::buildAdvancedPage(QWidget* page) {
    auto* categories = new QGroupBox(QStringLiteral("方案分类"), page);
    categories->setGeometry(6, 27 - kTabBar, 186, 259);
    auto* l = new QLabel(QStringLiteral("一行代表一个分类"), categories);
    l->setGeometry(9, 19, 168, 16);
    m_categories = new QPlainTextEdit(categories);
    m_categories->setGeometry(9, 45, 168, 171);
    auto* saveCats = new QPushButton(QStringLiteral("保存栏目"), categories);
    saveCats->setGeometry(10, 224, 168, 27);
    connect(saveCats, &QPushButton::clicked, this, &OptionsWindow::saveCategories);

    auto* inert = new QGroupBox(QStringLiteral("标题有效性（开发中）"), page);
    inert->setGeometry(198, 27 - kTabBar, 500, 126);
    inert->setEnabled(false);
    auto* inertText =
        new QLabel(QStringLiteral("当文章标题中 包含关键词 / 不包含关键词 … 执行操作：入库 / 提醒"), inert);
    inertText->setGeometry(12, 24, 470, 24);

    auto* console = new QGroupBox(QStringLiteral("数据库维护"), page);
    console->setGeometry(198, 161 - kTabBar, 500, 124);
    m_sql = new QPlainTextEdit(QStringLiteral("update info set issoucang=1 where id=671"), console);
    m_sql->setGeometry(8, 19, 394, 95);
    auto* run = new QPushButton(QStringLiteral("执行SQL命令"), console);
    run->setGeometry(409, 68, 84, 32);
    connect(run, &QPushButton::clicked, this, &OptionsWindow::runConsoleSql);
    m_sqlResult = new QLabel(page);
    m_sqlResult->setGeometry(198, 290 - kTabBar, 500, 20);
    m_sqlRows = new QTableWidget(page);
    m_sqlRows->setGeometry(198, 312 - kTabBar, 500, 110);
    m_sqlRows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_sqlRows->verticalHeader()->hide();
}

// ---------------------------------------------------------------- plan list

void OptionsWindow::fillPlanList() {
    SqlResult r = m_db.run("select * from rule");
    m_rows = r.rows;
    fillTable(m_planList, planListHeaders(r.columns), r.rows);
    for (int row = 0; row < static_cast<int>(r.rows.size()); ++row) {
        const bool ticked = r.rows[row].size() > kRuleIsdo && r.rows[row][kRuleIsdo] == "1";
        if (QTableWidgetItem* first = m_planList->item(row, 0))
            first->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
}

std::vector<std::string> OptionsWindow::currentRow() const {
    // With several rows selected, edit, delete and the flag act on the current row only.
    int row = m_planList->currentRow();
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || !m_planList->item(row, 0) ||
        !m_planList->item(row, 0)->isSelected())
        return {};
    return m_rows[row];
}

void OptionsWindow::showPlanMenu(const QPoint& pos) {
    auto row = currentRow();
    const bool selected = !row.empty();
    m_editAction->setEnabled(selected);
    m_copyAction->setEnabled(selected);
    m_deleteAction->setEnabled(selected);
    m_defaultAction->setEnabled(selected);
    m_defaultAction->setChecked(selected && row.size() > kRuleIsdo && row[kRuleIsdo] == "1");
    m_planMenu->popup(m_planList->viewport()->mapToGlobal(pos));
}

// ---------------------------------------------------------------- editor

void OptionsWindow::setJudgeMode(int mode) {
    m_judgeMode = mode;
    m_uindex->setEnabled(mode == 8);
    m_modes[0]->setChecked(mode != 2 && mode != 8);
    m_modes[1]->setChecked(mode == 2);
    m_modes[2]->setChecked(mode == 8);
}

void OptionsWindow::loadEditor(int mode) {
    m_tabs->setCurrentIndex(EditorPage);
    std::vector<std::string> row;
    if (mode != -1) {
        row = currentRow();
        if (row.empty()) return;
    }
    auto cell = [&](int k) { return cellOf(row, k); };
    if (mode == 0 || mode == 1) {
        m_id->setText(q(cell(kRuleId)));
        m_save->setText(QStringLiteral("更新规则"));
    }
    m_gbk->setChecked(cell(kRuleCode) != "0");
    setJudgeMode(static_cast<int>(TextToInt(cell(kRuleType))));
    m_name->setText(q(cell(kRuleName)));
    const auto cls = TextToInt(cell(kRuleClass)) - 1;
    if (cls >= 0 && cls < m_category->count())
        m_category->setCurrentIndex(static_cast<int>(cls));
    else {
        m_category->setCurrentIndex(-1);
        m_category->setEditText(QString());
    }
    m_url->setText(q(cell(kRuleUrl)));
    m_before->setText(q(cell(kRuleBefore)));
    m_after->setText(q(cell(kRuleAfter)));
    m_regex->setEditText(q(cell(kRuleRegular)));
    m_template->setText(q(cell(kRuleBuquan)));
    m_cookie->setPlainText(q(cell(kRuleCookie)));
    m_ua->setText(q(cell(kRuleUa)));
    m_tindex->setText(q(cell(kRuleTindex)));
    m_uindex->setText(q(cell(kRuleUindex)));
    m_oindex->setText(q(cell(kRuleOindex)));
    if (mode == -1 || mode == 1) {
        m_id->setText(QStringLiteral("0"));
        m_save->setText(QStringLiteral("新建规则"));
        m_ua->setText(QString::fromUtf8(kEditorDefaultUserAgent));
        m_uindex->setText(QStringLiteral("1"));
        m_category->setCurrentIndex(-1);
        m_category->setEditText(kChooseCategory);
    }
}

void OptionsWindow::savePlan() {
    if (m_uindex->text().isEmpty()) m_uindex->setText(QStringLiteral("0"));
    PlanFields f;
    f.code = m_gbk->isChecked() ? "1" : "0";
    f.classNumber = m_category->currentIndex() >= 0 &&
                            m_category->currentText() == m_category->itemText(m_category->currentIndex())
                        ? m_category->currentData().toInt()
                        : 1;
    f.url = g(m_url->text());
    f.before = g(m_before->text());
    f.after = g(m_after->text());
    f.regular = g(m_regex->currentText());
    f.buquan = g(m_template->text());
    f.cookie = g(m_cookie->toPlainText());
    f.tindex = g(m_tindex->text());
    f.uindex = g(m_uindex->text());
    f.oindex = g(m_oindex->text());
    f.ua = g(m_ua->text());
    f.name = g(m_name->text());
    f.type = m_judgeMode;
    PlanSaveResult r = tovi::savePlan(m_db, f, TextToInt(g(m_id->text())));
    if (!r.ok) {
        // Nothing typed is lost: the editor keeps its content.
        m_dialogs.show(this,
                       QStringLiteral("请检查采集区域设置是否包含单引号！") + q(r.statement) +
                           (r.error.empty() ? QString() : QStringLiteral("\n\n") + q(r.error)),
                       QStringLiteral("失败！"));
        return;
    }
    bool copied = false;
    setClipboard(q(r.statement), &copied);
    m_testText->setPlainText(
        QStringLiteral("\n　成功，SQL语句已复制备用！　\n\n") + q(r.statement) +
        (copied ? QString() : QStringLiteral("\n\n（剪贴板被其他程序占用，SQL语句未能复制）")));
    loadEditor(-1);
    fillPlanList();
    setJudgeMode(0);
}

void OptionsWindow::deleteCurrentPlan() {
    auto row = currentRow();
    if (row.empty()) return;
    SqlResult r = deletePlan(m_db, TextToInt(row[kRuleId]));
    if (!r.ok) m_dialogs.show(this, QStringLiteral("删除失败：") + q(r.error));
    fillPlanList();
}

void OptionsWindow::toggleCurrentDefaultFlag() {
    auto row = currentRow();
    if (row.empty()) return;
    SqlResult r =
        toggleDefaultFlag(m_db, TextToInt(row[kRuleId]), row.size() > kRuleIsdo ? row[kRuleIsdo] : "");
    if (!r.ok) m_dialogs.show(this, QStringLiteral("修改默认监控失败：") + q(r.error));
    fillPlanList();
}

void OptionsWindow::exportSelectedPlans() {
    std::vector<std::vector<std::string>> rows;
    for (int row = 0; row < static_cast<int>(m_rows.size()); ++row)
        if (m_planList->item(row, 0) && m_planList->item(row, 0)->isSelected()) rows.push_back(m_rows[row]);
    bool copied = false;
    setClipboard(fromCrlf(exportPlansSql(rows)), &copied);
    if (!copied) {
        m_dialogs.show(this, QStringLiteral("剪贴板被其他程序占用，复制失败，请稍后再试！"));
        return;
    }
    m_dialogs.show(
        this, QStringLiteral("请粘贴QQ对话框中即可看到内容。\n\n高级设置中，执行SQL语句，可快速新建本方案！"),
        QStringLiteral("已复制所选方案的SQL语句！"));
}

void OptionsWindow::setClipboard(const QString& text, bool* ok) {
    // Another program may hold the clipboard for a moment: try a few times.
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (int attempt = 0; attempt < 5; ++attempt) {
        clipboard->setText(text);
        if (clipboard->text() == text) {
            *ok = true;
            return;
        }
        QThread::msleep(100);
        QApplication::processEvents();
    }
    *ok = false;
}

// ---------------------------------------------------------------- test run

void OptionsWindow::startTest() {
    if (testRunning()) return;
    PlanTestInput input{
        g(m_regex->currentText()), g(m_url->text()),           m_gbk->isChecked(), g(m_before->text()),
        g(m_after->text()),        g(m_cookie->toPlainText()), g(m_ua->text())};
    m_testCancel = std::make_shared<std::atomic<bool>>(false);
    m_test->setText(QStringLiteral("取消测试"));
    m_testText->setPlainText(QStringLiteral("正在获取网页……"));
    QPointer<OptionsWindow> self(this);
    auto cancel = m_testCancel;
    // The fetch runs off the GUI thread so the window stays painted and can cancel it.
    m_testThread = std::make_unique<std::thread>([self, input, cancel] {
        PlanTestResult result = runPlanTest(input, [cancel] { return cancel->load(); });
        QMetaObject::invokeMethod(
            qApp,
            [self, result, cancel] {
                if (!self || cancel->load()) return;
                self->m_testThread->join();
                self->m_testThread.reset();
                self->m_test->setText(QStringLiteral("规则测试"));
                self->showTestResult(result);
            },
            Qt::QueuedConnection);
    });
}

void OptionsWindow::cancelTest() {
    if (!m_testThread) return;
    m_testCancel->store(true);
    m_testThread->join();  // the fetch stops within 100 ms of the request
    m_testThread.reset();
    m_test->setText(QStringLiteral("规则测试"));
    m_testText->setPlainText(QStringLiteral("测试已取消。"));
}

void OptionsWindow::showTestResult(const PlanTestResult& r) {
    using Outcome = PlanTestResult::Outcome;
    if (r.cutShown) m_testText->setPlainText(fromCrlf(r.cutText));
    if (r.outcome == Outcome::EmptyExpression || r.outcome == Outcome::BlockedSite) {
        m_testText->setPlainText(QString::fromUtf8(kTestHelp));
        m_dialogs.show(this, q(r.message), QString(), QMessageBox::Critical);
        return;
    }
    if (r.outcome == Outcome::EmptyCut) {
        if (!r.fetchError.empty())
            m_testText->appendPlainText(QStringLiteral("\n（") + q(r.fetchError) + QStringLiteral("）"));
        return;  // the list keeps what it showed
    }
    fillTable(m_testList, r.columns, r.rows);  // no matches: no columns, no rows
    if (r.outcome == Outcome::NoMatches) {
        m_dialogs.show(this, fromCrlf(r.message));
        return;
    }
    m_save->setEnabled(true);
    m_dataItems->setEnabled(true);
    m_dialogs.show(this, q(r.message));
}

// ---------------------------------------------------------------- advanced page

void OptionsWindow::saveCategories() {
    const std::string value = categoriesFromEditorText(toCrlf(m_categories->toPlainText()));
    if (m_main.settings().write(SettingKey::categories(), value))
        m_dialogs.show(this, QStringLiteral("本设置将在软件下次启动时生效！"), QStringLiteral("　保存成功！"),
                       QMessageBox::Information);
    else
        m_dialogs.show(this, QStringLiteral("保存失败，请重试！"));
}

void OptionsWindow::runConsoleSql() {
    SqlResult rows;
    std::string result = m_main.monitoring()->sql().execScript(toCrlf(m_sql->toPlainText()), &rows);
    m_sqlResult->setText(q(result));
    fillTable(m_sqlRows, rows.ok ? rows.columns : std::vector<std::string>{},
              rows.ok ? rows.rows : decltype(rows.rows){});
    m_dialogs.show(this, q(result), QStringLiteral("SQL执行结果"));
}

// ---------------------------------------------------------------- hints and guards

bool OptionsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && watched == m_uindex && m_uindex->text().isEmpty())
        m_uindex->setText(QStringLiteral("0"));
    if (event->type() != QEvent::FocusIn) return QDialog::eventFilter(watched, event);
    QString hint;
    if (watched == m_name)
        hint = QStringLiteral("方案的标识，示例：天涯论坛_休闲版块");
    else if (watched == m_gbk)
        hint = QStringLiteral("源站的编码，选错会乱码。勾选表示gbk，否则为utf-8");
    else if (watched == m_ua)
        hint = QStringLiteral("自定义浏览器标记，采集手机版页面可能用到！");
    else if (watched == m_url)
        hint = QStringLiteral("被监控的列表页面地址");
    else if (watched == m_cookie)
        hint = QStringLiteral("可为空！用于需要登陆才能查看的网站");
    else if (watched == m_before)
        hint = QStringLiteral("将从源码的该标记开始匹配，如不明白，可保持默认");
    else if (watched == m_after)
        hint = QStringLiteral("采集区域从此处结束，如不明白，可保持默认");
    else if (watched == m_regex || watched == m_regex->lineEdit())
        hint = QStringLiteral(
            "重要！匹配文章的正则表达式，<a style='color:red;' "
            "href='https://bbs.tovidesk.example/forum.php?mod=forumdisplay&fid=57'>获取帮助</a>");
    else if (watched == m_tindex)
        hint = QStringLiteral("正则匹配得到的 标题的索引编号。下同");
    else if (watched == m_template)
        hint = QStringLiteral("合成实际的文章地址。[1]表示测试结果索引1的内容");
    if (!hint.isEmpty()) m_hint->setText(hintHtml(hint));
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- opener

OptionsController::OptionsController(MainWindow& main, Dialogs& dialogs) : m_main(main), m_dialogs(dialogs) {
    connect(&m_main, &MainWindow::optionsRequested, this, &OptionsController::open);
}

void OptionsController::open(int page) {
    OptionsWindow window(m_main, m_dialogs, page);
    window.exec();
}

}  // namespace tovi::gui
