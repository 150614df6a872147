#include "gui/PlanEditorControls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "core/plans/PlanEditing.h"
#include "gui/PlanEditorTexts.h"

namespace tovi::gui {
namespace {

// The design's y positions count from the top of the tab control; pages start below its bar.
constexpr int kTabBar = 20;

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

void buildCollectGroup(QWidget* page, PlanEditorControls& ui) {
    auto* collect = named(new QGroupBox(QStringLiteral("采集配置"), page), "分组框采集项");
    collect->setGeometry(4, 25 - kTabBar, 700, 145);
    label(QStringLiteral("方案名称"), collect, 8, 13, 56, 24);
    ui.name = named(new QLineEdit(collect), "编辑框_站名");
    ui.name->setGeometry(64, 16, 116, 20);
    ui.category = named(new QComboBox(collect), "组合框1");
    ui.category->setEditable(true);
    // Typed text never becomes a category (Enter would otherwise add it as an item).
    ui.category->setInsertPolicy(QComboBox::NoInsert);
    ui.category->setGeometry(188, 16, 92, 20);
    ui.gbk = named(new QCheckBox(QStringLiteral("gbk编码"), collect), "gbk");
    ui.gbk->setGeometry(289, 13, 75, 24);
    ui.gbk->setChecked(true);
    label(QStringLiteral("模拟浏览"), collect, 366, 13, 52, 24);
    ui.ua = named(new QLineEdit(QString::fromUtf8(kEditorDefaultUserAgent), collect), "ua框");
    ui.ua->setGeometry(422, 15, 272, 20);
    ui.ua->setCursorPosition(0);
    label(QStringLiteral("监控网址"), collect, 8, 45, 56, 24);
    ui.url = named(new QLineEdit(collect), "编辑框_网址");
    ui.url->setGeometry(63, 48, 289, 20);
    label(QStringLiteral("COOKIE"), collect, 362, 62, 56, 24);
    ui.cookie = named(new QPlainTextEdit(collect), "cookie框");
    ui.cookie->setGeometry(421, 47, 273, 57);
    // Under COOKIE: a plan that logs in checks the site's certificate unless told otherwise.
    ui.ownCertificate = named(new QCheckBox(QStringLiteral("自签"), collect), "自签证书");
    ui.ownCertificate->setGeometry(356, 84, 64, 20);
    // Beside the page's address: a page its scripts build is loaded in a browser first.
    ui.render = named(new QCheckBox(QStringLiteral("渲染"), collect), "渲染页面");
    ui.render->setGeometry(356, 42, 64, 20);
    ui.render->setToolTip(QStringLiteral(
        "渲染页面：列表由网页脚本生成时，先用浏览器（chromium）载入页面，再按采集区域和正则取文章"));
    ui.ownCertificate->setToolTip(
        QStringLiteral("自签证书：带 COOKIE 的方案在监控时校验网站证书；勾选则接受网站自己的（自签）证书"));
    label(QStringLiteral("采集区域"), collect, 8, 79, 56, 24);
    ui.before = named(new QLineEdit(QStringLiteral("<html"), collect), "采集前");
    ui.before->setGeometry(64, 81, 135, 20);
    label(QStringLiteral("—"), collect, 203, 81, 12, 24);
    ui.after = named(new QLineEdit(QStringLiteral("</html>"), collect), "采集后");
    ui.after->setGeometry(217, 81, 135, 20);
    label(QStringLiteral("正则匹配"), collect, 8, 110, 56, 24);
    ui.regex = named(new QComboBox(collect), "正则框");
    ui.regex->setEditable(true);
    ui.regex->setInsertPolicy(QComboBox::NoInsert);
    ui.regex->setGeometry(64, 112, 630, 20);
    for (const char* item : kRegexItems) ui.regex->addItem(QString::fromUtf8(item));
    ui.regex->setCurrentIndex(-1);
    ui.regex->setEditText(QString());
}

void buildDataItems(QWidget* page, PlanEditorControls& ui) {
    ui.dataItems = named(new QGroupBox(QStringLiteral("数据项"), page), "分组框1");
    ui.dataItems->setGeometry(5, 176 - kTabBar, 365, 115);
    ui.dataItems->setEnabled(false);
    label(QStringLiteral("判断模式"), ui.dataItems, 8, 12, 52, 24);
    struct Mode {
        const char* name;
        const char* caption;
        int x, width;
    } modes[] = {{"单选框1", "时间倒序", 64, 76},
                 {"单选框2", "时间正序", 142, 76},
                 {"单选框3", "比较文章ID", 222, 110}};
    // One radio group: arrow keys move within it, assistive technology announces it as such.
    auto* group = new QButtonGroup(ui.dataItems);
    group->setExclusive(true);
    for (int i = 0; i < 3; ++i) {
        ui.modes[i] =
            named(new QRadioButton(QString::fromUtf8(modes[i].caption), ui.dataItems), modes[i].name);
        ui.modes[i]->setGeometry(modes[i].x, 17, modes[i].width, 16);
        ui.modes[i]->setAccessibleName(QStringLiteral("判断模式：") + QString::fromUtf8(modes[i].caption));
        group->addButton(ui.modes[i], i);
    }
    auto* digits = new QIntValidator(0, 999, page);
    auto indexBox = [&](const char* name, const char* caption, int labelX, int labelW, int boxX) {
        label(QString::fromUtf8(caption), ui.dataItems, labelX, 46, labelW, 24);
        auto* box = named(new QLineEdit(ui.dataItems), name);
        box->setGeometry(boxX, 49, 36, 20);
        box->setValidator(digits);
        return box;
    };
    ui.tindex = indexBox("tindex框", "标题索引", 8, 52, 63);
    ui.oindex = indexBox("oindex框", "备用索引", 120, 52, 175);
    ui.uindex = indexBox("uindex框", "文章id索引", 232, 68, 303);
    ui.uindex->setText(QStringLiteral("1"));
    ui.uindex->setEnabled(false);
    label(QStringLiteral("合成网址"), ui.dataItems, 8, 82, 52, 24);
    ui.urlTemplate = named(new QLineEdit(QStringLiteral("[]"), ui.dataItems), "补全框");
    ui.urlTemplate->setGeometry(64, 84, 200, 20);
    // Beside the template: how its result is read (as a browser follows a link, or as it stands).
    ui.browserLinks = named(new QCheckBox(QStringLiteral("浏览器链接"), ui.dataItems), "浏览器链接");
    ui.browserLinks->setGeometry(270, 84, 92, 20);
    ui.browserLinks->setToolTip(
        QStringLiteral("浏览器链接：合成网址里的 &amp; 等字符引用按浏览器解码，相对链接按页面地址（或页面的 "
                       "<base>）补全；不勾选则原样使用合成网址"));
}

void buildResultArea(QWidget* page, PlanEditorControls& ui, const QString& firstHint) {
    auto* frame = named(new QFrame(page), "外形框1");
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setGeometry(384, 180 - kTabBar, 312, 64);
    label(QStringLiteral("保存到"), frame, 12, 20, 44, 24);
    ui.id = named(new QLineEdit(QStringLiteral("0"), frame), "项目编号框");
    ui.id->setGeometry(59, 22, 48, 20);
    ui.id->setEnabled(false);
    ui.save = named(new QPushButton(QStringLiteral("新建规则"), frame), "按钮_保存配置");
    ui.save->setGeometry(125, 16, 80, 32);
    ui.save->setEnabled(false);
    ui.test = named(new QPushButton(QStringLiteral("规则测试"), frame), "按钮_测试配置");
    ui.test->setGeometry(220, 16, 80, 32);

    ui.hint = named(new QLabel(hintHtml(firstHint), page), "测试提示");
    ui.hint->setGeometry(384, 250 - kTabBar, 214, 36);
    // The plan's own title rules.
    ui.rulesButton = named(new QPushButton(QStringLiteral("标题规则…"), page), "按钮_标题规则");
    ui.rulesButton->setGeometry(604, 273 - kTabBar, 96, 22);
    ui.rulesButton->setEnabled(false);
    ui.rulesButton->setToolTip(QStringLiteral("为本方案单独设置标题规则（新方案请先保存）"));
    // Under 规则测试: the plan from the page's own list.
    ui.suggestButton = named(new QPushButton(QStringLiteral("自动识别"), page), "按钮_自动识别");
    ui.suggestButton->setGeometry(604, 249 - kTabBar, 96, 22);
    ui.suggestButton->setToolTip(
        QStringLiteral("从监控网址的页面找出文章列表，填好采集配置和数据项（已在页面上测试）"));
    ui.hint->setWordWrap(true);
    ui.hint->setTextFormat(Qt::RichText);
    ui.hint->setOpenExternalLinks(true);
    ui.testList = named(new QTableWidget(page), "测试列表框");
    ui.testList->setGeometry(7, 297 - kTabBar, 400, 135);
    ui.testList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.testList->verticalHeader()->hide();
    ui.testText = named(new QPlainTextEdit(QString::fromUtf8(kTestHelp), page), "测试编辑框");
    ui.testText->setGeometry(412, 297 - kTabBar, 290, 132);
}

// Every input is announced by what its caption says (the caption is its buddy: Alt and the
// caption's key reach it), never by the group it sits in.
void nameInputs(QWidget* page, PlanEditorControls& ui) {
    struct Named {
        const char* caption;  // the label beside it, when it has one
        QWidget* input;
        const char* name;
    } inputs[] = {
        {"方案名称", ui.name, "方案名称"},
        {nullptr, ui.category, "分类"},
        {"模拟浏览", ui.ua, "模拟浏览（User-Agent）"},
        {"监控网址", ui.url, "监控网址"},
        {"COOKIE", ui.cookie, "COOKIE"},
        {"采集区域", ui.before, "采集区域：开始标记"},
        {nullptr, ui.after, "采集区域：结束标记"},
        {"正则匹配", ui.regex, "正则匹配"},
        {"标题索引", ui.tindex, "标题索引"},
        {"备用索引", ui.oindex, "备用索引"},
        {"文章id索引", ui.uindex, "文章id索引"},
        {"合成网址", ui.urlTemplate, "合成网址"},
        {"保存到", ui.id, "保存到方案编号"},
        {nullptr, ui.testList, "测试结果：匹配到的文章"},
        {nullptr, ui.testText, "测试说明"},
    };
    const QList<QLabel*> captions = page->findChildren<QLabel*>();
    for (const Named& n : inputs) {
        n.input->setAccessibleName(QString::fromUtf8(n.name));
        if (!n.caption) continue;
        for (QLabel* l : captions)
            if (l->text() == QString::fromUtf8(n.caption)) l->setBuddy(n.input);
    }
    // Switches and buttons are named by their text; what their tooltip explains describes them.
    for (QWidget* w : page->findChildren<QWidget*>())
        if (!w->toolTip().isEmpty() && w->accessibleDescription().isEmpty())
            w->setAccessibleDescription(w->toolTip());
}

// Tab enters the judging modes at the checked one (arrow keys move within them): only that one
// takes the focus from Tab.
void tabToCheckedMode(PlanEditorControls& ui) {
    auto follow = [ui] {
        for (QRadioButton* mode : ui.modes)
            mode->setFocusPolicy(mode->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    for (QRadioButton* mode : ui.modes) QObject::connect(mode, &QRadioButton::toggled, mode, follow);
    follow();
}

}  // namespace

PlanEditorControls buildPlanEditorControls(QWidget* page, const QString& firstHint) {
    PlanEditorControls ui;
    buildCollectGroup(page, ui);
    buildDataItems(page, ui);
    buildResultArea(page, ui, firstHint);
    nameInputs(page, ui);
    tabToCheckedMode(ui);
    return ui;
}

}  // namespace tovi::gui
