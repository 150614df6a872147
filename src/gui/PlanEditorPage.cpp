#include "gui/PlanEditorPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "core/net/Url.h"
#include "core/plans/PlanEditing.h"
#include "core/plans/PlanOptions.h"
#include "core/store/Schema.h"
#include "core/text/Entities.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"
#include "gui/Clipboard.h"
#include "gui/Dialogs.h"
#include "gui/GuiTables.h"
#include "gui/GuiText.h"
#include "gui/KeyboardUse.h"
#include "gui/PlanEditorControls.h"
#include "gui/PlanEditorTexts.h"
#include "gui/TitleRulesDialog.h"

namespace tovi::gui {
namespace {

const QString kChooseCategory = QStringLiteral("请选择分类");
const QString kHintStart = QStringLiteral("提示：规则测试 正确后，才能更改数据项");
QString fromCrlf(const std::string& gbkText) {
    return q(gbkText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// The judging mode of each radio button, in their order.
constexpr int kModeValues[3] = {0, 2, 8};

}  // namespace

PlanEditorPage::PlanEditorPage(Database& db, Dialogs& dialogs, const std::vector<std::string>& categoryNames,
                               QWidget* parent)
    : QWidget(parent),
      m_db(db),
      m_dialogs(dialogs),
      // A test or a search that broke says why in the window; the program goes on.
      m_runner(std::make_unique<BackgroundCall<PlanTestResult>>(
          this, [this](const PlanTestResult& r) { showTestResult(r); },
          [this](const QString& error) {
              m_ui.test->setText(QStringLiteral("规则测试"));
              m_ui.testText->setPlainText(QStringLiteral("规则测试出错：") + error);
              m_dialogs.show(window(), QStringLiteral("规则测试出错：") + error, QString(),
                             QMessageBox::Critical);
          })),
      m_suggester(std::make_unique<BackgroundCall<SuggestResult>>(
          this, [this](const SuggestResult& r) { showSuggestions(r); },
          [this](const QString& error) {
              m_ui.suggestButton->setText(QStringLiteral("自动识别"));
              m_ui.testText->setPlainText(QStringLiteral("自动识别出错：") + error);
              m_dialogs.show(window(), QStringLiteral("自动识别出错：") + error, QString(),
                             QMessageBox::Critical);
          })) {
    m_ui = buildPlanEditorControls(this, kHintStart);
    connectControls();
    // From the keyboard: the plan's page first, then what is cut from it and how, then the test.
    orderTabs(
        this,
        // As they stand on the page: row by row, left to right.
        {QStringLiteral("编辑框_站名"),   QStringLiteral("组合框1"),       QStringLiteral("gbk"),
         QStringLiteral("ua框"),          QStringLiteral("编辑框_网址"),   QStringLiteral("渲染页面"),
         QStringLiteral("cookie框"),      QStringLiteral("采集前"),        QStringLiteral("采集后"),
         QStringLiteral("自签证书"),      QStringLiteral("正则框"),        QStringLiteral("单选框1"),
         QStringLiteral("单选框2"),       QStringLiteral("单选框3"),       QStringLiteral("tindex框"),
         QStringLiteral("oindex框"),      QStringLiteral("uindex框"),      QStringLiteral("补全框"),
         QStringLiteral("浏览器链接"),    QStringLiteral("项目编号框"),    QStringLiteral("按钮_保存配置"),
         QStringLiteral("按钮_测试配置"), QStringLiteral("按钮_自动识别"), QStringLiteral("按钮_标题规则"),
         QStringLiteral("测试列表框"),    QStringLiteral("测试编辑框")});
    setCategories(categoryNames);
    // The radio buttons start in their design state, so the editor's mode starts there too.
    setJudgeMode(0);
    m_loaded = contentSnapshot();
}

PlanEditorPage::~PlanEditorPage() {
    m_runner->cancel();
    m_suggester->cancel();
}

void PlanEditorPage::connectControls() {
    connect(m_ui.category->lineEdit(), &QLineEdit::textEdited, this, [this] {
        m_ui.category->setEditText(kChooseCategory);
        m_dialogs.show(window(), QStringLiteral("请下拉将方案归类，　高级设置　中可管理分类"), QString(),
                       QMessageBox::Warning);
    });
    connect(m_ui.url, &QLineEdit::textEdited, this, &PlanEditorPage::lockSaving);
    connect(m_ui.regex, &QComboBox::textActivated, this, &PlanEditorPage::lockSaving);
    connect(m_ui.regex->lineEdit(), &QLineEdit::textEdited, this, &PlanEditorPage::lockSaving);
    for (int i = 0; i < 3; ++i) {
        const int value = kModeValues[i];
        connect(m_ui.modes[i], &QRadioButton::clicked, this, [this, value] { setJudgeMode(value); });
    }
    connect(m_ui.save, &QPushButton::clicked, this, &PlanEditorPage::savePlan);
    connect(m_ui.test, &QPushButton::clicked, this, &PlanEditorPage::toggleTest);
    connect(m_ui.suggestButton, &QPushButton::clicked, this, &PlanEditorPage::toggleSuggest);
    connect(m_ui.rulesButton, &QPushButton::clicked, this, [this] {
        TitleRulesDialog dialog(m_db, m_dialogs, static_cast<int>(textToInt(g(m_ui.id->text()))), window());
        dialog.exec();
    });
    // The plan's own title rules belong to its id: a saved plan only.
    connect(m_ui.id, &QLineEdit::textChanged, this, [this](const QString& id) {
        m_ui.rulesButton->setEnabled(id != QStringLiteral("0") && !id.isEmpty());
    });
    for (const EditorHint& h : kEditorHints)
        if (auto* w = findChild<QWidget*>(QString::fromUtf8(h.control))) w->installEventFilter(this);
    m_ui.regex->lineEdit()->installEventFilter(this);
    m_ui.uindex->installEventFilter(this);
    m_ui.testText->viewport()->installEventFilter(this);
}

void PlanEditorPage::setCategories(const std::vector<std::string>& names) {
    const int chosen = m_ui.category->currentIndex();
    m_ui.category->clear();
    int k = 1;
    for (const std::string& name : names) m_ui.category->addItem(q(name), k++);
    m_ui.category->setCurrentIndex(chosen < m_ui.category->count() ? chosen : -1);
    if (m_ui.category->currentIndex() < 0) m_ui.category->setEditText(kChooseCategory);
}

void PlanEditorPage::lockSaving() {
    ++m_edits;
    m_ui.save->setEnabled(false);
}

void PlanEditorPage::setJudgeMode(int mode) {
    m_judgeMode = mode;
    m_ui.uindex->setEnabled(mode == 8);
    m_ui.modes[0]->setChecked(mode != 2 && mode != 8);
    m_ui.modes[1]->setChecked(mode == 2);
    m_ui.modes[2]->setChecked(mode == 8);
}

void PlanEditorPage::loadEditor(int mode, const std::vector<std::string>& row) {
    m_suggestions.clear();
    auto cell = [&](int k) { return q(cellOf(row, k)); };
    if (mode == 0 || mode == 1) {
        m_ui.id->setText(cell(kRuleId));
        m_ui.save->setText(QStringLiteral("更新规则"));
    }
    m_ui.gbk->setChecked(cellOf(row, kRuleCode) != "0");
    const auto planId = static_cast<int>(textToInt(cellOf(row, kRuleId)));
    m_ui.ownCertificate->setChecked(planId > 0 && acceptsOwnCertificate(m_db, planId));
    // A new plan composes links as a browser does; a saved one keeps the way it stores them.
    m_ui.browserLinks->setChecked(planId > 0 ? composesBrowserLinks(m_db, planId) : true);
    m_ui.render->setChecked(planId > 0 && rendersPage(m_db, planId));
    m_jsonText = planId > 0 && readsJsonText(m_db, planId);
    setJudgeMode(static_cast<int>(textToInt(cellOf(row, kRuleType))));
    m_ui.name->setText(cell(kRuleName));
    const auto cls = textToInt(cellOf(row, kRuleClass)) - 1;
    if (cls >= 0 && cls < m_ui.category->count()) {
        m_ui.category->setCurrentIndex(static_cast<int>(cls));
    } else {
        m_ui.category->setCurrentIndex(-1);
        m_ui.category->setEditText(QString());
    }
    m_ui.url->setText(cell(kRuleUrl));
    m_ui.before->setText(cell(kRuleBefore));
    m_ui.after->setText(cell(kRuleAfter));
    m_ui.regex->setEditText(cell(kRuleRegular));
    m_ui.urlTemplate->setText(cell(kRuleBuquan));
    m_ui.cookie->setPlainText(cell(kRuleCookie));
    m_ui.ua->setText(cell(kRuleUa));
    m_ui.tindex->setText(cell(kRuleTindex));
    m_ui.uindex->setText(cell(kRuleUindex));
    m_ui.oindex->setText(cell(kRuleOindex));
    if (mode == -1 || mode == 1) {
        m_ui.id->setText(QStringLiteral("0"));
        m_ui.save->setText(QStringLiteral("新建规则"));
        m_ui.ua->setText(QString::fromUtf8(kEditorDefaultUserAgent));
        m_ui.uindex->setText(QStringLiteral("1"));
        m_ui.category->setCurrentIndex(-1);
        m_ui.category->setEditText(kChooseCategory);
        // A new plan starts at its first box.
        m_ui.name->setFocus();
    }
    m_loaded = contentSnapshot();
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
    PlanTestInput input{g(m_ui.regex->currentText()),
                        g(m_ui.url->text()),
                        m_ui.gbk->isChecked(),
                        g(m_ui.before->text()),
                        g(m_ui.after->text()),
                        g(m_ui.cookie->toPlainText()),
                        g(m_ui.ua->text())};
    // Refused before anything is fetched: only the message, the result box keeps its text.
    if (auto refused = refusePlanTest(input)) {
        m_dialogs.show(window(), q(refused->message), QString(), QMessageBox::Critical);
        return;
    }
    m_testedEdits = m_edits;
    m_suggestions.clear();
    m_ui.test->setText(QStringLiteral("取消测试"));
    m_ui.testText->setPlainText(QStringLiteral("正在获取网页……"));
    m_runner->start([input, render = m_ui.render->isChecked()](const CancelCheck& cancelled) {
        return render ? runRenderedPlanTest(input, cancelled) : runPlanTest(input, cancelled);
    });
}

void PlanEditorPage::cancelTest() {
    if (!m_runner->running()) return;
    m_runner->cancel();
    m_ui.test->setText(QStringLiteral("规则测试"));
    m_ui.testText->setPlainText(QStringLiteral("测试已取消。"));
}

void PlanEditorPage::showTestResult(const PlanTestResult& r) {
    using Outcome = PlanTestResult::Outcome;
    m_ui.test->setText(QStringLiteral("规则测试"));
    if (r.cutShown) m_ui.testText->setPlainText(fromCrlf(r.cutText));
    // A page read in the wrong encoding "tests successfully" with garbled titles: said first.
    if (!r.encodingNote.empty()) m_ui.testText->appendPlainText(QStringLiteral("\n") + q(r.encodingNote));
    if (r.outcome == Outcome::EmptyCut) {
        if (!r.fetchError.empty())
            m_ui.testText->appendPlainText(QStringLiteral("\n（") + q(r.fetchError) + QStringLiteral("）"));
        return;  // the list keeps what it showed
    }
    // Read as the article list shows titles: "&amp;" as "&".
    std::vector<std::vector<std::string>> shown = r.rows;
    for (auto& row : shown)
        for (std::string& cell : row) cell = decodeEntities(cell);
    fillTable(m_ui.testList, r.columns, shown);  // no matches: no columns, no rows
    if (r.outcome != Outcome::Matches) {
        m_dialogs.show(window(), fromCrlf(r.message));
        return;
    }
    // What was tested is no longer what the boxes hold: the result unlocks nothing.
    if (m_edits == m_testedEdits) {
        m_ui.save->setEnabled(true);
        m_ui.dataItems->setEnabled(true);
    }
    m_dialogs.show(
        window(),
        q(r.message) + (r.encodingNote.empty() ? QString() : QStringLiteral("\n\n") + q(r.encodingNote)));
}

// ---------------------------------------------------------------- plans from the page

void PlanEditorPage::toggleSuggest() {
    if (m_suggester->running()) {
        m_suggester->cancel();
        m_ui.suggestButton->setText(QStringLiteral("自动识别"));
        m_ui.testText->setPlainText(QStringLiteral("识别已取消。"));
        return;
    }
    const std::string url = g(m_ui.url->text());
    if (trimSpaces(url).empty() || !checkWebUrl(url) || hasLineBreak(url)) {
        m_dialogs.show(window(), QStringLiteral("请先在 监控网址 中填写列表页的地址（http 或 https）。"),
                       QString(), QMessageBox::Warning);
        return;
    }
    cancelTest();
    m_suggestedEdits = m_edits;
    m_suggestions.clear();
    m_ui.suggestButton->setText(QStringLiteral("取消识别"));
    m_ui.testText->setPlainText(QStringLiteral("正在识别网页上的文章列表……"));
    m_suggester->start([url, cookie = g(m_ui.cookie->toPlainText()),
                        userAgent = g(m_ui.ua->text())](const CancelCheck& cancelled) {
        return suggestPlansFromUrl(url, cookie, userAgent, cancelled);
    });
}

void PlanEditorPage::showSuggestions(const SuggestResult& r) {
    m_ui.suggestButton->setText(QStringLiteral("自动识别"));
    if (r.candidates.empty()) {
        QString text = QStringLiteral("没有识别出文章列表：") + q(r.problem);
        if (!r.fetchError.empty()) text += QStringLiteral("\n（") + q(r.fetchError) + QStringLiteral("）");
        m_ui.testText->setPlainText(text);
        m_dialogs.show(window(), text);
        return;
    }
    m_suggestions = r.candidates;
    m_suggestionNote = r.note;
    fillSuggestion(0);
}

void PlanEditorPage::fillSuggestion(std::size_t index) {
    const PlanSuggestion& s = m_suggestions.at(index);
    const PlanFields& f = s.fields;
    m_ui.gbk->setChecked(f.code != "0");
    if (m_ui.name->text().trimmed().isEmpty()) m_ui.name->setText(q(f.name));
    m_ui.before->setText(q(f.before));
    m_ui.after->setText(q(f.after));
    m_ui.regex->setEditText(q(f.regular));
    m_ui.regex->lineEdit()->setCursorPosition(0);
    m_ui.urlTemplate->setText(q(f.buquan));
    m_ui.browserLinks->setChecked(f.browserLinks);
    m_ui.render->setChecked(f.render);
    m_jsonText = f.jsonText;
    m_ui.tindex->setText(q(f.tindex));
    m_ui.uindex->setText(q(f.uindex));
    m_ui.oindex->setText(q(f.oindex));
    setJudgeMode(f.type);
    // The plan test found these on the page: the filled plan counts as tested, unless the user
    // changed the URL or the expression while the page was being read.
    fillTable(m_ui.testList, s.tested.columns, s.tested.rows);
    if (m_edits == m_suggestedEdits) {
        m_testedEdits = m_edits;
        m_ui.save->setEnabled(true);
        m_ui.dataItems->setEnabled(true);
    }
    m_ui.testText->setPlainText(suggestionListText(m_suggestions, index, m_suggestionNote));
}

QString PlanEditorPage::contentSnapshot() const {
    QStringList parts{m_ui.name->text(),
                      m_ui.category->currentText(),
                      m_ui.url->text(),
                      m_ui.before->text(),
                      m_ui.after->text(),
                      m_ui.regex->currentText(),
                      m_ui.urlTemplate->text(),
                      m_ui.cookie->toPlainText(),
                      m_ui.ua->text(),
                      m_ui.tindex->text(),
                      m_ui.uindex->text(),
                      m_ui.oindex->text(),
                      QString::number(m_judgeMode),
                      m_ui.gbk->isChecked() ? QStringLiteral("1") : QString(),
                      m_ui.ownCertificate->isChecked() ? QStringLiteral("1") : QString(),
                      m_ui.browserLinks->isChecked() ? QStringLiteral("1") : QString(),
                      m_ui.render->isChecked() ? QStringLiteral("1") : QString()};
    return parts.join(QChar(0x1F));
}

bool PlanEditorPage::hasUnsavedEdits() const { return contentSnapshot() != m_loaded; }

// ---------------------------------------------------------------- save

void PlanEditorPage::savePlan() {
    if (m_ui.uindex->text().isEmpty()) m_ui.uindex->setText(QStringLiteral("0"));
    PlanFields f;
    f.code = m_ui.gbk->isChecked() ? "1" : "0";
    const int chosen = m_ui.category->currentIndex();
    f.classNumber = chosen >= 0 && m_ui.category->currentText() == m_ui.category->itemText(chosen)
                        ? m_ui.category->itemData(chosen).toInt()
                        : 1;
    f.url = g(m_ui.url->text());
    f.before = g(m_ui.before->text());
    f.after = g(m_ui.after->text());
    f.regular = g(m_ui.regex->currentText());
    f.buquan = g(m_ui.urlTemplate->text());
    // A tab (typed where one meant to leave the box) is never part of a cookie.
    f.cookie = g(m_ui.cookie->toPlainText().remove(QChar('\t')));
    f.tindex = g(m_ui.tindex->text());
    f.uindex = g(m_ui.uindex->text());
    f.oindex = g(m_ui.oindex->text());
    f.ua = g(m_ui.ua->text());
    f.name = g(m_ui.name->text());
    f.type = m_judgeMode;
    f.browserLinks = m_ui.browserLinks->isChecked();
    f.render = m_ui.render->isChecked();
    f.jsonText = m_jsonText;
    Result<SavedPlan> r = tovi::savePlan(m_db, f, textToInt(g(m_ui.id->text())));
    if (!r) {
        // Nothing typed is lost: the editor keeps its content.
        if (r.detail().empty())
            m_dialogs.show(window(), q(r.error()), QStringLiteral("失败！"));
        else
            m_dialogs.show(window(),
                           QStringLiteral("请检查采集区域设置是否包含单引号！") + q(r.detail()) +
                               (r.error().empty() ? QString() : QStringLiteral("\n\n") + q(r.error())),
                           QStringLiteral("失败！"));
        return;
    }
    // The switches kept beside the plan's row, as the editor shows them.
    const struct {
        QString name;
        Result<> (*set)(Database&, int, bool);
        bool on;
    } switches[] = {
        {QStringLiteral("自签证书 "), setAcceptsOwnCertificate, m_ui.ownCertificate->isChecked()},
        {QStringLiteral("JSON 方案"), setReadsJsonText, m_jsonText},
        {QStringLiteral("渲染页面 "), setRendersPage, m_ui.render->isChecked()},
        {QStringLiteral("浏览器链接 "), setComposesBrowserLinks, m_ui.browserLinks->isChecked()},
    };
    for (const auto& s : switches)
        if (Result<> kept = s.set(m_db, r->id, s.on); !kept)
            m_dialogs.show(window(), s.name + QStringLiteral("的设置没有保存：") + q(kept.error()));
    const bool copied = copyToClipboard(q(r->statement));
    m_ui.testText->setPlainText(
        QStringLiteral("\n　成功，SQL语句已复制备用！　\n\n") + q(r->statement) +
        (copied ? QString() : QStringLiteral("\n\n（剪贴板被其他程序占用，SQL语句未能复制）")));
    loadEditor(-1, {});
    emit planSaved();
    setJudgeMode(0);
    m_loaded = contentSnapshot();
    // Saving again takes a passing test again: a second click (a double-click) saves nothing.
    lockSaving();
}

// ---------------------------------------------------------------- hints and guards

bool PlanEditorPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick && watched == m_ui.testText->viewport() &&
        !m_suggestions.empty()) {
        const int line =
            m_ui.testText->cursorForPosition(static_cast<QMouseEvent*>(event)->position().toPoint())
                .blockNumber();
        if (auto k = suggestionAtLine(line, m_suggestions.size())) {
            fillSuggestion(*k);
            return true;
        }
    }
    // An empty article-id index becomes 0 when the box is left.
    if (event->type() == QEvent::FocusOut && watched == m_ui.uindex && m_ui.uindex->text().isEmpty())
        m_ui.uindex->setText(QStringLiteral("0"));
    if (event->type() == QEvent::FocusIn) {
        QObject* control = watched == m_ui.regex->lineEdit() ? m_ui.regex : watched;
        for (const EditorHint& h : kEditorHints)
            if (control->objectName() == QString::fromUtf8(h.control))
                m_ui.hint->setText(hintHtml(QString::fromUtf8(h.text)));
    }
    return QWidget::eventFilter(watched, event);
}

void PlanEditorPage::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    growResults();
}

void PlanEditorPage::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    growResults();
}

void PlanEditorPage::growResults() {
    // What the page has while the window is at its design (smallest) size; the page grows
    // with the window one for one.
    if (!m_designSize.isValid() && isVisible()) {
        m_designSize = size() - (window()->size() - window()->minimumSize());
        m_gridDesign = m_ui.testList->geometry();
        m_textDesign = m_ui.testText->geometry();
    }
    if (!m_designSize.isValid()) return;
    const int dx = std::max(0, width() - m_designSize.width());
    const int dy = std::max(0, height() - m_designSize.height());
    // The grid of matches takes most of the extra width; the text beside it keeps its share.
    const int gridDx = dx * 3 / 5;
    m_ui.testList->setGeometry(m_gridDesign.adjusted(0, 0, gridDx, dy));
    m_ui.testText->setGeometry(m_textDesign.adjusted(gridDx, 0, dx, dy));
}

}  // namespace tovi::gui
