// Plans over pages whose list a script builds from a JSON request: proposed from the page as a
// browser shows it, saved with the switch to load it so, and run over three rounds.
#include <gtest/gtest.h>

#include <set>

#include "core/net/Browser.h"
#include "core/plans/PlanEditing.h"
#include "core/plans/PlanOptions.h"
#include "core/suggest/PlanSuggest.h"
#include "core/text/Entities.h"
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
                " \\u4e2a\\u4e3b\\u9898\\uff1a\\u8ba8\\u8bba & Q\","
                "\"replies\":" +
                std::to_string(threads[k].second) + "}";
    return json + "]}";
}

class RenderedPlans : public test::EngineFixture {
protected:
    std::set<std::string> stored(int id) {
        std::set<std::string> out;
        for (const auto& row : db.run(Statement("select title, url from info where planid=?", {id})).rows)
            out.insert(gbkToUtf8(decodeEntities(row[0])) + " | " + row[1].substr(row[1].rfind('/')));
        return out;
    }
};

// The request behind the list is proposed first (no browser needed), the rendered page next;
// both store the same articles over three rounds.
TEST_F(RenderedPlans, AScriptBuiltListGetsADirectPlanAndARenderedOne) {
    if (!findChromium()) GTEST_SKIP() << "chromium is not installed";
    setPage("/app/list.html", kScriptPage);
    setPage("/app/data.json", data({{105, 1}, {104, 2}, {103, 3}, {102, 4}, {101, 5}}));
    const SuggestResult r = suggestPlansFromUrl(server.url("/app/list.html"), "", kEditorDefaultUserAgent);
    ASSERT_GE(r.candidates.size(), 2u) << gbkToUtf8(r.problem);
    EXPECT_NE(gbkToUtf8(r.note).find("页面由脚本生成，已用浏览器渲染"), std::string::npos);
    const PlanSuggestion& direct = r.candidates[0];
    const PlanSuggestion& rendered = r.candidates[1];
    EXPECT_EQ(direct.structure, "JSON threads");
    EXPECT_TRUE(direct.fields.jsonText);
    EXPECT_FALSE(direct.fields.render);
    EXPECT_EQ(direct.fields.url, server.url("/app/data.json"));
    EXPECT_TRUE(rendered.fields.render);
    for (const PlanSuggestion* s : {&direct, &rendered}) {
        SCOPED_TRACE(s->structure);
        EXPECT_EQ(s->count, 5u);
        EXPECT_EQ(gbkToUtf8(decodeEntities(s->titles.at(0))), "第 105 个主题：讨论 & Q");
    }
    std::vector<int> ids;
    for (const PlanSuggestion* s : {&direct, &rendered}) {
        const Result<SavedPlan> saved = savePlan(db, s->fields, 0);
        ASSERT_TRUE(saved.ok()) << gbkToUtf8(saved.error());
        ids.push_back(saved->id);
    }
    EXPECT_TRUE(readsJsonText(db, ids[0]));
    EXPECT_TRUE(rendersPage(db, ids[1]));
    reloadPlanTable();
    auto round = [&] {
        for (int id : ids) monitoring->planRunner().runPlan(id);
    };

    round();
    EXPECT_EQ(stored(ids[0]).size(), 5u) << sink.utf8();
    EXPECT_TRUE(stored(ids[0]).count("第 101 个主题：讨论 & Q | /101"));

    setPage("/app/data.json", data({{101, 9}, {105, 8}, {104, 2}, {103, 3}, {102, 4}}));  // replies, a bump
    round();
    EXPECT_EQ(stored(ids[0]).size(), 5u);

    setPage("/app/data.json",
            data({{108, 0}, {107, 0}, {106, 0}, {105, 8}, {104, 2}, {103, 3}, {102, 4}, {101, 9}}));
    round();
    const auto all = stored(ids[0]);
    EXPECT_EQ(all.size(), 8u);
    EXPECT_TRUE(all.count("第 108 个主题：讨论 & Q | /108"));
    EXPECT_EQ(stored(ids[1]), all);  // the browser's plan stored the very same
}

// A list a script writes by itself (no request behind it): the rendered plan is proposed.
TEST_F(RenderedPlans, AListWrittenByTheScriptItselfGetsTheRenderedPlan) {
    if (!findChromium()) GTEST_SKIP() << "chromium is not installed";
    setPage(
        "/late.html",
        "<html><head><meta charset=\"utf-8\"></head><body><ul id=\"list\"></ul><script>setTimeout(function(){"
        "var h='';for(var k=9;k>=1;k--)h+='<li><a href=\"/n/'+(500+k)+'\">今天的第 '+k+' "
        "条新闻标题</a></li>';"
        "document.getElementById('list').innerHTML=h;},300);</script></body></html>");
    const SuggestResult r = suggestPlansFromUrl(server.url("/late.html"), "", kEditorDefaultUserAgent);
    ASSERT_FALSE(r.candidates.empty()) << gbkToUtf8(r.problem);
    EXPECT_EQ(gbkToUtf8(r.note), "页面由脚本生成，已用浏览器渲染");
    EXPECT_TRUE(r.candidates.front().fields.render);
    EXPECT_FALSE(r.candidates.front().fields.jsonText);
    EXPECT_EQ(r.candidates.front().count, 9u);
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
