// Every article once, and only once: round after round of changing list pages, for each judging
// mode, the articles stored are exactly those that appeared, each a single time.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/text/Gbk.h"
#include "support/EngineFixture.h"

namespace tovi {
namespace {

using test::EngineFixture;
using test::PlanRowValues;

struct Item {
    std::string id;  // the number in the link (text: a page may carry garbage)
    std::string title;
    bool article = true;  // false: not an article (its id is not a number we can use)
};
using Page = std::vector<Item>;

struct Round {
    Page page;
    std::vector<std::string> stored;  // titles this round stores, newest first
    bool startMarker = true;          // the list's start marker is on the page
};

struct Sequence {
    const char* name;
    const char* type;
    std::vector<Round> rounds;
};

std::string pageHtml(const Page& items, bool startMarker) {
    std::string html = "<html><body>\r\n<div>导航</div>\r\n";
    html += startMarker ? "<ul id=\"list\">\r\n" : "<ol>\r\n";
    for (const Item& it : items)
        html +=
            "<li>\t<a href=\"t-" + it.id + ".html\">" + it.title + "</a><i>作者" + it.id + "</i></li>\r\n";
    html += "</ul>\r\n<p>页脚</p></body></html>";
    return gbk(html);
}

Item item(int id, const std::string& title) { return {std::to_string(id), title, true}; }
Item item(int id) { return item(id, "文章" + std::to_string(id)); }
std::string t(int id) { return "文章" + std::to_string(id); }

class ArticleIdentity : public EngineFixture {};

TEST_F(ArticleIdentity, RoundSequencesStoreEveryArticleOnce) {
    const std::string longer = "open source工作流引擎探索 - jbpm.sf.net";
    const std::string shorter = "open source工作流引擎探索";
    const Sequence sequences[] = {
        // Newest at the top.
        {"desc: the last title is a prefix of a newer one",
         "0",
         {{{item(1, shorter)}, {shorter}}, {{item(3), item(2, longer), item(1, shorter)}, {t(3), longer}}}},
        {"desc: the newest title is empty",
         "0",
         {{{item(2, ""), item(1)}, {"", t(1)}},
          {{item(2, ""), item(1)}, {}},
          {{item(3), item(2, ""), item(1)}, {t(3)}}}},
        {"desc: an old thread bumped to the top, then sinking back",
         "0",
         {{{item(3), item(2), item(1)}, {t(3), t(2), t(1)}},
          {{item(1), item(3), item(2)}, {}},
          {{item(4), item(1), item(3), item(2)}, {t(4)}},
          {{item(5), item(4), item(3), item(2), item(1)}, {t(5)}}}},
        {"desc: the last title was edited",
         "0",
         {{{item(2), item(1)}, {t(2), t(1)}}, {{item(2, "文章2（已编辑）"), item(1)}, {"文章2（已编辑）"}}}},
        {"desc: the last article was deleted from the list",
         "0",
         {{{item(3), item(2), item(1)}, {t(3), t(2), t(1)}}, {{item(4), item(2), item(1)}, {t(4)}}}},
        {"desc: an unchanged page", "0", {{{item(2), item(1)}, {t(2), t(1)}}, {{item(2), item(1)}, {}}}},
        // Newest at the bottom.
        {"asc: the last title also stands inside an earlier item",
         "2",
         {{{item(1, "东京塔"), item(2, "东京")}, {"东京", "东京塔"}},
          {{item(1, "东京塔"), item(2, "东京"), item(3, "大阪")}, {"大阪"}}}},
        {"asc: an old thread bumped to the bottom",
         "2",
         {{{item(1), item(2), item(3)}, {t(3), t(2), t(1)}},
          {{item(2), item(3), item(1)}, {}},
          {{item(2), item(3), item(1), item(4)}, {t(4)}}}},
        {"asc: the newest title is empty",
         "2",
         {{{item(1), item(2), item(3, "")}, {"", t(2), t(1)}}, {{item(1), item(2), item(3, "")}, {}}}},
        {"asc: the start marker vanished, the last article is still there",
         "2",
         {{{item(1), item(2)}, {t(2), t(1)}}, {{item(1), item(2), item(3)}, {t(3)}, false}}},
        {"asc: the last article was deleted",
         "2",
         {{{item(1), item(2), item(3)}, {t(3), t(2), t(1)}}, {{item(1), item(2), item(4)}, {t(4)}}}},
        {"asc: two new at the bottom read newest first",
         "2",
         {{{item(1), item(2), item(3)}, {t(3), t(2), t(1)}},
          {{item(1), item(2), item(3), item(4), item(5)}, {t(5), t(4)}}}},
        // Increasing ids.
        {"ids: pinned entries and gaps",
         "8",
         {{{item(1), item(3), item(2)}, {t(1), t(3), t(2)}},
          {{item(1), item(5), item(3), item(4)}, {t(5), t(4)}},
          {{item(1), item(5), item(3), item(4)}, {}}}},
        {"ids: a 20-digit number is not an id",
         "8",
         {{{item(5)}, {t(5)}},
          {{{"99999999999999999999", "垃圾", false}, item(6), item(5)}, {t(6)}},
          {{item(7), {"99999999999999999999", "垃圾", false}, item(6)}, {t(7)}}}},
        {"ids: the same thread twice on one page",
         "8",
         {{{item(2), item(1), item(2)}, {t(2), t(1)}}, {{item(3), item(2)}, {t(3)}}}},
    };
    for (const Sequence& seq : sequences) {
        SCOPED_TRACE(seq.name);
        const std::string path = "/seq-" + std::to_string(&seq - sequences) + ".html";
        PlanRowValues spec;
        spec.url = server.url(path);
        spec.type = seq.type;
        const int id = addPlan(spec);
        std::set<std::pair<std::string, std::string>> onPages;  // (title, url) of every article served
        for (std::size_t r = 0; r < seq.rounds.size(); ++r) {
            SCOPED_TRACE("round " + std::to_string(r + 1));
            const Round& round = seq.rounds[r];
            for (const Item& it : round.page)
                if (it.article) onPages.insert({it.title, "http://site/t-" + it.id + ".html"});
            setPage(path, pageHtml(round.page, round.startMarker));
            const auto before = titles(id).size();
            monitoring->planRunner().runPlan(id);
            auto all = titles(id);
            std::vector<std::string> storedNow(all.begin(), all.begin() + (all.size() - before));
            EXPECT_EQ(storedNow, round.stored);
            // Invariant: every article served so far is stored exactly once, and nothing else.
            auto rows = db.run(Statement("select title, url from info where planid=?", {id})).rows;
            std::map<std::pair<std::string, std::string>, int> counts;
            for (const auto& row : rows) ++counts[{gbkToUtf8(row[0]), row[1]}];
            for (const auto& [article, n] : counts) EXPECT_EQ(n, 1) << article.first;
            std::set<std::pair<std::string, std::string>> stored;
            for (const auto& [article, n] : counts) stored.insert(article);
            EXPECT_EQ(stored, onPages);
        }
    }
}

TEST_F(ArticleIdentity, TheRememberedArticleIsTheNewestStoredOne) {
    struct Case {
        const char* type;
        Page page;
        std::string arttile, arturl, lastid;
    } cases[] = {
        {"0", {item(3), item(2), item(1)}, t(3), "http://site/t-3.html", "0"},
        {"2", {item(1), item(2), item(3)}, t(3), "http://site/t-3.html", "0"},
        {"8", {item(1), item(2), item(3)}, t(3), "http://site/t-3.html", "3"},  // oldest first
        {"0", {item(2, ""), item(1)}, t(1), "http://site/t-1.html", "0"},       // an empty title is no marker
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("type ") + c.type);
        const std::string path = "/newest-" + std::to_string(&c - cases) + ".html";
        PlanRowValues spec;
        spec.url = server.url(path);
        spec.type = c.type;
        const int id = addPlan(spec);
        setPage(path, pageHtml(c.page, true));
        monitoring->planRunner().runPlan(id);
        auto row = db.run(Statement("select arttile, arturl, lastid from rule where id=?", {id})).rows[0];
        EXPECT_EQ(gbkToUtf8(row[0]), c.arttile);
        EXPECT_EQ(row[1], c.arturl);
        EXPECT_EQ(row[2], c.lastid);
        EXPECT_EQ(gbkToUtf8((*monitoring->planTable().row(id))[kRuleArttile]), c.arttile);
    }
}

TEST_F(ArticleIdentity, SkippedArticlesAreCountedAndRaiseNoAlert) {
    PlanRowValues spec;
    spec.url = server.url("/skip.html");
    const int id = addPlan(spec);
    setPage("/skip.html", pageHtml({item(2), item(1)}, true));
    monitoring->planRunner().runPlan(id);
    ASSERT_TRUE(monitoring->alerts().raiseIfNewArticles());
    // The marker is lost (edited out by hand), the page is the same: nothing is new.
    db.run(Statement("update rule set arttile='gone' where id=?", {id}));
    reloadPlanTable();
    sink.replaceAll("");
    monitoring->planRunner().runPlan(id);
    EXPECT_NE(sink.utf8().find(" 取到 0 篇新文章（另有 2 篇此前已保存，已跳过）"), std::string::npos)
        << sink.utf8();
    EXPECT_FALSE(monitoring->alerts().raiseIfNewArticles());
    EXPECT_EQ(articleCount(), 2);
    // The marker is found again next time.
    EXPECT_EQ(gbkToUtf8(db.run(Statement("select arttile from rule where id=?", {id})).rows[0][0]), t(2));
}

TEST_F(ArticleIdentity, AFailedStoreLosesNothingAndMarksNothingAsSeen) {
    PlanRowValues spec;
    spec.url = server.url("/full.html");
    const int id = addPlan(spec);
    Page many;
    for (int i = 3000; i >= 1; --i) many.push_back(item(i));
    setPage("/full.html", pageHtml(many, true));
    // The disk fills half-way through: the database may grow by a few pages only.
    const auto pages = db.run("pragma page_count").rows[0][0];
    ASSERT_TRUE(db.runScript("pragma max_page_count=" + std::to_string(std::stoll(pages) + 20)).ok);
    monitoring->planRunner().setArticlePause(std::chrono::milliseconds(0));
    PlanRunOutcome failed = monitoring->planRunner().runPlan(id);
    EXPECT_EQ(failed.kind, PlanRunOutcome::Kind::StoreFailed);
    EXPECT_EQ(articleCount(), 0);
    EXPECT_NE(sink.utf8().find("保存失败（database or disk is full），本次的文章都未保存，下次提取时重试！"),
              std::string::npos);
    auto row = db.run(Statement("select arttile, lastid from rule where id=?", {id})).rows[0];
    EXPECT_EQ(row[0], "");
    EXPECT_EQ((*monitoring->planTable().row(id))[kRuleArttile], "");
    EXPECT_FALSE(monitoring->alerts().raiseIfNewArticles());
    // Room again: the next run stores all of them.
    ASSERT_TRUE(db.runScript("pragma max_page_count=1073741823").ok);
    PlanRunOutcome ok = monitoring->planRunner().runPlan(id);
    EXPECT_EQ(ok.kind, PlanRunOutcome::Kind::Stored);
    EXPECT_EQ(ok.stored, 3000);
    EXPECT_EQ(articleCount(), 3000);
}

TEST_F(ArticleIdentity, ByIdAnOldestFirstPageOverTheCapKeepsItsNewest) {
    PlanRowValues spec;
    spec.url = server.url("/long.html");
    spec.type = "8";
    const int id = addPlan(spec);
    monitoring->planRunner().setArticlePause(std::chrono::milliseconds(0));
    Page page;
    for (int k = 1; k <= 10005; ++k) page.push_back(item(k));
    setPage("/long.html", pageHtml(page, true));
    PlanRunOutcome first = monitoring->planRunner().runPlan(id);
    EXPECT_EQ(first.stored, 10000);
    EXPECT_EQ(db.run(Statement("select lastid from rule where id=?", {id})).rows[0][0], "10005");
    EXPECT_EQ(db.run(Statement("select count(*) from info where title=?", {gbk(t(5))})).rows[0][0], "0");
    // One more at the bottom: that one is new, and only that one.
    page.push_back(item(10006));
    setPage("/long.html", pageHtml(page, true));
    PlanRunOutcome second = monitoring->planRunner().runPlan(id);
    EXPECT_EQ(second.stored, 1);
    EXPECT_EQ(titles(id).front(), t(10006));
}

}  // namespace
}  // namespace tovi
