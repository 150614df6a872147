#include "gui/PlanEditorPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "core/net/Url.h"
#include "core/plans/PlanEditing.h"
#include "core/store/Schema.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"
#include "gui/Clipboard.h"
#include "gui/Dialogs.h"
#include "gui/GuiTables.h"
#include "gui/GuiText.h"
#include "gui/PlanSuggestRunner.h"
#include "gui/PlanTestRunner.h"
#include "gui/TitleRulesDialog.h"

namespace tovi::gui {
namespace {

const QString kChooseCategory = QStringLiteral("请选择分类");
const QString kHintStart = QStringLiteral("提示：规则测试 正确后，才能更改数据项");
// The design's y positions count from the top of the tab control; pages start below its bar.
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

// The hint each control shows in 测试提示 when it gets the focus.
struct Hint {
    const char* control;
    const char* text;
};
const Hint kHints[] = {
    {"编辑框_站名", "方案的标识，示例：天涯论坛_休闲版块"},
    {"gbk", "源站的编码，选错会乱码。勾选表示gbk，否则为utf-8"},
    {"ua框", "自定义浏览器标记，采集手机版页面可能用到！"},
    {"编辑框_网址", "被监控的列表页面地址"},
    {"cookie框", "可为空！用于需要登陆才能查看的网站"},
    {"采集前", "将从源码的该标记开始匹配，如不明白，可保持默认"},
    {"采集后", "采集区域从此处结束，如不明白，可保持默认"},
    {"正则框",
     "重要！匹配文章的正则表达式，<a style='color:red;' "
     "href='https://bbs.tovidesk.example/forum.php?mod=forumdisplay&fid=57'>获取帮助</a>"},
    {"tindex框", "正则匹配得到的 标题的索引编号。下同"},
    {"补全框", "合成实际的文章地址。[1]表示测试结果索引1的内容"},
};

QString hintHtml(const QString& text) {
    return QStringLiteral("<html><body style='font-size:9pt; color:#1E8C3A;'>%1</body></html>").arg(text);
}

QString fromCrlf(const std::string& gbkText) {
    return q(gbkText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QLabel* label(const QString& text, QWidget* parent, int x, int y, int w, int h) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

}  // namespace

PlanEditorPage::PlanEditorPage(Database& db, Dialogs& dialogs, const std::vector<std::string>& categoryNames,
                               QWidget* parent)
    : QWidget(parent),
      m_db(db),
      m_dialogs(dialogs),
      m_runner(new PlanTestRunner({}, this)),
      m_suggester(new PlanSuggestRunner(this)) {
    buildCollectGroup();
    buildDataItems();
    buildResultArea();
    int k = 1;
    for (const std::string& name : categoryNames) m_category->addItem(q(name), k++);
    m_category->setCurrentIndex(-1);
    m_category->setEditText(kChooseCategory);
    connect(m_runner, &PlanTestRunner::finished, this, &PlanEditorPage::showTestResult);
    connect(m_suggester, &PlanSuggestRunner::finished, this, &PlanEditorPage::showSuggestions);
    // The radio buttons start in their design state, so the editor's mode starts there too.
    setJudgeMode(0);
}

PlanEditorPage::~PlanEditorPage() {
    m_runner->cancel();
    m_suggester->cancel();
}

void PlanEditorPage::buildCollectGroup() {
    auto* collect = named(new QGroupBox(QStringLiteral("采集配置"), this), "分组框采集项");
    collect->setGeometry(4, 25 - kTabBar, 700, 145);
    label(QStringLiteral("方案名称"), collect, 8, 13, 56, 24);
    m_name = named(new QLineEdit(collect), "编辑框_站名");
    m_name->setGeometry(64, 16, 116, 20);
    m_category = named(new QComboBox(collect), "组合框1");
    m_category->setEditable(true);
    // Typed text never becomes a category (Enter would otherwise add it as an item).
    m_category->setInsertPolicy(QComboBox::NoInsert);
    m_category->setGeometry(188, 16, 92, 20);
    connect(m_category->lineEdit(), &QLineEdit::textEdited, this, [this] {
        m_category->setEditText(kChooseCategory);
        m_dialogs.show(window(), QStringLiteral("请下拉将方案归类，　高级设置　中可管理分类"), QString(),
                       QMessageBox::Warning);
    });
    m_gbk = named(new QCheckBox(QStringLiteral("gbk编码"), collect), "gbk");
    m_gbk->setGeometry(289, 13, 75, 24);
    m_gbk->setChecked(true);
    label(QStringLiteral("模拟浏览"), collect, 366, 13, 52, 24);
    m_ua = named(new QLineEdit(QString::fromUtf8(kEditorDefaultUserAgent), collect), "ua框");
    m_ua->setGeometry(422, 15, 272, 20);
    m_ua->setCursorPosition(0);
    label(QStringLiteral("监控网址"), collect, 8, 45, 56, 24);
    m_url = named(new QLineEdit(collect), "编辑框_网址");
    m_url->setGeometry(63, 48, 289, 20);
    connect(m_url, &QLineEdit::textEdited, this, &PlanEditorPage::lockSaving);
    label(QStringLiteral("COOKIE"), collect, 362, 62, 56, 24);
    m_cookie = named(new QPlainTextEdit(collect), "cookie框");
    m_cookie->setGeometry(421, 47, 273, 57);
    label(QStringLiteral("采集区域"), collect, 8, 79, 56, 24);
    m_before = named(new QLineEdit(QStringLiteral("<html"), collect), "采集前");
    m_before->setGeometry(64, 81, 135, 20);
    label(QStringLiteral("—"), collect, 203, 81, 12, 24);
    m_after = named(new QLineEdit(QStringLiteral("</html>"), collect), "采集后");
    m_after->setGeometry(217, 81, 135, 20);
    label(QStringLiteral("正则匹配"), collect, 8, 110, 56, 24);
    m_regex = named(new QComboBox(collect), "正则框");
    m_regex->setEditable(true);
    m_regex->setInsertPolicy(QComboBox::NoInsert);
    m_regex->setGeometry(64, 112, 630, 20);
    for (const char* item : kRegexItems) m_regex->addItem(QString::fromUtf8(item));
    m_regex->setCurrentIndex(-1);
    m_regex->setEditText(QString());
    connect(m_regex, &QComboBox::textActivated, this, &PlanEditorPage::lockSaving);
    connect(m_regex->lineEdit(), &QLineEdit::textEdited, this, &PlanEditorPage::lockSaving);
}

void PlanEditorPage::buildDataItems() {
    m_dataItems = named(new QGroupBox(QStringLiteral("数据项"), this), "分组框1");
    m_dataItems->setGeometry(5, 176 - kTabBar, 365, 115);
    m_dataItems->setEnabled(false);
    label(QStringLiteral("判断模式"), m_dataItems, 8, 12, 52, 24);
    struct Mode {
        const char* name;
        const char* caption;
        int value, x, width;
    } modes[] = {{"单选框1", "时间倒序", 0, 64, 76},
                 {"单选框2", "时间正序", 2, 142, 76},
                 {"单选框3", "比较文章ID", 8, 222, 110}};
    for (int i = 0; i < 3; ++i) {
        m_modes[i] = named(new QRadioButton(QString::fromUtf8(modes[i].caption), m_dataItems), modes[i].name);
        m_modes[i]->setGeometry(modes[i].x, 17, modes[i].width, 16);
        m_modes[i]->setAutoExclusive(false);
        const int value = modes[i].value;
        connect(m_modes[i], &QRadioButton::clicked, this, [this, value] { setJudgeMode(value); });
    }
    auto* digits = new QIntValidator(0, 999, this);
    auto indexBox = [&](const char* name, const char* caption, int labelX, int labelW, int boxX) {
        label(QString::fromUtf8(caption), m_dataItems, labelX, 46, labelW, 24);
        auto* box = named(new QLineEdit(m_dataItems), name);
        box->setGeometry(boxX, 49, 36, 20);
        box->setValidator(digits);
        return box;
    };
    m_tindex = indexBox("tindex框", "标题索引", 8, 52, 63);
    m_oindex = indexBox("oindex框", "备用索引", 120, 52, 175);
    m_uindex = indexBox("uindex框", "文章id索引", 232, 68, 303);
    m_uindex->setText(QStringLiteral("1"));
    m_uindex->setEnabled(false);
    label(QStringLiteral("合成网址"), m_dataItems, 8, 82, 52, 24);
    m_template = named(new QLineEdit(QStringLiteral("[]"), m_dataItems), "补全框");
    m_template->setGeometry(64, 84, 274, 20);
}

void PlanEditorPage::buildResultArea() {
    auto* frame = named(new QFrame(this), "外形框1");
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setGeometry(384, 180 - kTabBar, 312, 64);
    label(QStringLiteral("保存到"), frame, 12, 20, 44, 24);
    m_id = named(new QLineEdit(QStringLiteral("0"), frame), "项目编号框");
    m_id->setGeometry(59, 22, 48, 20);
    m_id->setEnabled(false);
    m_save = named(new QPushButton(QStringLiteral("新建规则"), frame), "按钮_保存配置");
    m_save->setGeometry(125, 16, 80, 32);
    m_save->setEnabled(false);
    connect(m_save, &QPushButton::clicked, this, &PlanEditorPage::savePlan);
    m_test = named(new QPushButton(QStringLiteral("规则测试"), frame), "按钮_测试配置");
    m_test->setGeometry(220, 16, 80, 32);
    connect(m_test, &QPushButton::clicked, this, &PlanEditorPage::toggleTest);

    m_hint = named(new QLabel(hintHtml(kHintStart), this), "测试提示");
    m_hint->setGeometry(384, 250 - kTabBar, 214, 36);
    // The plan's own title rules (a saved plan only: they belong to its id).
    m_rulesButton = named(new QPushButton(QStringLiteral("标题规则…"), this), "按钮_标题规则");
    m_rulesButton->setGeometry(604, 273 - kTabBar, 96, 22);
    m_rulesButton->setEnabled(false);
    m_rulesButton->setToolTip(QStringLiteral("为本方案单独设置标题规则（新方案请先保存）"));
    connect(m_rulesButton, &QPushButton::clicked, this, [this] {
        TitleRulesDialog dialog(m_db, m_dialogs, static_cast<int>(TextToInt(g(m_id->text()))), window());
        dialog.exec();
    });
    connect(m_id, &QLineEdit::textChanged, this, [this](const QString& id) {
        m_rulesButton->setEnabled(id != QStringLiteral("0") && !id.isEmpty());
    });
    // Under 规则测试: the plan from the page's own list.
    m_suggestButton = named(new QPushButton(QStringLiteral("自动识别"), this), "按钮_自动识别");
    m_suggestButton->setGeometry(604, 249 - kTabBar, 96, 22);
    m_suggestButton->setToolTip(
        QStringLiteral("从监控网址的页面找出文章列表，填好采集配置和数据项（已在页面上测试）"));
    connect(m_suggestButton, &QPushButton::clicked, this, &PlanEditorPage::toggleSuggest);
    m_hint->setWordWrap(true);
    m_hint->setTextFormat(Qt::RichText);
    m_hint->setOpenExternalLinks(true);
    m_testList = named(new QTableWidget(this), "测试列表框");
    m_testList->setGeometry(7, 297 - kTabBar, 400, 135);
    m_testList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_testList->verticalHeader()->hide();
    m_testText = named(new QPlainTextEdit(QString::fromUtf8(kTestHelp), this), "测试编辑框");
    m_testText->setGeometry(412, 297 - kTabBar, 290, 132);

    for (const Hint& h : kHints)
        if (auto* w = findChild<QWidget*>(QString::fromUtf8(h.control))) w->installEventFilter(this);
    m_regex->lineEdit()->installEventFilter(this);
    m_uindex->installEventFilter(this);
    m_testText->viewport()->installEventFilter(this);
}

void PlanEditorPage::lockSaving() {
    ++m_edits;
    m_save->setEnabled(false);
}

void PlanEditorPage::setJudgeMode(int mode) {
    m_judgeMode = mode;
    m_uindex->setEnabled(mode == 8);
    m_modes[0]->setChecked(mode != 2 && mode != 8);
    m_modes[1]->setChecked(mode == 2);
    m_modes[2]->setChecked(mode == 8);
}

void PlanEditorPage::loadEditor(int mode, const std::vector<std::string>& row) {
    m_suggestions.clear();
    auto cell = [&](int k) { return q(cellOf(row, k)); };
    if (mode == 0 || mode == 1) {
        m_id->setText(cell(kRuleId));
        m_save->setText(QStringLiteral("更新规则"));
    }
    m_gbk->setChecked(cellOf(row, kRuleCode) != "0");
    setJudgeMode(static_cast<int>(TextToInt(cellOf(row, kRuleType))));
    m_name->setText(cell(kRuleName));
    const auto cls = TextToInt(cellOf(row, kRuleClass)) - 1;
    if (cls >= 0 && cls < m_category->count()) {
        m_category->setCurrentIndex(static_cast<int>(cls));
    } else {
        m_category->setCurrentIndex(-1);
        m_category->setEditText(QString());
    }
    m_url->setText(cell(kRuleUrl));
    m_before->setText(cell(kRuleBefore));
    m_after->setText(cell(kRuleAfter));
    m_regex->setEditText(cell(kRuleRegular));
    m_template->setText(cell(kRuleBuquan));
    m_cookie->setPlainText(cell(kRuleCookie));
    m_ua->setText(cell(kRuleUa));
    m_tindex->setText(cell(kRuleTindex));
    m_uindex->setText(cell(kRuleUindex));
    m_oindex->setText(cell(kRuleOindex));
    if (mode == -1 || mode == 1) {
        m_id->setText(QStringLiteral("0"));
        m_save->setText(QStringLiteral("新建规则"));
        m_ua->setText(QString::fromUtf8(kEditorDefaultUserAgent));
        m_uindex->setText(QStringLiteral("1"));
        m_category->setCurrentIndex(-1);
        m_category->setEditText(kChooseCategory);
    }
}

// ---------------------------------------------------------------- test run

void PlanEditorPage::toggleTest() {
    if (m_runner->running())
        cancelTest();
    else
        startTest();
}

void PlanEditorPage::startTest() {
    if (m_runner->running()) return;
    PlanTestInput input{
        g(m_regex->currentText()), g(m_url->text()),           m_gbk->isChecked(), g(m_before->text()),
        g(m_after->text()),        g(m_cookie->toPlainText()), g(m_ua->text())};
    // Refused before anything is fetched: only the message, the result box keeps its text.
    if (auto refused = refusePlanTest(input)) {
        m_dialogs.show(window(), q(refused->message), QString(), QMessageBox::Critical);
        return;
    }
    m_testedEdits = m_edits;
    m_suggestions.clear();
    m_test->setText(QStringLiteral("取消测试"));
    m_testText->setPlainText(QStringLiteral("正在获取网页……"));
    m_runner->start(input);
}

void PlanEditorPage::cancelTest() {
    if (!m_runner->running()) return;
    m_runner->cancel();
    m_test->setText(QStringLiteral("规则测试"));
    m_testText->setPlainText(QStringLiteral("测试已取消。"));
}

void PlanEditorPage::showTestResult(const PlanTestResult& r) {
    using Outcome = PlanTestResult::Outcome;
    m_test->setText(QStringLiteral("规则测试"));
    if (r.cutShown) m_testText->setPlainText(fromCrlf(r.cutText));
    if (r.outcome == Outcome::EmptyCut) {
        if (!r.fetchError.empty())
            m_testText->appendPlainText(QStringLiteral("\n（") + q(r.fetchError) + QStringLiteral("）"));
        return;  // the list keeps what it showed
    }
    fillTable(m_testList, r.columns, r.rows);  // no matches: no columns, no rows
    if (r.outcome != Outcome::Matches) {
        m_dialogs.show(window(), fromCrlf(r.message));
        return;
    }
    // What was tested is no longer what the boxes hold: the result unlocks nothing.
    if (m_edits == m_testedEdits) {
        m_save->setEnabled(true);
        m_dataItems->setEnabled(true);
    }
    m_dialogs.show(window(), q(r.message));
}

// ---------------------------------------------------------------- plans from the page

void PlanEditorPage::toggleSuggest() {
    if (m_suggester->running()) {
        m_suggester->cancel();
        m_suggestButton->setText(QStringLiteral("自动识别"));
        m_testText->setPlainText(QStringLiteral("识别已取消。"));
        return;
    }
    const std::string url = g(m_url->text());
    if (trimSpaces(url).empty() || !webUrlProblem(url).empty() || hasLineBreak(url)) {
        m_dialogs.show(window(), QStringLiteral("请先在 监控网址 中填写列表页的地址（http 或 https）。"),
                       QString(), QMessageBox::Warning);
        return;
    }
    cancelTest();
    m_suggestedEdits = m_edits;
    m_suggestions.clear();
    m_suggestButton->setText(QStringLiteral("取消识别"));
    m_testText->setPlainText(QStringLiteral("正在识别网页上的文章列表……"));
    m_suggester->start(url, g(m_cookie->toPlainText()), g(m_ua->text()));
}

void PlanEditorPage::showSuggestions(const SuggestResult& r) {
    m_suggestButton->setText(QStringLiteral("自动识别"));
    if (r.candidates.empty()) {
        QString text = QStringLiteral("没有识别出文章列表：") + q(r.problem);
        if (!r.fetchError.empty()) text += QStringLiteral("\n（") + q(r.fetchError) + QStringLiteral("）");
        m_testText->setPlainText(text);
        m_dialogs.show(window(), text);
        return;
    }
    m_suggestions = r.candidates;
    fillSuggestion(0);
}

// Lines of the list in 测试编辑框: two heading lines, then two lines for each proposal.
constexpr int kSuggestionHeadLines = 2;

void PlanEditorPage::fillSuggestion(std::size_t index) {
    const PlanSuggestion& s = m_suggestions.at(index);
    const PlanFields& f = s.fields;
    m_gbk->setChecked(f.code != "0");
    if (m_name->text().trimmed().isEmpty()) m_name->setText(q(f.name));
    m_before->setText(q(f.before));
    m_after->setText(q(f.after));
    m_regex->setEditText(q(f.regular));
    m_regex->lineEdit()->setCursorPosition(0);
    m_template->setText(q(f.buquan));
    m_tindex->setText(q(f.tindex));
    m_uindex->setText(q(f.uindex));
    m_oindex->setText(q(f.oindex));
    setJudgeMode(f.type);
    // The plan test found these on the page: the filled plan counts as tested, unless the user
    // changed the URL or the expression while the page was being read.
    fillTable(m_testList, s.tested.columns, s.tested.rows);
    if (m_edits == m_suggestedEdits) {
        m_testedEdits = m_edits;
        m_save->setEnabled(true);
        m_dataItems->setEnabled(true);
    }
    QString text =
        QStringLiteral("自动识别找到 %1 个文章列表（双击一项改用它）：\n").arg(m_suggestions.size());
    for (std::size_t k = 0; k < m_suggestions.size(); ++k) {
        const PlanSuggestion& c = m_suggestions[k];
        QString samples;
        for (const std::string& t : c.sampleTitles)
            samples += (samples.isEmpty() ? "" : QStringLiteral("｜")) + q(t);
        text += QStringLiteral("\n%1 %2. %3，%4 篇%5\n    %6")
                    .arg(k == index ? QStringLiteral("▶") : QStringLiteral("  "))
                    .arg(k + 1)
                    .arg(QString::fromStdString(c.structure))
                    .arg(c.count)
                    .arg(k == index ? QStringLiteral("（已填入）") : QString())
                    .arg(samples);
    }
    m_testText->setPlainText(text);
}

// ---------------------------------------------------------------- save

void PlanEditorPage::savePlan() {
    if (m_uindex->text().isEmpty()) m_uindex->setText(QStringLiteral("0"));
    PlanFields f;
    f.code = m_gbk->isChecked() ? "1" : "0";
    const int chosen = m_category->currentIndex();
    f.classNumber = chosen >= 0 && m_category->currentText() == m_category->itemText(chosen)
                        ? m_category->itemData(chosen).toInt()
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
        m_dialogs.show(window(),
                       QStringLiteral("请检查采集区域设置是否包含单引号！") + q(r.statement) +
                           (r.error.empty() ? QString() : QStringLiteral("\n\n") + q(r.error)),
                       QStringLiteral("失败！"));
        return;
    }
    const bool copied = copyToClipboard(q(r.statement));
    m_testText->setPlainText(
        QStringLiteral("\n　成功，SQL语句已复制备用！　\n\n") + q(r.statement) +
        (copied ? QString() : QStringLiteral("\n\n（剪贴板被其他程序占用，SQL语句未能复制）")));
    loadEditor(-1, {});
    emit planSaved();
    setJudgeMode(0);
}

// ---------------------------------------------------------------- hints and guards

bool PlanEditorPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick && watched == m_testText->viewport() &&
        !m_suggestions.empty()) {
        const int line = m_testText->cursorForPosition(static_cast<QMouseEvent*>(event)->position().toPoint())
                             .blockNumber();
        const int k = (line - kSuggestionHeadLines) / 2;
        if (line >= kSuggestionHeadLines && k < static_cast<int>(m_suggestions.size())) {
            fillSuggestion(static_cast<std::size_t>(k));
            return true;
        }
    }
    // An empty article-id index becomes 0 when the box is left.
    if (event->type() == QEvent::FocusOut && watched == m_uindex && m_uindex->text().isEmpty())
        m_uindex->setText(QStringLiteral("0"));
    if (event->type() == QEvent::FocusIn) {
        QObject* control = watched == m_regex->lineEdit() ? m_regex : watched;
        for (const Hint& h : kHints)
            if (control->objectName() == QString::fromUtf8(h.control))
                m_hint->setText(hintHtml(QString::fromUtf8(h.text)));
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tovi::gui
