// Plans proposed from real pages nobody here wrote (forum boards, a news front page, a feed) and
// from a community page of our own with a hot-topics box beside its main list: the best
// proposal, saved and run, stores exactly the page's articles; after activity on the page
// (counts, dates, reply anchors, a record bumped to the top) it stores nothing; with three new
// records on top it stores exactly those three.
#include <gtest/gtest.h>

#include <algorithm>
#include <boost/regex.hpp>
#include <functional>
#include <set>

#include "core/monitor/PlanRunner.h"
#include "core/plans/PlanEditing.h"
#include "core/suggest/PlanSuggest.h"
#include "core/text/Gbk.h"
#include "support/EngineFixture.h"

namespace tovi {
namespace {

using Articles = std::set<std::pair<std::string, std::string>>;  // title, link as the page writes it

// Every match of re in text replaced by what make gives for it.
std::string replaceEach(const std::string& text, const std::string& re,
                        const std::function<std::string(const boost::smatch&)>& make) {
    std::string out;
    auto from = text.cbegin();
    const boost::regex r(re);
    for (boost::sregex_iterator it(text.begin(), text.end(), r), end; it != end; ++it) {
        out.append(from, (*it)[0].first);
        out += make(*it);
        from = (*it)[0].second;
    }
    out.append(from, text.cend());
    return out;
}

// The number in a match's first group, raised: a counter after some activity.
std::string raised(const boost::smatch& m) {
    const std::string whole = m.str(0), number = m.str(1);
    const auto at = static_cast<std::size_t>(m[1].first - m[0].first);
    return whole.substr(0, at) + std::to_string(std::stoll(number) + 7) + whole.substr(at + number.size());
}

// One page kind: where its records are, what an article is, how activity changes it and how a
// new record is written from an old one.
struct RealPage {
    const char* name;
    std::function<std::string()> page;
    const char* record;   // a whole record (one match each)
    const char* article;  // in a record: group 1 the link, group 2 the title
    std::vector<const char*> counters;  // activity: the numbers in these groups' first group rise
    // A new record from the first one: its number and title replaced.
    std::function<std::string(std::string record, int k)> fresh;
    std::size_t articles;
};

std::string realPage(const char* file) {
    return test::readFile(std::filesystem::path(TOVI_SUGGEST_PAGES) / "real" / file);
}

// A community home page of our own: a small hot-topics box beside the main list, whose title
// links carry the reply count as an anchor ("/t/632226#reply9").
std::string communityPage() {
    std::string html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>技术社区</title></head><body>"
                       "<div id=\"Wrapper\"><div id=\"Rightbar\"><div class=\"box\"><div class=\"cell\">今日热议主题</div>";
    for (int k = 0; k < 7; ++k)
        html += "<div class=\"cell hot\"><a href=\"/t/" + std::to_string(632000 + k) + "\">热议：第 " +
                std::to_string(k) + " 个被讨论最多的主题</a></div>";
    html += "</div></div><div id=\"Main\"><div class=\"box\">";
    for (int k = 0; k < 50; ++k) {
        const std::string id = std::to_string(632226 - k * 3), replies = std::to_string(k % 11 + 1);
        html += "<div class=\"cell item\"><table><tr><td><a href=\"/member/u" + std::to_string(k) +
                "\"><img src=\"/avatar/" + std::to_string(k) + ".png\"></a></td><td><span class=\"item_title\">"
                "<a href=\"/t/" + id + "#reply" + replies + "\" class=\"topic-link\">关于第 " + std::to_string(k) +
                " 个问题的讨论：怎样在旧电脑上装好系统</a></span><br><span class=\"topic_info\"><strong><a href=\"/member/u" +
                std::to_string(k) + "\">用户" + std::to_string(k) + "</a></strong> • " + std::to_string(k + 2) +
                " 分钟前 • 最后回复来自 <strong><a href=\"/member/r" + std::to_string(k) + "\">回复者</a></strong></span></td>"
                "<td><a href=\"/t/" + id + "#reply" + replies + "\" class=\"count_livid\">" + replies +
                "</a></td></tr></table></div>";
    }
    return html + "</div></div></div></body></html>";
}

// A new thread on the boards: the first row with a thread number of its own and a new title.
std::function<std::string(std::string, int)> newThread(const std::string& title) {
    return [title](std::string r, int k) {
        r = replaceEach(r, R"re(3\d{6})re", [&](const auto&) { return std::to_string(3600000 + k); });
        return replaceEach(r, R"re((class="thread_title">)[^<]+)re",
                           [&](const auto& m) { return m.str(1) + title + std::to_string(k); });
    };
}

const RealPage kPages[] = {
    {"forum board",
     [] { return realPage("board_forumdisplay.html"); },
     R"re(<tr class="thread[^"]*" id="thread\d+">[\s\S]*?</tr>)re",
     R"re(<a href="([^"]+)" class="thread_title">([^<]+)</a>)re",
     {R"re(<td class="replies">(\d+)<)re", R"re(<td class="views">(\d+)<)re", R"re(<div class="date">(\d+):)re",
      R"re(pagenumber=(\d+)">)re"},
     newThread("A new thread, number "),
     40},
    {"second board",
     [] { return realPage("board_forumdisplay2.html"); },
     R"re(<tr class="thread[^"]*" id="thread\d+">[\s\S]*?</tr>)re",
     R"re(<a href="([^"]+)" class="thread_title">([^<]+)</a>)re",
     {R"re(<td class="replies">(\d+)<)re", R"re(<td class="views">(\d+)<)re", R"re(<div class="date">(\d+):)re"},
     newThread("A new let's play, number "),
     30},
    {"news front page",
     [] { return realPage("news_front.html"); },
     R"re(<tr class='athing'[\s\S]*?<tr class="spacer"[^>]*></tr>)re",
     R"re(<span class="titleline"><a href="([^"]+)"[^>]*>([^<]+)</a>)re",
     {R"re((\d+) points)re", R"re((\d+)&nbsp;comments)re", R"re((\d+) (?:hours?|minutes?) ago)re"},
     [](std::string r, int k) {
         r = replaceEach(r, R"re(379\d{5})re", [&](const auto&) { return std::to_string(38000000 + k); });
         return replaceEach(r, R"re((<span class="titleline"><a href=")[^"]+("[^>]*>)[^<]+)re", [&](const auto& m) {
             return m.str(1) + "https://example.org/story-" + std::to_string(k) + m.str(2) + "A new story " +
                    std::to_string(k);
         });
     },
     30},
    {"feed with a DOCTYPE subset",
     [] { return realPage("feed_doctype_subset.xml"); },
     R"re(<item>[\s\S]*?</item>)re",
     R"re(<title>([^<]*)</title>\s*<link>([^<]*)</link>)re",
     {R"re(<pubDate>\w+, (\d+) )re"},
     [](std::string r, int k) {
         return replaceEach(r, R"re(<title>[^<]*</title>\s*<link>[^<]*</link>)re", [&](const auto&) {
             return "<title>Új hír " + std::to_string(k) + "</title>\n <link>http://pihgy.hu/uj_" + std::to_string(k) +
                    "</link>";
         });
     },
     15},
    {"community page with a hot box",
     communityPage,
     R"re(<div class="cell item">[\s\S]*?</table></div>)re",
     R"re(<a href="([^"]+)" class="topic-link">([^<]+)</a>)re",
     {R"re(#reply(\d+))re", R"re(count_livid">(\d+)<)re", R"re(• (\d+) 分钟前)re"},
     [](std::string r, int k) {
         r = replaceEach(r, R"re(/t/\d+)re", [&](const auto&) { return "/t/" + std::to_string(700000 + k); });
         return replaceEach(r, R"re((class="topic-link">)[^<]+)re",
                            [&](const auto& m) { return m.str(1) + "新主题 " + std::to_string(k); });
     },
     50},
};

// A title as it is stored: runs of white space read as one space.
std::string storedTitle(const std::string& title) {
    return boost::regex_replace(title, boost::regex(R"re(\s+)re"), " ");
}

// The articles the page shows. Feeds write titles and links the other way round.
Articles articlesOf(const RealPage& p, const std::string& page) {
    Articles out;
    const boost::regex record(p.record), article(p.article);
    for (boost::sregex_iterator it(page.begin(), page.end(), record), end; it != end; ++it) {
        const std::string r = it->str();
        boost::smatch m;
        if (!boost::regex_search(r, m, article)) continue;
        const bool feed = std::string(p.record).starts_with("<item");
        out.emplace(storedTitle(feed ? m.str(1) : m.str(2)), feed ? m.str(2) : m.str(1));
    }
    return out;
}

// The page after activity: counters risen, and its last record moved to the top.
std::string afterActivity(const RealPage& p, std::string page) {
    for (const char* counter : p.counters) page = replaceEach(page, counter, raised);
    boost::smatch first;
    const boost::regex record(p.record);
    EXPECT_TRUE(boost::regex_search(page, first, record));
    std::string last;
    for (boost::sregex_iterator it(page.begin(), page.end(), record), end; it != end; ++it) last = it->str();
    const std::size_t lastAt = page.rfind(last), firstAt = static_cast<std::size_t>(first[0].first - page.cbegin());
    page.erase(lastAt, last.size());
    return page.insert(firstAt, last + "\n");
}

// The page with three new records on top; their articles go to added.
std::string afterGrowth(const RealPage& p, std::string page, Articles& added) {
    boost::smatch first;
    EXPECT_TRUE(boost::regex_search(page, first, boost::regex(p.record)));
    std::string fresh;
    for (int k = 3; k >= 1; --k) fresh += p.fresh(first.str(0), k) + "\n";
    added = articlesOf(p, fresh);
    return page.insert(static_cast<std::size_t>(first[0].first - page.cbegin()), fresh);
}

class RealPages : public test::EngineFixture {
protected:
    // Titles and links stored for the plan, links as the page wrote them (the page's own
    // address left out where the template added it).
    Articles stored(int planId, const std::string& pageUrl) {
        const std::string dir = pageUrl.substr(0, pageUrl.rfind('/') + 1);
        const std::string origin = pageUrl.substr(0, pageUrl.find('/', 8));
        Articles out;
        for (const auto& row : db.run(Statement("select title, url from info where planid=?", {planId})).rows) {
            std::string link = gbkToUtf8(row[1]);
            if (link.starts_with(dir) && !link.substr(dir.size()).starts_with("/"))
                link = link.substr(dir.size());
            else if (link.starts_with(origin + "/"))
                link = link.substr(origin.size());
            out.emplace(gbkToUtf8(row[0]), link);
        }
        return out;
    }
};

// Links in a set, with their fragments left out (what a link that survives activity keeps).
Articles withoutFragments(const Articles& articles) {
    Articles out;
    for (const auto& [title, link] : articles) out.emplace(title, link.substr(0, link.find('#')));
    return out;
}

TEST_F(RealPages, TheBestProposalStoresThePageArticlesThenNothingAfterActivityThenExactlyTheNewOnes) {
    int n = 0;
    for (const RealPage& p : kPages) {
        SCOPED_TRACE(p.name);
        const std::string path = "/real/" + std::to_string(++n) + "/page.html";
        const std::string original = p.page();
        const Articles onPage = withoutFragments(articlesOf(p, original));
        ASSERT_EQ(onPage.size(), p.articles);
        setPage(path, original);
        const SuggestResult r = suggestPlansFromUrl(server.url(path), "", kEditorDefaultUserAgent);
        ASSERT_FALSE(r.candidates.empty()) << gbkToUtf8(r.problem);
        for (const std::string& marker : {r.candidates.front().fields.before, r.candidates.front().fields.after})
            EXPECT_EQ(marker.find_first_of("\r\n"), std::string::npos) << gbkToUtf8(marker);
        const Result<SavedPlan> saved = savePlan(db, r.candidates.front().fields, 0);
        ASSERT_TRUE(saved.ok()) << gbkToUtf8(saved.error());
        reloadPlanTable();

        monitoring->planRunner().runPlan(saved->id);
        EXPECT_EQ(stored(saved->id, server.url(path)), onPage) << r.candidates.front().structure;

        setPage(path, afterActivity(p, original));
        monitoring->planRunner().runPlan(saved->id);
        EXPECT_EQ(stored(saved->id, server.url(path)).size(), p.articles) << "activity stored articles again";

        Articles added;
        setPage(path, afterGrowth(p, afterActivity(p, original), added));
        ASSERT_EQ(added.size(), 3u);
        monitoring->planRunner().runPlan(saved->id);
        Articles expected = onPage;
        for (const auto& a : withoutFragments(added)) expected.insert(a);
        EXPECT_EQ(stored(saved->id, server.url(path)), expected);
    }
}

}  // namespace
}  // namespace tovi
