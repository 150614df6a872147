#include <httplib.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTreeWidget>
#include <thread>

#include "GuiFixture.h"
#include "core/plans/TitleRules.h"
#include "core/settings/Settings.h"
#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "gui/OptionsWindow.h"
#include "gui/TitleRulesDialog.h"
#include "support/FakePushService.h"
#include "support/LoopbackServers.h"

namespace tovi {
namespace {

using test::child;
using test::choose;
using test::click;
using test::contextMenu;
using test::GuiFixture;
using test::typeInto;
using test::waitUntil;

class Options : public GuiFixture {
protected:
    void SetUp() override {
        auto page = [](const httplib::Request&, httplib::Response& res) {
            res.set_content(gbk("<html><ul><li><a href=\"t-7.html\">七号 'quoted'</a></li><li><a "
                                "href=\"t-8.html\">八号</a></li></ul></html>"),
                            "text/html");
        };
        server.server().Get("/list.html", page);
        server.server().Get(R"(/board/([a-z_]+\.html))", [](const httplib::Request& req,
                                                            httplib::Response& res) {
            res.set_content(test::readFile(std::filesystem::path(TOVI_SUGGEST_PAGES) / req.matches[1].str()),
                            "text/html");
        });
        server.server().Get("/slow.html", [page](const httplib::Request& req, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            page(req, res);
        });
        server.start();
        makeProgramDir();
        addPlan(1, 1, "论坛甲", "http://a.example/", 1);
        addPlan(2, 2, "新闻乙", "http://b.example/", 0);
        main = startWindow();
    }
    std::unique_ptr<gui::OptionsWindow> open(int page) {
        return std::make_unique<gui::OptionsWindow>(main->optionsContext(), page, main.get());
    }
    std::vector<std::string> rule(int id) {
        Database db;
        db.open(dir / "tovi.sdb");
        auto r = db.run(Statement("select * from rule where id=?", {id}));
        return r.rows.empty() ? std::vector<std::string>{} : r.rows[0];
    }
    template <typename T>
    T* at(gui::OptionsWindow& w, const char* name) {
        return child<T>(&w, QString::fromUtf8(name));
    }
    QLineEdit* box(gui::OptionsWindow& w, const char* name) { return at<QLineEdit>(w, name); }
    QLineEdit* expression(gui::OptionsWindow& w) { return at<QComboBox>(w, "正则框")->lineEdit(); }
    QPushButton* saveButton(gui::OptionsWindow& w) { return at<QPushButton>(w, "按钮_保存配置"); }
    QPushButton* testButton(gui::OptionsWindow& w) { return at<QPushButton>(w, "按钮_测试配置"); }
    QTableWidget* planList(gui::OptionsWindow& w) { return at<QTableWidget>(w, "项目列表框"); }
    void selectRow(gui::OptionsWindow& w, int row) {
        QTableWidget* list = planList(w);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row, 1)).center());
    }
    void planMenu(gui::OptionsWindow& w, const QString& item) {
        contextMenu(planList(w)->viewport());
        choose(at<QMenu>(w, "方案菜单"), item);
    }
    void runTest(gui::OptionsWindow& w) {
        click(testButton(w));
        ASSERT_TRUE(waitUntil([&] { return testButton(w)->text() == QStringLiteral("规则测试"); }));
    }
    // Fills the editor as a user would and runs the test until it is done.
    void fillAndTest(gui::OptionsWindow& w, const std::string& path = "/list.html") {
        typeInto(box(w, "编辑框_站名"), QStringLiteral("演示 'x'"));
        typeInto(box(w, "编辑框_网址"), QString::fromStdString(server.url(path)));
        typeInto(box(w, "采集前"), QStringLiteral("<ul>"));
        typeInto(box(w, "采集后"), QStringLiteral("</ul>"));
        typeInto(expression(w), QStringLiteral("<a href=\"t-(\\d+)\\.html\">(.*?)</a>"));
        runTest(w);
    }

    test::HttpTestServer server;
    std::unique_ptr<gui::MainWindow> main;
};

TEST_F(Options, OpensOnTheRequestedPageInItsDesignState) {
    auto w = open(9);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("选项"));
    EXPECT_EQ(at<QTabWidget>(*w, "选择夹")->currentIndex(), 3);  // clamped to the last page, "推送"
    EXPECT_EQ(box(*w, "项目编号框")->text(), QStringLiteral("0"));
    EXPECT_EQ(saveButton(*w)->text(), QStringLiteral("新建规则"));
    EXPECT_FALSE(saveButton(*w)->isEnabled());
    EXPECT_FALSE(at<QGroupBox>(*w, "分组框1")->isEnabled());
    EXPECT_TRUE(at<QCheckBox>(*w, "gbk")->isChecked());
    EXPECT_TRUE(at<QRadioButton>(*w, "单选框1")->isChecked());
    EXPECT_FALSE(box(*w, "uindex框")->isEnabled());
    EXPECT_EQ(box(*w, "采集前")->text(), QStringLiteral("<html"));
    EXPECT_EQ(box(*w, "补全框")->text(), QStringLiteral("[]"));
    EXPECT_EQ(box(*w, "uindex框")->text(), QStringLiteral("1"));
    EXPECT_EQ(at<QComboBox>(*w, "正则框")->count(), 4);
    QTableWidget* list = planList(*w);
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), QStringLiteral("0id"));
    EXPECT_EQ(list->horizontalHeaderItem(1)->text(), QStringLiteral("1class"));
    EXPECT_EQ(list->item(0, 0)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(1, 0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(at<QComboBox>(*w, "组合框1")->count(), 2);
    EXPECT_EQ(at<QPlainTextEdit>(*w, "分类编辑框")->toPlainText(), QStringLiteral("论坛\n新闻"));
}

TEST_F(Options, ItsOwnConnectionIsCheckedLikeTheMainOne) {
    // Another program replaced tovi.sdb with a file that lacks our tables.
    main.reset();
    std::filesystem::remove(dir / "tovi.sdb");
    Database foreign;
    ASSERT_TRUE(foreign.create(dir / "tovi.sdb"));
    ASSERT_TRUE(foreign.runScript("create table notes(x)").ok);
    foreign.close();
    main = startWindow();
    dialogs.shown.clear();
    auto w = open(0);
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("数据库打开失败！")));
    EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("rule")));  // says which table is missing
    EXPECT_EQ(planList(*w)->rowCount(), 0);
}

TEST_F(Options, CreateTestSaveThenEditRoundTrip) {
    auto w = open(1);
    fillAndTest(*w);
    EXPECT_TRUE(dialogs.saw(QStringLiteral("成功取到　2条文章！")));
    EXPECT_TRUE(saveButton(*w)->isEnabled());
    EXPECT_TRUE(at<QGroupBox>(*w, "分组框1")->isEnabled());
    auto* results = at<QTableWidget>(*w, "测试列表框");
    ASSERT_EQ(results->columnCount(), 3);
    EXPECT_EQ(results->item(0, 2)->text(), QStringLiteral("七号 'quoted'"));

    // A user's change of the URL locks saving again; the data items stay usable.
    QTest::keyClick(box(*w, "编辑框_网址"), Qt::Key_Space);
    QTest::keyClick(box(*w, "编辑框_网址"), Qt::Key_Backspace);
    EXPECT_FALSE(saveButton(*w)->isEnabled());
    EXPECT_TRUE(at<QGroupBox>(*w, "分组框1")->isEnabled());
    runTest(*w);
    EXPECT_TRUE(saveButton(*w)->isEnabled());

    at<QComboBox>(*w, "组合框1")->setCurrentIndex(1);  // chosen from the drop-down list
    // The judging modes are one radio group, each named for assistive technology.
    click(at<QRadioButton>(*w, "单选框2"));
    EXPECT_TRUE(at<QRadioButton>(*w, "单选框2")->isChecked());
    EXPECT_FALSE(at<QRadioButton>(*w, "单选框1")->isChecked());
    EXPECT_EQ(at<QRadioButton>(*w, "单选框2")->accessibleName(), QStringLiteral("判断模式：时间正序"));
    click(at<QRadioButton>(*w, "单选框3"));
    EXPECT_TRUE(box(*w, "uindex框")->isEnabled());
    EXPECT_FALSE(at<QRadioButton>(*w, "单选框1")->isChecked());
    EXPECT_FALSE(at<QRadioButton>(*w, "单选框2")->isChecked());
    typeInto(box(*w, "tindex框"), QStringLiteral("2"));
    typeInto(box(*w, "uindex框"), QString());
    typeInto(box(*w, "补全框"), QStringLiteral("http://site/t-[1].html"));
    at<QPlainTextEdit>(*w, "cookie框")->setFocus();
    test::typeText(at<QPlainTextEdit>(*w, "cookie框"), QStringLiteral("sid='1'"));
    EXPECT_FALSE(at<QCheckBox>(*w, "自签证书")->isChecked());  // off unless chosen
    click(at<QCheckBox>(*w, "自签证书"));
    click(saveButton(*w));
    auto* resultBox = at<QPlainTextEdit>(*w, "测试编辑框");
    EXPECT_TRUE(resultBox->toPlainText().contains(QStringLiteral("成功，SQL语句已复制备用！")));
    // The export form, without the id this database gave the plan.
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(
        QStringLiteral("insert into rule(isdo,code,url,before,after,regular,buquan,cookie,")));
    EXPECT_TRUE(resultBox->toPlainText().contains(QStringLiteral("values('0','")));
    EXPECT_EQ(box(*w, "项目编号框")->text(), QStringLiteral("0"));  // back to a blank new plan
    EXPECT_TRUE(at<QRadioButton>(*w, "单选框1")->isChecked());
    ASSERT_EQ(planList(*w)->rowCount(), 3);
    // Saved, the editor locks again: the second click of a double-click saves no blank plan.
    EXPECT_FALSE(saveButton(*w)->isEnabled());
    click(saveButton(*w));
    EXPECT_EQ(planList(*w)->rowCount(), 3);

    auto saved = rule(3);
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(saved[kRuleName], gbk("演示 'x'"));
    EXPECT_EQ(saved[kRuleCookie], "sid='1'");
    EXPECT_EQ(saved[kRuleClass], "2");
    EXPECT_EQ(saved[kRuleType], "8");
    EXPECT_EQ(saved[kRuleUindex], "0");
    EXPECT_EQ(saved[kRuleIsdo], "0");

    // Load it again, change the name, update.
    selectRow(*w, 2);
    planMenu(*w, QStringLiteral("编辑"));
    EXPECT_EQ(at<QTabWidget>(*w, "选择夹")->currentIndex(), 1);
    EXPECT_EQ(box(*w, "项目编号框")->text(), QStringLiteral("3"));
    EXPECT_EQ(saveButton(*w)->text(), QStringLiteral("更新规则"));
    EXPECT_TRUE(at<QRadioButton>(*w, "单选框3")->isChecked());
    EXPECT_TRUE(at<QCheckBox>(*w, "自签证书")->isChecked());  // kept beside the plan
    EXPECT_EQ(box(*w, "编辑框_站名")->text(), QStringLiteral("演示 'x'"));
    typeInto(box(*w, "编辑框_站名"), QStringLiteral("改过的名字"));
    EXPECT_FALSE(saveButton(*w)->isEnabled());  // an update, too, takes a passing test
    runTest(*w);
    click(saveButton(*w));
    EXPECT_EQ(rule(3)[kRuleName], gbk("改过的名字"));
}

TEST_F(Options, AutoDetectFillsATestedPlanAndOffersThePageOtherLists) {
    auto w = open(1);
    auto* suggest = at<QPushButton>(*w, "按钮_自动识别");
    auto* resultBox = at<QPlainTextEdit>(*w, "测试编辑框");
    click(suggest);  // no URL yet
    EXPECT_TRUE(dialogs.saw(QStringLiteral("请先在 监控网址 中填写列表页的地址（http 或 https）。")));

    typeInto(box(*w, "编辑框_网址"), QString::fromStdString(server.url("/board/forum.html")));
    click(suggest);
    ASSERT_TRUE(
        waitUntil([&] { return resultBox->toPlainText().startsWith(QStringLiteral("自动识别找到 2 个")); }));
    EXPECT_EQ(suggest->text(), QStringLiteral("自动识别"));
    EXPECT_EQ(box(*w, "编辑框_站名")->text(), QStringLiteral("技术交流 - 演示论坛"));
    EXPECT_FALSE(at<QCheckBox>(*w, "gbk")->isChecked());
    EXPECT_TRUE(expression(*w)->text().contains(QStringLiteral("xst")));
    EXPECT_TRUE(at<QRadioButton>(*w, "单选框3")->isChecked());
    // Tested on the page: the rows are shown, saving and the data items are open.
    EXPECT_EQ(at<QTableWidget>(*w, "测试列表框")->rowCount(), 10);
    EXPECT_TRUE(saveButton(*w)->isEnabled());
    EXPECT_TRUE(at<QGroupBox>(*w, "分组框1")->isEnabled());

    // The page's other list, taken by a double click on its line.
    QTextCursor line(resultBox->document()->findBlockByNumber(4));
    ASSERT_TRUE(line.block().text().contains(QStringLiteral("tr.normal，8 篇")));
    QTest::mouseDClick(resultBox->viewport(), Qt::LeftButton, {}, resultBox->cursorRect(line).center());
    EXPECT_EQ(at<QTableWidget>(*w, "测试列表框")->rowCount(), 8);
    EXPECT_TRUE(expression(*w)->text().contains(QStringLiteral("normal")));
    EXPECT_TRUE(resultBox->document()->findBlockByNumber(4).text().contains(QStringLiteral("（已填入）")));

    at<QComboBox>(*w, "组合框1")->setCurrentIndex(1);
    click(saveButton(*w));
    const auto saved = rule(3);
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(saved[kRuleType], "8");
    EXPECT_EQ(saved[kRuleCode], "0");
    EXPECT_NE(saved[kRuleRegular].find("normal"), std::string::npos);

    // A page without a list says so.
    typeInto(box(*w, "编辑框_网址"), QString::fromStdString(server.url("/board/nolist.html")));
    click(suggest);
    ASSERT_TRUE(
        waitUntil([&] { return resultBox->toPlainText().startsWith(QStringLiteral("没有识别出文章列表")); }));
    EXPECT_TRUE(dialogs.saw(QStringLiteral("没有识别出文章列表")));
    EXPECT_FALSE(saveButton(*w)->isEnabled());
}

TEST_F(Options, CategoryBoxNeverTakesTypedText) {
    auto w = open(1);
    fillAndTest(*w);
    auto* category = at<QComboBox>(*w, "组合框1");
    category->lineEdit()->setFocus();
    test::typeText(category->lineEdit(), QStringLiteral("x"));
    EXPECT_TRUE(dialogs.saw(QStringLiteral("请下拉将方案归类，　高级设置　中可管理分类")));
    EXPECT_EQ(category->currentText(), QStringLiteral("请选择分类"));
    QTest::keyClick(category->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(category->count(), 2);  // Enter added nothing
    click(saveButton(*w));
    EXPECT_EQ(rule(3)[kRuleClass], "1");  // nothing chosen: the first category
}

TEST_F(Options, ACopyDeleteDefaultFlagAndExport) {
    auto w = open(0);
    selectRow(*w, 0);
    planMenu(*w, QStringLiteral("复制"));
    EXPECT_EQ(box(*w, "项目编号框")->text(), QStringLiteral("0"));
    EXPECT_EQ(saveButton(*w)->text(), QStringLiteral("新建规则"));
    EXPECT_EQ(box(*w, "编辑框_站名")->text(), QStringLiteral("论坛甲"));
    EXPECT_EQ(box(*w, "uindex框")->text(), QStringLiteral("1"));
    EXPECT_EQ(at<QComboBox>(*w, "组合框1")->currentText(), QStringLiteral("请选择分类"));

    // With both rows selected, the flag acts on the current row only.
    QTableWidget* list = planList(*w);
    selectRow(*w, 1);
    list->selectAll();
    planMenu(*w, QStringLiteral("默认监控该方案"));
    EXPECT_EQ(rule(2)[kRuleIsdo], "1");
    EXPECT_EQ(rule(1)[kRuleIsdo], "1");

    // Export both, then run the text in a fresh database's console path.
    list->selectAll();
    planMenu(*w, QStringLiteral("导出被选择的方案（可选多行）"));
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("已复制所选方案的SQL语句！"));
    QString exported = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(exported.startsWith(QStringLiteral("-- 下面为导出的方案对应SQL语句")));
    EXPECT_EQ(exported.count(QStringLiteral("insert into rule(isdo,")), 2);

    selectRow(*w, 0);
    planMenu(*w, QStringLiteral("删除"));
    EXPECT_TRUE(rule(1).empty());
    EXPECT_FALSE(rule(2).empty());
    EXPECT_EQ(list->rowCount(), 1);

    test::TempDir other;
    Database target;
    ASSERT_TRUE(target.open(test::makeDatabase(other.path())));
    std::string sql = gbk(exported.mid(exported.indexOf(QStringLiteral("insert"))).toStdString());
    ASSERT_TRUE(target.runScript(sql).ok);
    auto rows = target.run("select name, url from rule order by id").rows;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], gbk("论坛甲"));
    EXPECT_EQ(rows[1][1], "http://b.example/");
}

TEST_F(Options, TestRunFailuresAndCancel) {
    auto w = open(1);
    fillAndTest(*w);
    dialogs.shown.clear();
    typeInto(expression(*w), QStringLiteral("(broken"));
    runTest(*w);
    EXPECT_TRUE(dialogs.saw(QStringLiteral("匹配结果为0,请检查正则匹配规则!")));
    EXPECT_EQ(at<QTableWidget>(*w, "测试列表框")->columnCount(), 0);

    auto* resultBox = at<QPlainTextEdit>(*w, "测试编辑框");
    typeInto(expression(*w), QStringLiteral("(.*)"));
    typeInto(box(*w, "编辑框_网址"), QStringLiteral("http://127.0.0.1:1/"));
    runTest(*w);
    EXPECT_TRUE(
        resultBox->toPlainText().startsWith(QStringLiteral("出错！截取源码为空，请检查方案的采集区域！")));

    test::RawHttpServer hanging("", /*hang=*/true);
    typeInto(box(*w, "编辑框_网址"), QString::fromStdString(hanging.url("/")));
    click(testButton(*w));
    EXPECT_EQ(testButton(*w)->text(), QStringLiteral("取消测试"));
    ASSERT_TRUE(hanging.waitForRequests(1));
    click(testButton(*w));  // cancels
    EXPECT_EQ(testButton(*w)->text(), QStringLiteral("规则测试"));
    EXPECT_EQ(resultBox->toPlainText(), QStringLiteral("测试已取消。"));

    // A test refused before the fetch leaves the result box as it was.
    const QString before = resultBox->toPlainText();
    for (const auto& [url, regex, message] :
         {std::tuple{QStringLiteral("http://a.example/"), QString(), QStringLiteral("正则匹配规则不能为空!")},
          std::tuple{QStringLiteral("file:///etc/hostname"), QStringLiteral("(.*)"),
                     QStringLiteral("只能访问 http:// 或 https:// 开头的网址")}}) {
        typeInto(box(*w, "编辑框_网址"), url);
        typeInto(expression(*w), regex);
        click(testButton(*w));
        EXPECT_TRUE(dialogs.shown.back().text.startsWith(message)) << dialogs.shown.back().text.toStdString();
        EXPECT_EQ(dialogs.shown.back().icon, QMessageBox::Critical);
        EXPECT_EQ(resultBox->toPlainText(), before);
        EXPECT_EQ(testButton(*w)->text(), QStringLiteral("规则测试"));
    }
}

TEST_F(Options, AResultForWhatWasEditedMeanwhileUnlocksNothing) {
    auto w = open(1);
    typeInto(box(*w, "编辑框_网址"), QString::fromStdString(server.url("/slow.html")));
    typeInto(box(*w, "采集前"), QStringLiteral("<ul>"));
    typeInto(box(*w, "采集后"), QStringLiteral("</ul>"));
    typeInto(expression(*w), QStringLiteral("<a href=\"t-(\\d+)\\.html\">(.*?)</a>"));
    click(testButton(*w));
    test::typeText(expression(*w), QStringLiteral("x"));  // edited while the page loads
    ASSERT_TRUE(waitUntil([&] { return testButton(*w)->text() == QStringLiteral("规则测试"); }));
    EXPECT_TRUE(dialogs.saw(QStringLiteral("成功取到　2条文章！")));  // the result is still shown
    EXPECT_FALSE(saveButton(*w)->isEnabled());
    EXPECT_FALSE(at<QGroupBox>(*w, "分组框1")->isEnabled());
}

TEST_F(Options, LockedDatabaseKeepsTheEditorAndSaysSo) {
    auto w = open(1);
    fillAndTest(*w);
    Database other;
    ASSERT_TRUE(other.open(dir / "tovi.sdb"));
    ASSERT_TRUE(other.runScript("BEGIN EXCLUSIVE").ok);
    click(saveButton(*w));
    other.runScript("ROLLBACK");
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("失败！"));
    EXPECT_EQ(box(*w, "编辑框_站名")->text(), QStringLiteral("演示 'x'"));  // nothing typed is lost
    click(saveButton(*w));
    EXPECT_FALSE(rule(3).empty());
}

TEST_F(Options, CategoriesKeepTheirPlansByNameAndReachTheTreeAtOnce) {
    auto w = open(2);
    auto* editor = at<QPlainTextEdit>(*w, "分类编辑框");
    auto* tree = child<QTreeWidget>(main.get(), QStringLiteral("栏目框"));
    auto classOf = [&](int plan) { return rule(plan)[kRuleClass]; };
    // 论坛 (plan 1) goes, 新闻 (plan 2) moves up: asked where plan 1 goes; "no" changes nothing.
    editor->setPlainText(QStringLiteral("新闻\n\n博客\n"));
    click(at<QPushButton>(*w, "保存栏目"));
    EXPECT_TRUE(
        dialogs.saw(QStringLiteral("分类 “论坛” 中还有 1 个方案。删除后，这些方案归入分类“新闻”。确定吗？")));
    EXPECT_EQ(Settings(dir / "tovimo.ini").read(SettingKey::categories()), gbk("<论坛><新闻>"));
    EXPECT_EQ(classOf(1), "1");
    dialogs.answer = true;
    click(at<QPushButton>(*w, "保存栏目"));
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("　保存成功！"));
    EXPECT_EQ(Settings(dir / "tovimo.ini").read(SettingKey::categories()), gbk("<新闻><博客>"));
    EXPECT_EQ(classOf(2), "1");  // 新闻乙 stays under 新闻
    EXPECT_EQ(classOf(1), "1");  // where the user agreed
    // The editor offers them at once, and the tree shows them without a refresh.
    auto* category = at<QComboBox>(*w, "组合框1");
    ASSERT_EQ(category->count(), 2);
    EXPECT_EQ(category->itemText(1), QStringLiteral("博客"));
    ASSERT_GE(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("新闻"));
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 2);

    // A line renamed in place keeps its plans; swapped lines take theirs along. No question.
    dialogs.shown.clear();
    editor->setPlainText(QStringLiteral("时事\n博客"));
    click(at<QPushButton>(*w, "保存栏目"));
    EXPECT_EQ(classOf(1), "1");
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("时事"));
    editor->setPlainText(QStringLiteral("博客\n时事"));
    click(at<QPushButton>(*w, "保存栏目"));
    EXPECT_EQ(classOf(1), "2");
    EXPECT_EQ(classOf(2), "2");
    EXPECT_EQ(tree->topLevelItem(1)->text(0), QStringLiteral("时事"));
    EXPECT_EQ(tree->topLevelItem(1)->childCount(), 2);
    for (const auto& shown : dialogs.shown)
        EXPECT_NE(shown.icon, QMessageBox::Question) << shown.text.toStdString();

    // A read-only settings file is left as it was, and so are the plans.
    const std::string before = test::readFile(dir / "tovimo.ini");
    std::filesystem::permissions(dir / "tovimo.ini", std::filesystem::perms::owner_read);
    editor->setPlainText(QStringLiteral("别的\n时事"));
    click(at<QPushButton>(*w, "保存栏目"));
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("保存失败，请重试！"));
    EXPECT_EQ(test::readFile(dir / "tovimo.ini"), before);
    EXPECT_EQ(classOf(1), "2");
    std::filesystem::permissions(dir / "tovimo.ini", std::filesystem::perms::owner_all);
}

TEST_F(Options, ConsoleRunsOnTheMainConnectionAndShowsRows) {
    auto w = open(2);
    auto* sql = at<QPlainTextEdit>(*w, "sql框");
    auto* run = at<QPushButton>(*w, "按钮_执行SQL");
    sql->setPlainText(QStringLiteral("select id, name from rule order by id"));
    click(run);
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("SQL执行结果"));
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("SQL成功！"));
    auto* rows = at<QTableWidget>(*w, "SQL结果行");
    ASSERT_EQ(rows->rowCount(), 2);
    EXPECT_EQ(rows->item(1, 1)->text(), QStringLiteral("新闻乙"));
    // The statement is echoed in the main window's status box.
    EXPECT_TRUE(test::statusText(main.get())
                    .contains(QStringLiteral("select id, name from rule order by idSQL成功！")));
    sql->setPlainText(QString());
    click(run);
    EXPECT_TRUE(dialogs.shown.back().text.startsWith(QStringLiteral("SQL出错：")));
    sql->setPlainText(QStringLiteral("  -- only a comment\n"));
    click(run);
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("SQL成功！"));
    sql->setPlainText(QStringLiteral("select * from nowhere"));
    click(run);
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("SQL出错：no such table: nowhere，请重启软件！"));
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

using test::child;
using test::click;
using test::GuiFixture;
using test::typeInto;

class TitleRulesWindow : public GuiFixture {
protected:
    void SetUp() override {
        makeProgramDir();
        addPlan(1, 1, "论坛甲", "http://a.example/", 1);
        main = startWindow();
    }
    std::unique_ptr<gui::MainWindow> main;
};

TEST_F(TitleRulesWindow, TheAdvancedPageKeepsTheRulesForEveryPlan) {
    {
        gui::OptionsWindow w(main->optionsContext(), 2, main.get());
        auto* group = child<QGroupBox>(&w, QStringLiteral("数据库框1"));
        EXPECT_TRUE(group->isEnabled());
        click(child<QCheckBox>(group, QStringLiteral("选择框1")));
        typeInto(child<QLineEdit>(group, QStringLiteral("编辑框1")), QStringLiteral("招聘,转让"));
        click(child<QCheckBox>(group, QStringLiteral("选择框2")));
        typeInto(child<QLineEdit>(group, QStringLiteral("编辑框2")), QStringLiteral("广告"));
        click(child<QRadioButton>(group, QStringLiteral("单选提醒")));
        click(child<QPushButton>(&w, QStringLiteral("保存规则")));
        EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("　保存成功！"));
    }
    Database db;
    db.open(dir / "tovi.sdb");
    auto saved = loadTitleRules(db, kGlobalRules);
    ASSERT_TRUE(saved.has_value());
    EXPECT_TRUE(saved->includeOn);
    EXPECT_EQ(saved->include, gbk("招聘,转让"));
    EXPECT_EQ(saved->exclude, gbk("广告"));
    EXPECT_EQ(saved->action, TitleRules::Action::Alert);
    // The window shows them again when it opens next.
    gui::OptionsWindow again(main->optionsContext(), 2, main.get());
    EXPECT_EQ(child<QLineEdit>(&again, QStringLiteral("编辑框1"))->text(), QStringLiteral("招聘,转让"));
    EXPECT_TRUE(child<QRadioButton>(&again, QStringLiteral("单选提醒"))->isChecked());
}

TEST_F(TitleRulesWindow, APlanCarriesItsOwnRulesFromTheEditor) {
    gui::OptionsWindow w(main->optionsContext(), 1, main.get());
    auto* button = child<QPushButton>(&w, QStringLiteral("按钮_标题规则"));
    EXPECT_FALSE(button->isEnabled());  // a new plan has no id yet
    Database db;
    db.open(dir / "tovi.sdb");
    gui::TitleRulesDialog dialog(db, dialogs, 1, &w);
    auto* useGlobal = child<QCheckBox>(&dialog, QStringLiteral("使用全局规则"));
    EXPECT_TRUE(useGlobal->isChecked());
    click(useGlobal);
    click(child<QCheckBox>(&dialog, QStringLiteral("选择框2")));
    typeInto(child<QLineEdit>(&dialog, QStringLiteral("编辑框2")), QStringLiteral("广告"));
    click(child<QDialogButtonBox>(&dialog, QString())->button(QDialogButtonBox::Ok));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(rulesForPlan(db, 1).exclude, gbk("广告"));
    EXPECT_FALSE(rulesForPlan(db, 2).active());
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

// Keyboard alone: Tab leaves the cookie box (no tab is typed into it), and Escape with edits
// not saved asks first.
TEST_F(Options, TabLeavesTheCookieBoxAndEscapeAsksBeforeDroppingEdits) {
    auto w = open(1);
    w->show();
    QApplication::setActiveWindow(w.get());
    auto* cookie = at<QPlainTextEdit>(*w, "cookie框");
    cookie->setFocus();
    ASSERT_TRUE(waitUntil([&] { return cookie->hasFocus(); }));
    QTest::keyClick(cookie, Qt::Key_Tab);
    EXPECT_FALSE(cookie->hasFocus());
    EXPECT_EQ(cookie->toPlainText(), QString());
    // The editor's order: the plan's name, its category, its encoding.
    box(*w, "编辑框_站名")->setFocus();
    ASSERT_TRUE(waitUntil([&] { return box(*w, "编辑框_站名")->hasFocus(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(at<QCheckBox>(*w, "gbk")->hasFocus())
        << QApplication::focusWidget()->objectName().toStdString();
    typeInto(box(*w, "编辑框_站名"), QStringLiteral("还没保存"));
    dialogs.answer = false;
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialogs.saw(QStringLiteral("修改还没有保存")));
    EXPECT_TRUE(w->isVisible());  // kept, edits and all
    EXPECT_EQ(box(*w, "编辑框_站名")->text(), QStringLiteral("还没保存"));
    dialogs.answer = true;
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible()) << dialogs.shown.size();
}

// Nothing edited: Escape closes at once, without a question; a ticked box is an edit too.
TEST_F(Options, EscapeWithoutEditsClosesWithoutAsking) {
    auto w = open(0);
    w->show();
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(dialogs.saw(QStringLiteral("修改还没有保存")));

    auto edited = open(1);
    edited->show();
    click(at<QCheckBox>(*edited, "自签证书"));
    QTest::keyClick(edited.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialogs.saw(QStringLiteral("修改还没有保存")));
    EXPECT_TRUE(edited->isVisible());
}

// Categories or title rules typed on 高级设置 are not thrown away by Escape without a question.
TEST_F(Options, EscapeAsksBeforeDroppingTypedCategoriesAndRules) {
    struct Case {
        const char* what;
        std::function<void(gui::OptionsWindow&)> edit;
    } cases[] = {
        {"a category typed",
         [this](gui::OptionsWindow& w) {
             at<QPlainTextEdit>(w, "分类编辑框")->appendPlainText(QStringLiteral("博客"));
         }},
        {"a rule ticked", [this](gui::OptionsWindow& w) { click(at<QCheckBox>(w, "选择框1")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.shown.clear();
        auto w = open(2);
        w->show();
        c.edit(*w);
        dialogs.answer = false;
        QTest::keyClick(w.get(), Qt::Key_Escape);
        EXPECT_TRUE(dialogs.saw(QStringLiteral("高级设置 中的分类或标题规则还没有保存")));
        EXPECT_TRUE(w->isVisible());
        dialogs.answer = true;
        QTest::keyClick(w.get(), Qt::Key_Escape);
        EXPECT_FALSE(w->isVisible());
    }
}

TEST_F(Options, PlansSavedTickedOrDeletedReachTheRunningMonitorAtOnceAndADeleteCanBeUndone) {
    {
        Database db;
        ASSERT_TRUE(db.open(dir / "tovi.sdb"));
        ASSERT_TRUE(db.run("update rule set url='http://127.0.0.1:1/' where id=1").ok);  // nothing to fetch
    }
    main.reset();
    gui::MonitorTiming timing;
    timing.cyclePause = std::chrono::milliseconds(300);
    main = startWindow(timing);
    auto* tree = child<QTreeWidget>(main.get(), QStringLiteral("栏目框"));
    auto planInTree = [&](const QString& name) -> QTreeWidgetItem* {
        for (QTreeWidgetItem* item : tree->findItems(name, Qt::MatchContains | Qt::MatchRecursive))
            return item;
        return nullptr;
    };
    auto articlesOf = [&](int plan) {
        Database db;
        db.open(dir / "tovi.sdb");
        SqlResult r = db.run(Statement("select count(*) from info where planid=?", {plan}));
        return r.rows.empty() ? -1 : std::stoi(r.rows[0][0]);
    };
    typeInto(child<QLineEdit>(main.get(), QStringLiteral("频率框")), QStringLiteral("10"));
    auto* run = child<QPushButton>(main.get(), QStringLiteral("运行"));
    click(run);
    ASSERT_EQ(run->text(), QStringLiteral("停止监控"));

    // Saved while monitoring: in the tree at once; ticked in the plan list: run from the next cycle.
    auto w = open(gui::OptionsWindow::Editor);
    fillAndTest(*w);
    click(saveButton(*w));
    QTreeWidgetItem* added = planInTree(QStringLiteral("演示"));
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->checkState(0), Qt::Unchecked);
    at<QTabWidget>(*w, "选择夹")->setCurrentIndex(gui::OptionsWindow::PlanList);
    selectRow(*w, 2);
    planMenu(*w, QStringLiteral("默认监控该方案"));
    EXPECT_EQ(planInTree(QStringLiteral("演示"))->checkState(0), Qt::Checked);
    EXPECT_TRUE(waitUntil([&] { return articlesOf(3) == 2; }));
    EXPECT_EQ(run->text(), QStringLiteral("停止监控"));

    // Deleted at once, right under 复制; undone until the next action, articles and all.
    selectRow(*w, 2);
    planMenu(*w, QStringLiteral("删除"));
    EXPECT_EQ(planList(*w)->rowCount(), 2);
    EXPECT_EQ(planInTree(QStringLiteral("演示")), nullptr);
    EXPECT_EQ(articlesOf(3), 0);
    auto* undo = at<QPushButton>(*w, "撤销删除");
    ASSERT_TRUE(undo->isVisibleTo(w.get()));
    EXPECT_EQ(undo->text(), QStringLiteral("已删除方案 3，撤销"));
    click(undo);
    EXPECT_FALSE(undo->isVisibleTo(w.get()));
    EXPECT_EQ(planList(*w)->rowCount(), 3);
    ASSERT_NE(planInTree(QStringLiteral("演示")), nullptr);
    EXPECT_EQ(planInTree(QStringLiteral("演示"))->checkState(0), Qt::Checked);
    EXPECT_EQ(articlesOf(3), 2);
    // The next action ends the chance to undo.
    selectRow(*w, 2);
    planMenu(*w, QStringLiteral("删除"));
    ASSERT_TRUE(undo->isVisibleTo(w.get()));
    contextMenu(planList(*w)->viewport());
    EXPECT_FALSE(undo->isVisibleTo(w.get()));
    at<QMenu>(*w, "方案菜单")->close();
    click(run);
    EXPECT_EQ(run->text(), QStringLiteral("监控勾选"));
}

TEST_F(Options, ALargerWindowGivesTheTestResultsAndThePlanListRoom) {
    // Made larger before the editor page is first seen.
    auto w = open(gui::OptionsWindow::PlanList);
    w->show();
    auto* grid = at<QTableWidget>(*w, "测试列表框");
    const QSize small = grid->size();
    const QSize list = planList(*w)->size();
    w->resize(1100, 800);
    QApplication::processEvents();
    at<QTabWidget>(*w, "选择夹")->setCurrentIndex(gui::OptionsWindow::Editor);
    QApplication::processEvents();
    EXPECT_GE(grid->height(), small.height() + 300);
    EXPECT_GE(grid->width(), small.width() + 150);
    EXPECT_LE(at<QPlainTextEdit>(*w, "测试编辑框")->geometry().right(), w->width());
    at<QTabWidget>(*w, "选择夹")->setCurrentIndex(gui::OptionsWindow::PlanList);
    QApplication::processEvents();
    EXPECT_GE(planList(*w)->height(), list.height() + 300);
    // Never smaller than its design.
    w->resize(300, 200);
    EXPECT_GE(w->width(), 724);
    EXPECT_GE(w->height(), 458);
}

TEST_F(Options, PushChannelsAreAddedTestedAndRemovedOnTheirPageWithTokensHidden) {
    test::FakePushService service(R"({"errcode":0})");
    auto w = open(gui::OptionsWindow::Pushes);
    QTableWidget* channels = at<QTableWidget>(*w, "推送渠道列表");
    EXPECT_EQ(channels->rowCount(), 0);
    // A wrong address is refused with the reason and nothing is kept.
    test::typeInto(box(*w, "推送地址"), QStringLiteral("slack://x"));
    click(at<QPushButton>(*w, "推送添加"));
    EXPECT_TRUE(dialogs.saw(QStringLiteral("不认识")));
    EXPECT_EQ(channels->rowCount(), 0);
    const QString url = QStringLiteral("dingtalk://TOKENTOKENTOKEN/SECRETSECRET?base=") +
                        QString::fromStdString(service.base());
    test::typeInto(box(*w, "推送地址"), url);
    test::typeInto(box(*w, "推送名称"), QStringLiteral("值班群"));
    test::typeInto(box(*w, "推送方案"), QStringLiteral("1"));
    at<QCheckBox>(*w, "推送方案健康")->setChecked(false);
    click(at<QPushButton>(*w, "推送添加"));
    ASSERT_EQ(channels->rowCount(), 1);
    EXPECT_EQ(channels->item(0, 1)->text(), QStringLiteral("值班群"));
    EXPECT_FALSE(channels->item(0, 2)->text().contains(QStringLiteral("TOKENTOKENTOKEN")));
    EXPECT_FALSE(channels->item(0, 2)->text().contains(QStringLiteral("SECRETSECRET")));
    EXPECT_EQ(channels->item(0, 4)->text(), QStringLiteral("new"));
    EXPECT_EQ(box(*w, "推送地址")->text(), QString());
    // The test message goes off the GUI thread; the window says what the service answered.
    click(at<QPushButton>(*w, "推送测试"));
    QLabel* result = at<QLabel>(*w, "推送结果");
    ASSERT_TRUE(test::waitUntil([&] { return result->text().startsWith(QStringLiteral("测试消息已送达")); }))
        << result->text().toStdString();
    EXPECT_EQ(service.accepted().size(), 1u);
    dialogs.answer = true;
    channels->selectRow(0);
    click(at<QPushButton>(*w, "推送删除"));
    EXPECT_EQ(channels->rowCount(), 0);
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

using test::child;

// The editor as a screen reader and the keyboard meet it: Tab goes row by row as the fields
// stand, enters the judging modes at the checked one, and every input is named by its caption.
TEST_F(Options, TheEditorsTabFollowsThePageAndEveryInputIsNamedByItsCaption) {
    auto w = open(gui::OptionsWindow::Editor);
    w->show();
    QApplication::setActiveWindow(w.get());
    fillAndTest(*w);  // the data items and saving are open now
    test::click(at<QRadioButton>(*w, "单选框3"));
    QWidget* first = box(*w, "编辑框_站名");
    first->setFocus();
    ASSERT_TRUE(test::waitUntil([&] { return first->hasFocus(); }));
    QStringList visited{first->objectName()};
    for (int i = 0; i < 21; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    const QStringList expected{
        QStringLiteral("编辑框_站名"),   QStringLiteral("组合框1"),       QStringLiteral("gbk"),
        QStringLiteral("ua框"),          QStringLiteral("编辑框_网址"),   QStringLiteral("渲染页面"),
        QStringLiteral("cookie框"),      QStringLiteral("采集前"),        QStringLiteral("采集后"),
        QStringLiteral("自签证书"),      QStringLiteral("正则框"),        QStringLiteral("单选框3"),
        QStringLiteral("tindex框"),      QStringLiteral("oindex框"),      QStringLiteral("uindex框"),
        QStringLiteral("补全框"),        QStringLiteral("浏览器链接"),    QStringLiteral("按钮_保存配置"),
        QStringLiteral("按钮_测试配置"), QStringLiteral("按钮_自动识别"), QStringLiteral("测试列表框"),
        QStringLiteral("测试编辑框")};
    EXPECT_EQ(visited, expected) << visited.join(QStringLiteral(" ")).toStdString();
    // Back from the index boxes lands on the checked mode too; arrows move within the modes.
    box(*w, "tindex框")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("单选框3"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    EXPECT_TRUE(at<QRadioButton>(*w, "单选框2")->isChecked());
    box(*w, "tindex框")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("单选框2"));

    // Every input has a name of its own, from its caption where it has one.
    QWidget* page = child<QWidget>(w.get(), QStringLiteral("分组框采集项"))->parentWidget();
    QStringList names;
    for (QWidget* input : page->findChildren<QWidget*>()) {
        if (!qobject_cast<QLineEdit*>(input) && !qobject_cast<QComboBox*>(input) &&
            !qobject_cast<QPlainTextEdit*>(input) && !qobject_cast<QTableWidget*>(input))
            continue;
        if (qobject_cast<QComboBox*>(input->parentWidget())) continue;  // a combo box's own line
        EXPECT_FALSE(input->accessibleName().isEmpty()) << input->objectName().toStdString();
        EXPECT_NE(input->accessibleName(), QStringLiteral("采集配置"));
        EXPECT_NE(input->accessibleName(), QStringLiteral("数据项"));
        names << input->accessibleName();
    }
    EXPECT_EQ(names.size(), QSet<QString>(names.begin(), names.end()).size())
        << names.join(QStringLiteral(" ")).toStdString();
    QWidget* urlBuddy = nullptr;
    for (QLabel* caption : page->findChildren<QLabel*>())
        if (caption->text() == QStringLiteral("监控网址")) urlBuddy = caption->buddy();
    EXPECT_EQ(urlBuddy, box(*w, "编辑框_网址"));
    EXPECT_FALSE(at<QCheckBox>(*w, "渲染页面")->accessibleDescription().isEmpty());
}

}  // namespace
}  // namespace tovi
