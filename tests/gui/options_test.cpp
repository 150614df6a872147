#include <httplib.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>

#include "GuiFixture.h"
#include "core/settings/Settings.h"
#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "gui/OptionsWindow.h"
#include "gui/PlanTreeWidget.h"
#include "support/LoopbackServers.h"

namespace tovi {
namespace {

using test::GuiFixture;
using test::waitUntil;

class Options : public GuiFixture {
protected:
    void SetUp() override {
        server.server().Get("/list.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(gbk("<html><ul><li><a href=\"t-7.html\">七号 'quoted'</a></li><li><a "
                                "href=\"t-8.html\">八号</a>"
                                "</li></ul></html>"),
                            "text/html");
        });
        server.start();
        makeProgramDir();
        addPlan(1, 1, "论坛甲", "http://a.example/", 1);
        addPlan(2, 2, "新闻乙", "http://b.example/", 0);
        main = startWindow();
    }
    std::vector<std::string> rule(int id) {
        Database db;
        db.open(dir / "tovi.sdb");
        auto r = db.run(Statement("select * from rule where id=?", {id}));
        return r.rows.empty() ? std::vector<std::string>{} : r.rows[0];
    }
    void selectRow(gui::OptionsWindow& w, int row) {
        w.planList()->clearSelection();
        w.planList()->setCurrentCell(row, 0);
        w.planList()->selectRow(row);
    }
    // Fills the editor as a user would and runs the test until it is done.
    void fillAndTest(gui::OptionsWindow& w) {
        w.nameBox()->setText(QStringLiteral("演示 'x'"));
        w.urlBox()->setText(QString::fromStdString(server.url("/list.html")));
        w.beforeBox()->setText(QStringLiteral("<ul>"));
        w.afterBox()->setText(QStringLiteral("</ul>"));
        w.regexBox()->setEditText(QStringLiteral("<a href=\"t-(\\d+)\\.html\">(.*?)</a>"));
        w.startTest();
        ASSERT_TRUE(waitUntil([&] { return !w.testRunning(); }));
    }

    test::HttpTestServer server;
    std::unique_ptr<gui::MainWindow> main;
};

TEST_F(Options, OpensOnTheRequestedPageInItsDesignState) {
    gui::OptionsWindow w(*main, dialogs, 3);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("选项"));
    EXPECT_EQ(w.tabs()->currentIndex(), 2);  // clamped to "高级设置"
    EXPECT_EQ(w.idBox()->text(), QStringLiteral("0"));
    EXPECT_EQ(w.saveButton()->text(), QStringLiteral("新建规则"));
    EXPECT_FALSE(w.saveButton()->isEnabled());
    EXPECT_FALSE(w.dataItems()->isEnabled());
    EXPECT_TRUE(w.gbkBox()->isChecked());
    EXPECT_TRUE(w.modeButton(0)->isChecked());
    EXPECT_EQ(w.judgeMode(), 0);  // the editor's mode matches the buttons
    EXPECT_EQ(w.beforeBox()->text(), QStringLiteral("<html"));
    EXPECT_EQ(w.templateBox()->text(), QStringLiteral("[]"));
    EXPECT_EQ(w.uindexBox()->text(), QStringLiteral("1"));
    EXPECT_EQ(w.regexBox()->count(), 4);
    ASSERT_EQ(w.planList()->rowCount(), 2);
    EXPECT_EQ(w.planList()->horizontalHeaderItem(0)->text(), QStringLiteral("0id"));
    EXPECT_EQ(w.planList()->horizontalHeaderItem(1)->text(), QStringLiteral("1class"));
    EXPECT_EQ(w.planList()->item(0, 0)->checkState(), Qt::Checked);
    EXPECT_EQ(w.planList()->item(1, 0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(w.categoryBox()->count(), 2);
}

TEST_F(Options, CreateTestSaveThenEditRoundTrip) {
    gui::OptionsWindow w(*main, dialogs, 1);
    fillAndTest(w);
    EXPECT_TRUE(dialogs.saw(QStringLiteral("成功取到　2条文章！")));
    EXPECT_TRUE(w.saveButton()->isEnabled());
    EXPECT_TRUE(w.dataItems()->isEnabled());
    ASSERT_EQ(w.testList()->columnCount(), 3);
    EXPECT_EQ(w.testList()->item(0, 2)->text(), QStringLiteral("七号 'quoted'"));

    // A user's change of the URL locks saving again; a program's load does not.
    w.urlBox()->setText(w.urlBox()->text());  // program-set: no lock
    EXPECT_TRUE(w.saveButton()->isEnabled());
    emit w.urlBox()->textEdited(w.urlBox()->text());  // as a keystroke reports it
    EXPECT_FALSE(w.saveButton()->isEnabled());
    EXPECT_TRUE(w.dataItems()->isEnabled());
    w.startTest();
    ASSERT_TRUE(waitUntil([&] { return !w.testRunning(); }));
    EXPECT_TRUE(w.saveButton()->isEnabled());

    w.categoryBox()->setCurrentIndex(1);
    w.modeButton(2)->click();
    EXPECT_EQ(w.judgeMode(), 8);
    EXPECT_TRUE(w.uindexBox()->isEnabled());
    w.tindexBox()->setText("2");
    w.uindexBox()->setText("");
    w.templateBox()->setText(QStringLiteral("http://site/t-[1].html"));
    w.cookieBox()->setPlainText(QStringLiteral("sid='1'"));
    w.savePlan();
    EXPECT_TRUE(w.testText()->toPlainText().contains(QStringLiteral("成功，SQL语句已复制备用！")));
    // The export form, without the id this database gave the plan.
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(
        QStringLiteral("insert into rule(isdo,code,url,before,after,regular,buquan,cookie,")));
    EXPECT_TRUE(w.testText()->toPlainText().contains(QStringLiteral("values('0','")));
    EXPECT_EQ(w.idBox()->text(), QStringLiteral("0"));  // back to a blank new plan
    EXPECT_EQ(w.judgeMode(), 0);
    ASSERT_EQ(w.planList()->rowCount(), 3);

    auto saved = rule(3);
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(saved[kRuleName], gbk("演示 'x'"));
    EXPECT_EQ(saved[kRuleCookie], "sid='1'");
    EXPECT_EQ(saved[kRuleClass], "2");
    EXPECT_EQ(saved[kRuleType], "8");
    EXPECT_EQ(saved[kRuleUindex], "0");
    EXPECT_EQ(saved[kRuleIsdo], "0");

    // Load it again, change the name, update.
    selectRow(w, 2);
    w.loadEditor(0);
    EXPECT_EQ(w.idBox()->text(), QStringLiteral("3"));
    EXPECT_EQ(w.saveButton()->text(), QStringLiteral("更新规则"));
    EXPECT_TRUE(w.modeButton(2)->isChecked());
    EXPECT_EQ(w.nameBox()->text(), QStringLiteral("演示 'x'"));
    w.nameBox()->setText(QStringLiteral("改过的名字"));
    w.savePlan();
    EXPECT_EQ(rule(3)[kRuleName], gbk("改过的名字"));
}

TEST_F(Options, CopyDeleteDefaultFlagAndExport) {
    gui::OptionsWindow w(*main, dialogs, 0);
    selectRow(w, 0);
    w.loadEditor(1);
    EXPECT_EQ(w.idBox()->text(), QStringLiteral("0"));
    EXPECT_EQ(w.saveButton()->text(), QStringLiteral("新建规则"));
    EXPECT_EQ(w.nameBox()->text(), QStringLiteral("论坛甲"));
    EXPECT_EQ(w.uindexBox()->text(), QStringLiteral("1"));
    EXPECT_EQ(w.categoryBox()->currentText(), QStringLiteral("请选择分类"));

    // With both rows selected, the flag acts on the current row only.
    w.planList()->selectAll();
    w.planList()->setCurrentCell(1, 0, QItemSelectionModel::Select);
    w.toggleCurrentDefaultFlag();
    EXPECT_EQ(rule(2)[kRuleIsdo], "1");
    EXPECT_EQ(rule(1)[kRuleIsdo], "1");

    // Export both, then import on a fresh database through its console path.
    w.planList()->selectAll();
    w.exportSelectedPlans();
    EXPECT_TRUE(dialogs.shown.back().caption == QStringLiteral("已复制所选方案的SQL语句！"));
    QString exported = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(exported.startsWith(QStringLiteral("下面为导出的方案对应SQL语句")));
    EXPECT_EQ(exported.count(QStringLiteral("insert into rule(isdo,")), 2);

    selectRow(w, 0);
    w.deleteCurrentPlan();
    EXPECT_TRUE(rule(1).empty());
    EXPECT_FALSE(rule(2).empty());
    EXPECT_EQ(w.planList()->rowCount(), 1);

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
    gui::OptionsWindow w(*main, dialogs, 1);
    fillAndTest(w);
    dialogs.shown.clear();
    w.regexBox()->setEditText(QStringLiteral("(broken"));
    w.startTest();
    ASSERT_TRUE(waitUntil([&] { return !w.testRunning(); }));
    EXPECT_TRUE(dialogs.saw(QStringLiteral("匹配结果为0,请检查正则匹配规则!")));
    EXPECT_EQ(w.testList()->columnCount(), 0);

    w.regexBox()->setEditText(QStringLiteral("(.*)"));
    w.urlBox()->setText(QStringLiteral("http://127.0.0.1:1/"));
    w.startTest();
    ASSERT_TRUE(waitUntil([&] { return !w.testRunning(); }));
    EXPECT_TRUE(
        w.testText()->toPlainText().startsWith(QStringLiteral("出错！截取源码为空，请检查方案的采集区域！")));

    test::RawHttpServer hanging("", /*hang=*/true);
    w.urlBox()->setText(QString::fromStdString(hanging.url("/")));
    w.startTest();
    EXPECT_EQ(w.testButton()->text(), QStringLiteral("取消测试"));
    ASSERT_TRUE(hanging.waitForRequests(1));
    w.cancelTest();
    EXPECT_FALSE(w.testRunning());
    EXPECT_EQ(w.testButton()->text(), QStringLiteral("规则测试"));

    w.regexBox()->setEditText(QString());
    w.startTest();
    ASSERT_TRUE(waitUntil([&] { return !w.testRunning(); }));
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("正则匹配规则不能为空!"));
    EXPECT_EQ(dialogs.shown.back().icon, QMessageBox::Critical);
}

TEST_F(Options, LockedDatabaseKeepsTheEditorAndSaysSo) {
    gui::OptionsWindow w(*main, dialogs, 1);
    fillAndTest(w);
    Database other;
    ASSERT_TRUE(other.open(dir / "tovi.sdb"));
    ASSERT_TRUE(other.runScript("BEGIN EXCLUSIVE").ok);
    w.savePlan();
    other.runScript("ROLLBACK");
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("失败！"));
    EXPECT_EQ(w.nameBox()->text(), QStringLiteral("演示 'x'"));  // nothing typed is lost
    w.savePlan();
    EXPECT_FALSE(rule(3).empty());
}

TEST_F(Options, CategoriesReachTheTreeAfterARefresh) {
    gui::OptionsWindow w(*main, dialogs, 2);
    EXPECT_EQ(w.categoryEditor()->toPlainText(), QStringLiteral("论坛\n新闻"));
    w.categoryEditor()->setPlainText(QStringLiteral("新闻\n\n博客\n"));
    w.saveCategories();
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("　保存成功！"));
    EXPECT_EQ(Settings(dir / "tovimo.ini").read(SettingKey::categories()), gbk("<新闻><博客>"));
    main->refreshIfIdle();
    ASSERT_EQ(main->planTree()->topLevelItemCount(), 2);
    EXPECT_EQ(main->planTree()->topLevelItem(0)->text(0), QStringLiteral("新闻"));
    // Plans follow the position: plan 1 (class 1) is now under 新闻; plan 2 (class 2) under 博客.
    EXPECT_EQ(main->planTree()->topLevelItem(1)->child(0)->text(0), QStringLiteral("新闻乙 [2]"));
}

TEST_F(Options, ConsoleRunsOnTheMainConnectionAndShowsRows) {
    gui::OptionsWindow w(*main, dialogs, 2);
    w.sqlBox()->setPlainText(QStringLiteral("select id, name from rule order by id"));
    w.runConsoleSql();
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("SQL执行结果"));
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("SQL成功！"));
    ASSERT_EQ(w.sqlRows()->rowCount(), 2);
    EXPECT_EQ(w.sqlRows()->item(1, 1)->text(), QStringLiteral("新闻乙"));
    w.sqlBox()->setPlainText(QString());
    w.runConsoleSql();
    EXPECT_TRUE(dialogs.shown.back().text.startsWith(QStringLiteral("SQL出错：")));
    w.sqlBox()->setPlainText(QStringLiteral("select * from nowhere"));
    w.runConsoleSql();
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("SQL出错：no such table: nowhere，请重启软件！"));
}

}  // namespace
}  // namespace tovi
