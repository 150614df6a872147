// Plans over pages whose list a script builds from a JSON request: proposed from the page as a
// browser shows it, saved with the switch to load it so, and run over three rounds.
#include <gtest/gtest.h>

#include <set>

#include "core/net/Browser.h"
#include "core/plans/PlanEditing.h"
#include "core/plans/PlanOptions.h"
#include "core/suggest/PlanSuggest.h"
#include "core/text/Gbk.h"
#include "support/EngineFixture.h"

namespace tovi {
namespace {

// The page: no list in its markup, a script that fills one from /app/data.json.
const char* kScriptPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>动态板块</title></head><body>"
    "<div class=\"nav\"><a href=\"/\">首页</a></div><div id=\"app\">载入中…</div><script>"
    "fetch('/app/data.json').then(r=>r.json()).then(d=>{document.getElementById('app').innerHTML="
    "'<ul class=\"threads\">'+d.threads.map(t=>'<li class=\"thread\"><a href=\"/t/'+t.id+'\" "
    "class=\"title\">'+t.title+'</a> <span class=\"replies\">'+t.replies+' 回复</span></li>').join('')"
    "+'</ul>';});</script></body></html>";

std::string data(const std::vector<std::pair<int, int>>& threads) {  // id, replies
    std::string json = "{\"threads\":[";
    for (std::size_t k = 0; k < threads.size(); ++k)
        json += std::string(k ? "," : "") + "{\"id\":" + std::to_string(threads[k].first) +
                ",\"title\":\"\\u7b2c " + std::to_string(threads[k].first) +
                " \\u4e2a\\u4e3b\\u9898\\uff1a\\u8ba8\\u8bba\","
                "\"replies\":" +
                std::to_string(threads[k].second) + "}";
    return json + "]}";
}

class RenderedPlans : public test::EngineFixture {
protected:
    std::set<std::string> stored(int id) {
        std::set<std::string> out;
        for (const auto& row : db.run(Statement("select title, url from info where planid=?", {id})).rows)
            out.insert(gbkToUtf8(row[0]) + " | " + row[1].substr(row[1].rfind('/')));
        return out;
    }
};

TEST_F(RenderedPlans, AScriptBuiltListIsProposedRenderedAndRunThreeRounds) {
    if (!findChromium()) GTEST_SKIP() << "chromium is not installed";
    setPage("/app/list.html", kScriptPage);
    setPage("/app/data.json", data({{105, 1}, {104, 2}, {103, 3}, {102, 4}, {101, 5}}));
    const SuggestResult r = suggestPlansFromUrl(server.url("/app/list.html"), "", kEditorDefaultUserAgent);
    ASSERT_FALSE(r.candidates.empty()) << gbkToUtf8(r.problem);
    EXPECT_EQ(gbkToUtf8(r.note), "页面由脚本生成，已用浏览器渲染");
    const PlanSuggestion& best = r.candidates.front();
    EXPECT_TRUE(best.fields.render);
    EXPECT_EQ(best.count, 5u);
    EXPECT_EQ(gbkToUtf8(best.titles.at(0)), "第 105 个主题：讨论");
    const Result<SavedPlan> saved = savePlan(db, best.fields, 0);
    ASSERT_TRUE(saved.ok()) << gbkToUtf8(saved.error());
    EXPECT_TRUE(rendersPage(db, saved->id));
    reloadPlanTable();

    monitoring->planRunner().runPlan(saved->id);
    EXPECT_EQ(stored(saved->id).size(), 5u) << sink.utf8();
    EXPECT_TRUE(stored(saved->id).count("第 101 个主题：讨论 | /101"));

    setPage("/app/data.json", data({{101, 9}, {105, 8}, {104, 2}, {103, 3}, {102, 4}}));  // replies, a bump
    monitoring->planRunner().runPlan(saved->id);
    EXPECT_EQ(stored(saved->id).size(), 5u);

    setPage("/app/data.json",
            data({{108, 0}, {107, 0}, {106, 0}, {105, 8}, {104, 2}, {103, 3}, {102, 4}, {101, 9}}));
    monitoring->planRunner().runPlan(saved->id);
    const auto all = stored(saved->id);
    EXPECT_EQ(all.size(), 8u);
    EXPECT_TRUE(all.count("第 108 个主题：讨论 | /108"));
}

TEST_F(RenderedPlans, WithoutABrowserTheRunFailsWithWhatToInstall) {
    setenv("TOVI_CHROMIUM", "/nonexistent/chromium", 1);
    setPage("/app/list.html", kScriptPage);
    test::PlanRowValues spec;
    spec.url = server.url("/app/list.html");
    const int id = addPlan(spec);
    ASSERT_TRUE(setRendersPage(db, id, true).ok());
    reloadPlanTable();
    const PlanRunOutcome outcome = monitoring->planRunner().runPlan(id);
    unsetenv("TOVI_CHROMIUM");
    EXPECT_EQ(outcome.kind, PlanRunOutcome::Kind::FetchFailed);
    EXPECT_NE(gbkToUtf8(outcome.reason).find("apt-get install chromium"), std::string::npos)
        << gbkToUtf8(outcome.reason);
}

}  // namespace
}  // namespace tovi
