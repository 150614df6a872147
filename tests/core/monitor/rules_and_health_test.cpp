// Title rules in a run, and each plan's health over runs.
#include <gtest/gtest.h>

#include "core/plans/PlanEditing.h"
#include "core/plans/PlanHealth.h"
#include "core/plans/TitleRules.h"
#include "core/text/Gbk.h"
#include "support/EngineFixture.h"

namespace tovi {
namespace {

using test::EngineFixture;
using test::PlanRowValues;

class RulesInARun : public EngineFixture {
protected:
    TitleRules wanted(TitleRules::Action action) {
        TitleRules r;
        r.includeOn = true;
        r.include = gbk("招聘,转让");
        r.excludeOn = true;
        r.exclude = gbk("广告");
        r.action = action;
        return r;
    }
};

TEST_F(RulesInARun, StoreRulesKeepOutDroppedTitlesForGood) {
    PlanRowValues spec;
    spec.url = server.url("/jobs.html");
    const int id = addPlan(spec);
    ASSERT_TRUE(saveTitleRules(db, kGlobalRules, wanted(TitleRules::Action::Store)));
    setPage("/jobs.html", listPage({{3, "招聘前端"}, {2, "今日新闻"}, {1, "转让广告"}}, false));
    monitoring->planRunner().runPlan(id);
    EXPECT_EQ(titles(id), std::vector<std::string>{"招聘前端"});
    EXPECT_NE(sink.utf8().find(" 取到 1 篇新文章（另有 2 篇被标题规则过滤）"), std::string::npos)
        << sink.utf8();
    EXPECT_TRUE(monitoring->alerts().raiseIfNewArticles());
    // Round two: the marker is gone, so every match is looked at again; the dropped ones stay out.
    db.run(Statement("update rule set arttile='gone' where id=?", {id}));
    reloadPlanTable();
    setPage("/jobs.html",
            listPage({{4, "广告：转让"}, {3, "招聘前端"}, {2, "今日新闻"}, {1, "转让广告"}}, false));
    sink.replaceAll("");
    monitoring->planRunner().runPlan(id);
    EXPECT_EQ(titles(id), std::vector<std::string>{"招聘前端"});
    EXPECT_NE(sink.utf8().find(" 取到 0 篇新文章（另有 3 篇此前已保存，已跳过）（另有 1 篇被标题规则过滤）"),
              std::string::npos)
        << sink.utf8();
    EXPECT_FALSE(monitoring->alerts().raiseIfNewArticles());
}

TEST_F(RulesInARun, AlertRulesStoreEverythingAndAlertOnlyForWantedTitles) {
    PlanRowValues spec;
    spec.url = server.url("/alert.html");
    const int id = addPlan(spec);
    ASSERT_TRUE(saveTitleRules(db, id, wanted(TitleRules::Action::Alert)));  // this plan's own
    setPage("/alert.html", listPage({{2, "今日新闻"}, {1, "转让广告"}}, false));
    PlanRunOutcome quiet = monitoring->planRunner().runPlan(id);
    EXPECT_EQ(quiet.stored, 2);
    EXPECT_EQ(quiet.alerting, 0);
    EXPECT_FALSE(monitoring->alerts().raiseIfNewArticles());
    setPage("/alert.html", listPage({{4, "新闻"}, {3, "急招聘"}, {2, "今日新闻"}, {1, "转让广告"}}, false));
    PlanRunOutcome loud = monitoring->planRunner().runPlan(id);
    EXPECT_EQ(loud.stored, 2);
    EXPECT_EQ(loud.alerting, 1);
    EXPECT_EQ(loud.alertTitles, std::vector<std::string>{gbk("急招聘")});
    EXPECT_TRUE(monitoring->alerts().raiseIfNewArticles());
    EXPECT_EQ(articleCount(), 4);
}

// What the rules keep out is remembered for the newest 20,000 per plan, never without bound.
TEST_F(RulesInARun, RememberedTitlesStayBounded) {
    PlanRowValues spec;
    spec.url = server.url("/bounded.html");
    const int id = addPlan(spec);
    std::vector<Statement> old;
    for (int k = 0; k < 20050; ++k)
        old.emplace_back(
            "insert into seen_articles(planid,title,url) values(?,?,?)",
            std::vector<SqlValue>{std::int64_t{id}, "old" + std::to_string(k), std::string("u")});
    db.runTransaction(old);
    ASSERT_TRUE(saveTitleRules(db, id, wanted(TitleRules::Action::Store)));
    setPage("/bounded.html", listPage({{2, "今日新闻"}, {1, "招聘前端"}}, false));
    monitoring->planRunner().runPlan(id);
    auto count = [&](const std::string& where) {
        return db.run("select count(*) from seen_articles where " + where).rows[0][0];
    };
    EXPECT_EQ(count("planid=" + std::to_string(id)), "20000");
    EXPECT_EQ(count("title='" + gbk("今日新闻") + "'"), "1");  // the newest stays
    EXPECT_EQ(count("title='old0'"), "0");                     // the oldest went
}

// A page of ten thousand articles the rules keep out, then a few more on top: when the rule is
// cleared, none of those still on the page comes back as new.
TEST_F(RulesInARun, KeptOutArticlesStayKeptOutPastTenThousand) {
    PlanRowValues spec;
    spec.url = server.url("/many.html");
    spec.type = "8";  // by article id, the newest at the top
    const int id = addPlan(spec);
    ASSERT_TRUE(saveTitleRules(db, id, wanted(TitleRules::Action::Store)));
    auto page = [](int newest) {
        std::vector<std::pair<int, std::string>> items;
        for (int k = newest; k > newest - 10000; --k) items.emplace_back(k, "广告" + std::to_string(k));
        return listPage(items, false);
    };
    setPage("/many.html", page(10000));
    EXPECT_EQ(monitoring->planRunner().runPlan(id).dropped, 10000);
    setPage("/many.html", page(10005));
    EXPECT_EQ(monitoring->planRunner().runPlan(id).dropped, 5);
    ASSERT_TRUE(clearTitleRules(db, id));
    db.run(Statement("update rule set lastid=0 where id=?", {id}));  // every id on the page looked at again
    reloadPlanTable();
    EXPECT_EQ(monitoring->planRunner().runPlan(id).stored, 0);
    EXPECT_EQ(articleCount(), 0);
}

class Health : public EngineFixture {};

TEST_F(Health, FailingThreeRunsInARowThenRecovering) {
    PlanRowValues spec;
    spec.url = server.url("/flaky.html");
    const int id = addPlan(spec);
    struct Step {
        bool fail;
        int failures;
        bool broken;
        const char* line;  // the status line this run adds, if any
    } steps[] = {
        {false, 0, false, nullptr},
        {true, 1, false, nullptr},
        {true, 2, false, nullptr},
        {true, 3, true, "已连续 3 次失败：采集区域为空"},
        {true, 4, true, nullptr},  // said once, not every run
        {false, 0, false, "已恢复正常：取到 0 篇新文章"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(&step - steps);
        // A site that fails on demand: its page loses the list.
        setPage("/flaky.html", step.fail ? std::string("maintenance") : listPage({{1, "一"}}, false));
        sink.replaceAll("");
        PlanRunOutcome outcome = monitoring->planRunner().runPlan(id);
        EXPECT_EQ(outcome.failures, step.failures);
        auto record = loadPlanHealth(db, id);
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->failures, step.failures);
        EXPECT_EQ(record->broken(), step.broken);
        EXPECT_EQ(record->lastSuccess, "2016-12-9 7:5:3");
        if (step.line)
            EXPECT_NE(sink.utf8().find(step.line), std::string::npos) << sink.utf8();
        else
            EXPECT_EQ(sink.utf8().find("连续"), std::string::npos);
    }
}

// A plan's id is reused by the next plan created after it is removed: nothing the old plan left
// may bend the new one's runs, and the old plan's articles stay the user's.
class RemovedPlan : public EngineFixture {};

TEST_F(RemovedPlan, LeavesNothingToThePlanThatReceivesItsId) {
    PlanRowValues spec;
    spec.name = "旧方案";
    spec.url = server.url("/old.html");
    const int id = addPlan(spec);
    TitleRules own;
    own.excludeOn = true;
    own.exclude = gbk("广告");
    ASSERT_TRUE(saveTitleRules(db, id, own));
    // A failing run, then one that stores two articles and keeps one out as seen.
    setPage("/old.html", "maintenance");
    monitoring->planRunner().runPlan(id);
    setPage("/old.html", listPage({{3, "新闻甲"}, {2, "广告乙"}, {1, "新闻丙"}}, false));
    monitoring->planRunner().runPlan(id);
    ASSERT_EQ(titles(id).size(), 2u);
    db.run("update info set issoucang=1 where title='" + gbk("新闻甲") + "'");

    ASSERT_TRUE(deletePlan(db, id).ok);

    PlanFields next;
    next.code = "0";
    next.name = gbk("新方案");
    next.url = server.url("/new.html");
    next.regular = gbk(spec.regular);
    next.before = gbk(spec.before);
    next.after = gbk(spec.after);
    next.buquan = spec.buquan;
    next.tindex = "2", next.uindex = "1", next.oindex = "3";
    Result<SavedPlan> saved = savePlan(db, next, 0);
    ASSERT_TRUE(saved.ok()) << saved.error();
    ASSERT_EQ(saved->id, id);
    EXPECT_FALSE(loadTitleRules(db, id).has_value());
    EXPECT_FALSE(loadPlanHealth(db, id).has_value());
    EXPECT_TRUE(titles(id).empty());
    // The old articles are still there, under their plan's name, the favourite still one.
    auto kept = db.run("select planname, planid, issoucang from info order by id").rows;
    ASSERT_EQ(kept.size(), 2u);
    for (const auto& row : kept) {
        EXPECT_EQ(gbkToUtf8(row[0]), "旧方案");
        EXPECT_EQ(row[1], "0");
    }
    EXPECT_EQ(db.run("select count(*) from info where issoucang=1").rows[0][0], "1");

    // The same titles and links on the new plan's page are new to it, the one the old rules
    // kept out included.
    reloadPlanTable();
    setPage("/new.html", listPage({{3, "新闻甲"}, {2, "广告乙"}, {1, "新闻丙"}}, true));
    sink.replaceAll("");
    PlanRunOutcome first = monitoring->planRunner().runPlan(id);
    EXPECT_EQ(first.stored, 3) << sink.utf8();
    EXPECT_EQ(sink.utf8().find("标题规则"), std::string::npos) << sink.utf8();
    EXPECT_EQ(loadPlanHealth(db, id)->failures, 0);
}

}  // namespace
}  // namespace tovi
