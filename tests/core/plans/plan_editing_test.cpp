#include <gtest/gtest.h>

#include <tuple>

#include "core/plans/PlanEditing.h"
#include "core/plans/PlanExport.h"
#include "core/plans/PlanOptions.h"
#include "core/store/Schema.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

class PlanEditingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(db.open(test::makeDatabase(dir.path()))); }
    std::vector<std::string> row(std::int64_t id) {
        auto r = db.run(Statement("select * from rule where id=?", {id}));
        return r.rows.empty() ? std::vector<std::string>{} : r.rows[0];
    }
    static PlanFields nastyFields() {
        PlanFields f;
        f.code = "1";
        f.classNumber = 2;
        f.url = gbk("http://论坛.example/list?a='1'");
        f.before = gbk("<div class=\"l\">'开始'");
        f.after = "</div>";
        f.regular = gbk("<a href='(\\d+)'>(.*?)</a> it's");
        f.buquan = "http://x/[1]";
        f.cookie = "a='1'; b=2";
        f.tindex = "2";
        f.uindex = "";
        f.oindex = "0";
        f.ua = "UA '); drop table info; --";
        f.name = gbk("方案 'O'Neil'");
        f.type = 8;
        return f;
    }
    test::TempDir dir;
    Database db;
};

TEST_F(PlanEditingTest, SaveBindsEveryTextExactly) {
    Result<SavedPlan> saved = savePlan(db, nastyFields(), 0);
    ASSERT_TRUE(saved.ok()) << saved.error();
    EXPECT_EQ(saved->id, 1);
    auto r = row(1);
    PlanFields f = nastyFields();
    EXPECT_EQ(r[kRuleName], f.name);
    EXPECT_EQ(r[kRuleUrl], f.url);
    EXPECT_EQ(r[kRuleRegular], f.regular);
    EXPECT_EQ(r[kRuleUa], f.ua);
    EXPECT_EQ(r[kRuleCookie], f.cookie);
    EXPECT_EQ(r[kRuleBefore], f.before);
    EXPECT_EQ(r[kRuleUindex], "0");  // empty article-id index stored as 0
    EXPECT_EQ(r[kRuleClass], "2");
    EXPECT_EQ(r[kRuleType], "8");
    EXPECT_EQ(r[kRuleIsdo], "0");
    // The user agent's "drop table" stayed a value: the article table is still there, untouched.
    SqlResult articles = db.run("select count(*) from info");
    ASSERT_TRUE(articles.ok);
    EXPECT_EQ(articles.rows[0][0], "0");
    EXPECT_NE(saved->statement.find("'UA ''); drop table info; --'"), std::string::npos);

    // The statement shown and copied has no id: pasted into another tovi.sdb's console (which
    // has a plan 1 already) it makes a new plan there, with the same texts.
    EXPECT_EQ(saved->statement, planInsertSql(r));
    EXPECT_EQ(saved->statement.find("(id,"), std::string::npos);
    test::TempDir otherDir;
    Database other;
    ASSERT_TRUE(other.open(test::makeDatabase(otherDir.path())));
    other.run("insert into rule(id,name) values(1,'taken')");
    ASSERT_TRUE(other.runScript(saved->statement).ok) << other.lastError();
    auto copied = other.run("select * from rule where id=2").rows;
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(copied[0][kRuleName], f.name);
    EXPECT_EQ(copied[0][kRuleRegular], f.regular);
    EXPECT_EQ(copied[0][kRuleUrl], f.url);

    // Update keeps isdo and the last-article state.
    db.run("update rule set isdo=1, arttile='seen', lastid=77 where id=1");
    f.name = gbk("改名");
    f.oindex = "";
    Result<SavedPlan> updated = savePlan(db, f, 1);
    ASSERT_TRUE(updated.ok());
    r = row(1);
    EXPECT_EQ(r[kRuleName], gbk("改名"));
    EXPECT_EQ(r[kRuleOindex], "0");
    EXPECT_EQ(r[kRuleIsdo], "1");
    EXPECT_EQ(r[kRuleArttile], "seen");
    EXPECT_EQ(r[kRuleLastid], "77");

    // Updating a plan that was deleted meanwhile says so.
    deletePlan(db, 1);
    EXPECT_FALSE(savePlan(db, f, 1).ok());
}

// The least a plan needs to find anything: a page and an expression.
PlanFields runnable() {
    PlanFields f;
    f.url = "http://site/list.html";
    f.regular = "<a href=\"(\\d+)\">(.*?)</a>";
    return f;
}

TEST_F(PlanEditingTest, NewPlansTakeFreeIdsAndStopAt200) {
    db.runScript("insert into rule(id,name) values(1,'a'); insert into rule(id,name) values(3,'c')");
    EXPECT_EQ(savePlan(db, runnable(), 0)->id, 2);
    EXPECT_EQ(savePlan(db, runnable(), 0)->id, 4);
    db.runScript(
        "WITH RECURSIVE n(i) AS (SELECT 5 UNION ALL SELECT i+1 FROM n WHERE i < 200) "
        "INSERT INTO rule(id,name) SELECT i, 'x' FROM n");
    Result<SavedPlan> full = savePlan(db, runnable(), 0);
    EXPECT_FALSE(full.ok());
    EXPECT_NE(gbkToUtf8(full.error()).find("200"), std::string::npos);
    EXPECT_EQ(db.run("select count(*) from rule").rows[0][0], "200");
}

TEST_F(PlanEditingTest, APlanWithoutAPageOrAnExpressionIsRefused) {
    for (auto [url, regular, reason] :
         {std::tuple{"", "(x)", "监控网址不能为空"}, std::tuple{"http://a/", " ", "正则匹配不能为空"}}) {
        PlanFields f = runnable();
        f.url = url;
        f.regular = regular;
        for (std::int64_t id : {0, 1}) {
            const Result<SavedPlan> r = savePlan(db, f, id);
            EXPECT_FALSE(r.ok());
            EXPECT_NE(gbkToUtf8(r.error()).find(reason), std::string::npos) << gbkToUtf8(r.error());
        }
    }
    EXPECT_EQ(db.run("select count(*) from rule").rows[0][0], "0");
}

TEST_F(PlanEditingTest, ExportRecreatesTheSamePlansElsewhere) {
    ASSERT_TRUE(savePlan(db, nastyFields(), 0).ok());
    PlanFields plain = runnable();
    plain.code = "0";
    plain.name = gbk("新闻");
    plain.classNumber = 1;
    ASSERT_TRUE(savePlan(db, plain, 0).ok());
    db.run("update rule set class=NULL where id=2");  // an empty class must still give a valid statement
    auto rows = db.run("select * from rule order by id").rows;
    std::string text = exportPlansSql(rows);
    EXPECT_EQ(
        gbkToUtf8(text).rfind("-- 下面为导出的方案对应SQL语句，高级设置中，执行SQL语句，可快速新建本方案！"
                              "\r\n\r\ninsert into rule(isdo,code,url,",
                              0),
        0u);

    test::TempDir other;
    Database target;
    ASSERT_TRUE(target.open(test::makeDatabase(other.path())));
    // The whole text runs as it is, its header line a comment.
    SqlResult applied = target.runScript(text);
    ASSERT_TRUE(applied.ok) << gbkToUtf8(applied.error) << "\n" << gbkToUtf8(text);
    auto copied = target.run("select * from rule order by id").rows;
    ASSERT_EQ(copied.size(), 2u);
    for (int k : {kRuleCode, kRuleName, kRuleUrl, kRuleCookie, kRuleUa, kRuleBefore, kRuleAfter, kRuleRegular,
                  kRuleBuquan, kRuleTindex, kRuleUindex, kRuleOindex, kRuleType}) {
        SCOPED_TRACE(ruleColumnName(k));
        EXPECT_EQ(copied[0][k], rows[0][k]);
        EXPECT_EQ(copied[1][k], rows[1][k]);
    }
    EXPECT_EQ(copied[0][kRuleIsdo], "0");
    EXPECT_EQ(copied[1][kRuleClass], "0");
}

// Whether a plan composes links as a browser does is kept beside its row: saved with a new plan,
// left alone by the other switch, carried by an export (as a comment other readers skip) and
// read back by an import, even past values holding ";", "--" and quotes.
TEST_F(PlanEditingTest, HowAPlanComposesLinksTravelsWithItsExport) {
    PlanFields browser = nastyFields();
    browser.browserLinks = true;
    ASSERT_TRUE(savePlan(db, browser, 0).ok());
    ASSERT_TRUE(savePlan(db, runnable(), 0).ok());
    ASSERT_TRUE(setAcceptsOwnCertificate(db, 1, true).ok());
    EXPECT_TRUE(composesBrowserLinks(db, 1));
    EXPECT_TRUE(acceptsOwnCertificate(db, 1));
    EXPECT_FALSE(composesBrowserLinks(db, 2));

    const auto rows = db.run("select * from rule order by id").rows;
    const std::string text = exportPlansSql(rows, false, planSwitches(db, rows));
    EXPECT_EQ(text.find(kLinksComment), text.rfind(kLinksComment));
    ASSERT_NE(text.find(kLinksComment), std::string::npos);

    test::TempDir other;
    Database target;
    ASSERT_TRUE(target.open(test::makeDatabase(other.path())));
    ASSERT_TRUE(target.runScript(text).ok);  // still a script that runs as it is
    target.run("delete from rule");
    Result<ImportedPlans> imported = importPlans(target, text);
    ASSERT_TRUE(imported.ok()) << gbkToUtf8(imported.error());
    ASSERT_EQ(imported->ids.size(), 2u);
    EXPECT_TRUE(composesBrowserLinks(target, imported->ids[0]));
    EXPECT_FALSE(composesBrowserLinks(target, imported->ids[1]));
    EXPECT_FALSE(acceptsOwnCertificate(target, imported->ids[0]));  // a login's switch stays home
}

// A file from before the switch keeps its other plan options and gains the switch, off.
TEST(PlanOptionsFile, AnOlderTableGainsTheColumnAndKeepsItsRows) {
    test::TempDir dir;
    const auto path = test::makeDatabase(dir.path());
    {
        Database old;
        ASSERT_TRUE(old.open(path));
        ASSERT_TRUE(
            old.runScript("DROP TABLE plan_options; CREATE TABLE plan_options(planid INTEGER PRIMARY KEY, "
                          "own_certificate INTEGER); INSERT INTO plan_options VALUES(3, 1);")
                .ok);
    }
    Database db;
    std::vector<std::string> repaired;
    ASSERT_TRUE(openMainDatabase(db, path, &repaired).ok());
    EXPECT_TRUE(repaired.empty());
    EXPECT_TRUE(acceptsOwnCertificate(db, 3));
    EXPECT_FALSE(composesBrowserLinks(db, 3));
    ASSERT_TRUE(setComposesBrowserLinks(db, 3, true).ok());
    EXPECT_TRUE(composesBrowserLinks(db, 3));
    EXPECT_TRUE(acceptsOwnCertificate(db, 3));
}

TEST_F(PlanEditingTest, DeleteAndDefaultFlag) {
    db.runScript(
        "insert into rule(id,name,isdo) values(5,'p','');"
        "insert into info(planid,title) values(5,'kept')");
    EXPECT_TRUE(toggleDefaultFlag(db, 5, "").ok);
    EXPECT_EQ(row(5)[kRuleIsdo], "1");
    EXPECT_TRUE(toggleDefaultFlag(db, 5, "1").ok);
    EXPECT_EQ(row(5)[kRuleIsdo], "0");
    EXPECT_TRUE(toggleDefaultFlag(db, 5, "7").ok);
    EXPECT_EQ(row(5)[kRuleIsdo], "0");
    EXPECT_TRUE(deletePlan(db, 5).ok);
    EXPECT_TRUE(row(5).empty());
    // The articles stay, no longer under the plan's id.
    EXPECT_EQ(db.run("select title, planid from info").rows[0], (std::vector<std::string>{"kept", "0"}));
    // A locked database is reported, not silently ignored.
    Database other;
    ASSERT_TRUE(other.open(dir / "tovi.sdb"));
    db.runScript("insert into rule(id,name) values(6,'q')");
    ASSERT_TRUE(other.runScript("BEGIN EXCLUSIVE").ok);
    Database quick;
    ASSERT_TRUE(quick.open(dir / "tovi.sdb"));
    quick.setBusyTimeout(std::chrono::milliseconds(100));
    EXPECT_FALSE(deletePlan(quick, 6).ok);
    other.runScript("ROLLBACK");
}

TEST_F(PlanEditingTest, AnUndoneDeleteBringsBackThePlanWithWhatWasKeptForIt) {
    ASSERT_TRUE(db.runScript("insert into rule(id,name,isdo,arttile) values(5,'p','1','last');"
                             "insert into info(planid,title) values(5,'kept');"
                             "insert into info(planid,title) values(0,'another plan''s, long gone');"
                             "insert into title_rules(planid,exclude_on,exclude) values(5,1,'ad');"
                             "insert into plan_options(planid,browser_links) values(5,1)")
                    .ok);
    ASSERT_TRUE(deletePlanUndoably(db, 5).ok);
    EXPECT_TRUE(row(5).empty());
    ASSERT_TRUE(undoPlanDelete(db, 5).ok());
    EXPECT_EQ(row(5)[kRuleArttile], "last");
    EXPECT_EQ(row(5)[kRuleIsdo], "1");
    EXPECT_TRUE(composesBrowserLinks(db, 5));
    EXPECT_EQ(db.run("select exclude from title_rules where planid=5").rows.size(), 1u);
    // Its own articles are its own again; articles of plans removed earlier stay as they were.
    EXPECT_EQ(db.run("select title from info where planid=5").rows,
              (std::vector<std::vector<std::string>>{{"kept"}}));
    EXPECT_EQ(db.run("select count(*) from info where planid=0").rows[0][0], "1");
    EXPECT_FALSE(undoPlanDelete(db, 5).ok());  // once
    // A new plan took the id meanwhile: the undo says so and changes nothing.
    ASSERT_TRUE(deletePlanUndoably(db, 5).ok);
    ASSERT_TRUE(db.runScript("insert into rule(id,name) values(5,'newcomer')").ok);
    Result<> refused = undoPlanDelete(db, 5);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(gbkToUtf8(refused.error()).find("已被另一个方案使用"), std::string::npos);
    EXPECT_EQ(row(5)[kRuleName], "newcomer");
}

TEST_F(PlanEditingTest, AnImportTextCanOnlyAddPlans) {
    ASSERT_TRUE(savePlan(db, nastyFields(), 0).ok());
    db.run("update rule set isdo=1 where id=1");
    const std::string backup = exportPlansSql(db.run("select * from rule").rows, /*keepTicks=*/true);
    const std::string shared = exportPlansSql(db.run("select * from rule").rows);
    db.runScript("insert into info(planid,title) values(1,'kept')");
    struct Case {
        const char* name;
        std::string text;
    } hostile[] = {
        {"ends the transaction and drops a table",
         "COMMIT; DROP TABLE seen_articles; BEGIN; SELECT no_such_function();"},
        {"a plan, then a delete", shared + "delete from info;"},
        {"an update", "update rule set url='http://evil/'"},
        {"an insert elsewhere", "insert into info(planid,title) values(1,'x')"},
        {"a function", "insert into rule(name) values(load_extension('x'))"},
        {"an attach", "attach database '/tmp/x.sdb' as x"},
        {"a pragma", "pragma writable_schema=1"},
        {"a trigger", "create temp trigger t after insert on rule begin delete from info; end"},
        {"more rows than plans can be",
         [] {
             std::string rows = "insert into rule(name) values('a')";
             for (int k = 0; k < 200000; ++k) rows += ",('a')";
             return rows;
         }()},
        {"larger than any export", "insert into rule(name) values('" + std::string(9u << 20, 'x') + "')"},
    };
    for (const Case& c : hostile) {
        SCOPED_TRACE(c.name);
        Result<ImportedPlans> r = importPlans(db, c.text);
        EXPECT_FALSE(r.ok());
        EXPECT_FALSE(r.error().empty());
        EXPECT_EQ(db.run("select count(*) from rule").rows[0][0], "1");
        EXPECT_EQ(db.run("select count(*) from info").rows[0][0], "1");
        EXPECT_TRUE(db.run("select count(*) from seen_articles").ok);
        // Nothing of the import is left standing in front of the plans.
        EXPECT_EQ(db.run("select url from rule where id=1").rows[0][0], nastyFields().url);
    }
    // The same plan again is skipped, unless wanted; the backup keeps the tick, the shared text not.
    Result<ImportedPlans> again = importPlans(db, backup);
    ASSERT_TRUE(again.ok()) << gbkToUtf8(again.error());
    EXPECT_TRUE(again->ids.empty());
    EXPECT_EQ(again->skipped, std::vector<std::string>{nastyFields().name});
    Result<ImportedPlans> twice = importPlans(db, backup, /*allowDuplicates=*/true);
    ASSERT_TRUE(twice.ok());
    EXPECT_EQ(twice->ids, std::vector<int>{2});
    EXPECT_EQ(row(2)[kRuleIsdo], "1");
    EXPECT_EQ(row(2)[kRuleClass], "2");
    EXPECT_EQ(row(2)[kRuleRegular], nastyFields().regular);
    Result<ImportedPlans> third = importPlans(db, shared, true);
    ASSERT_TRUE(third.ok());
    EXPECT_EQ(row(third->ids[0])[kRuleIsdo], "0");
}

TEST_F(PlanEditingTest, ImportTakesFreeIdsAndRefusesPastTwoHundred) {
    // Plan 200 stands; lower ids are free.
    db.runScript("insert into rule(id,name,url) values(200,'last','http://x/')");
    PlanFields f = nastyFields();
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 3; ++i) {
        std::vector<std::string> r(kRuleColumnCount);
        r[kRuleName] = "p" + std::to_string(i);
        r[kRuleUrl] = f.url;
        rows.push_back(r);
    }
    Result<ImportedPlans> r = importPlans(db, exportPlansSql(rows));
    ASSERT_TRUE(r.ok()) << gbkToUtf8(r.error());
    EXPECT_EQ(r->ids, (std::vector<int>{1, 2, 3}));
    // 196 more would make 200: refused whole, with the limit named.
    for (int i = 3; i < 200; ++i) {
        std::vector<std::string> extra(kRuleColumnCount);
        extra[kRuleName] = "p" + std::to_string(i);
        rows.push_back(extra);
    }
    rows.erase(rows.begin(), rows.begin() + 3);
    Result<ImportedPlans> tooMany = importPlans(db, exportPlansSql(rows));
    EXPECT_FALSE(tooMany.ok());
    EXPECT_NE(gbkToUtf8(tooMany.error()).find("方案最多 200 个"), std::string::npos);
    EXPECT_EQ(db.run("select count(*) from rule").rows[0][0], "4");
}

TEST(PlanEditingText, HeadersAndCategories) {
    EXPECT_EQ(planListHeaders({"id", "class", "code"}), (std::vector<std::string>{"0id", "1class", "2code"}));
    struct Case {
        const char* text;
        const char* value;
    } cases[] = {
        {"新闻\r\n论坛\r\n\r\n博客\r\n", "<新闻><论坛><博客>"},
        {"论坛\r\n\r\n新闻", "<论坛><新闻>"},  // no final line break
        {"", ""},
        {"\r\n\r\n", ""},
        {"  \r\n新闻", "<  ><新闻>"},  // spaces only: kept here, dropped when read back
        {"a\nb", "<a\nb>"},            // a lone line feed does not split
        {"x<>y", "<xy>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(categoriesFromEditorText(gbk(c.text)), gbk(c.value));
    }
}

}  // namespace
}  // namespace tovi
