// Plans proposed from a page: the encoding, the list found on pages of every common kind, and
// the proposed plan run end to end through the pipeline storing exactly the page's articles.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>

#include "core/monitor/Judge.h"
#include "core/monitor/Pipeline.h"
#include "core/monitor/PlanRunner.h"
#include "core/plans/PlanEditing.h"
#include "core/net/Encoding.h"
#include "core/suggest/HtmlTree.h"
#include "core/suggest/LinkPatterns.h"
#include "core/suggest/PageStructure.h"
#include "core/suggest/PlanSuggest.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "support/EngineFixture.h"
#include "support/LoopbackServers.h"

namespace tovi {
namespace {

TEST(SuggestEncoding, DeclarationsThenValidity) {
    const std::string gbkText = gbk("<p>中文标题</p>");
    const std::string utf8Text = "<p>中文标题</p>";
    struct Case {
        const char* name;
        std::string body;
        std::string contentType;
        bool gbk;
    } cases[] = {
        {"server says GBK over the page's own UTF-8 meta", "<meta charset=\"utf-8\">" + gbkText,
         "text/html; charset=GBK", true},
        {"server says UTF-8 over a GB2312 meta", "<meta charset=\"gb2312\">" + utf8Text,
         "text/html;charset=\"utf-8\"", false},
        {"byte-order mark", "\xEF\xBB\xBF" + utf8Text, "text/html", false},
        {"meta charset", "<html><head><META CHARSET=gb2312>" + gbkText, "", true},
        {"meta http-equiv", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=GBK\">" + gbkText,
         "text/html", true},
        {"XML declaration", "<?xml version=\"1.0\" encoding=\"GB18030\"?><rss>" + gbkText, "application/xml",
         true},
        {"undeclared GBK reads as GBK", gbkText, "text/html", true},
        {"undeclared UTF-8 reads as UTF-8", utf8Text, "", false},
        {"ASCII only", "<p>hello</p>", "", false},
        {"an encoding we do not read: the bytes decide", "<meta charset=\"iso-8859-1\">" + gbkText, "", true},
        {"server says UTF-8 but the bytes and the XML declaration are GBK",
         "<?xml version=\"1.0\" encoding=\"gbk\"?><rss>" + gbkText, "application/rss+xml; charset=UTF-8",
         true},
        {"server says GBK but the bytes and the XML declaration are UTF-8",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss>" + utf8Text + "<p>标题：新闻</p>",
         "text/xml; charset=gbk", false},
        {"server says GB2312 over a UTF-8 meta the bytes read", "<meta charset=\"utf-8\">" + utf8Text,
         "text/html; charset=gb2312", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(detectEncoding(c.body, c.contentType).gbk, c.gbk);
    }
}

// One fixture page: what is on it, and what its best proposal must collect.
struct Fixture {
    const char* file;
    const char* structure;  // where the list is
    JudgeMode mode;
    std::vector<std::pair<std::string, std::string>> articles;  // title, link relative to /board/
    std::size_t candidates;                                     // proposals at least
};

const Fixture kFixtures[] = {
    {"forum.html",
     "table#threadlist.tl > tbody > tr",
     JudgeMode::CompareArticleId,
     {{"版规：发帖前请先阅读本版规定", "thread-1001-1-1.html"},
      {"本版精华帖索引（持续更新）", "thread-1002-1-1.html"},
      {"如何在 Debian 12 上编译 Qt 6 程序？", "thread-5123-1-1.html"},
      {"SQLite 的 BEGIN IMMEDIATE 什么时候用", "thread-5122-1-1.html"},
      {"求推荐一本讲正则表达式的书", "thread-5120-1-1.html"},
      {"分享：用 libcurl multi 接口同时抓取多个页面", "thread-5119-1-1.html"},
      {"GBK 和 UTF-8 混用导致乱码，怎么排查？", "thread-5117-1-1.html"},
      {"Boost.Regex 和 std::regex 的性能比较", "thread-5116-1-1.html"},
      {"托盘图标在 GNOME 下不显示的解决办法", "thread-5114-1-1.html"},
      {"[求助] CMake 找不到 Qt6Multimedia", "thread-5110-1-1.html"}},
     2},
    {"discuz.html",
     "table#threadlisttableid > tbody",
     JudgeMode::CompareArticleId,
     {{"新人报到，请多关照", "thread-88123-1-1.html"},
      {"求助：路由器频繁掉线怎么办", "thread-88120-1-1.html"},
      {"【分享】自制的桌面小工具合集", "thread-88119-1-1.html"},
      {"周末骑行路线推荐（附地图）", "thread-88115-1-1.html"},
      {"关于版规修改的意见征集", "thread-88110-1-1.html"},
      {"二手显示器出售，同城面交", "thread-88102-1-1.html"}},
     1},
    {"blog.html",
     "main.posts > article.post",
     JudgeMode::TimeDescending,
     {{"Sharpening chisels without a jig", "/2024/12/sharpening-chisels/"},
      {"Dovetails by hand: my third attempt", "/2024/11/dovetails-by-hand/"},
      {"Building a workbench from reclaimed beams", "/2024/11/workbench-build/"},
      {"Which finishing oil for a kitchen table?", "/2024/10/finishing-oils/"}},
     1},
    {"news.html",
     "ul.news-list > li",
     JudgeMode::TimeDescending,
     {{"示例集团召开 2024 年度总结大会", "/news/2024/12/annual-meeting.html"},
      {"华东新工厂正式投产，年产能翻倍", "/news/2024/12/new-plant.html"},
      {"集团荣获“年度最佳雇主”称号", "/news/2024/11/award.html"},
      {"与北方大学签署产学研合作协议", "/news/2024/11/partnership.html"},
      {"员工志愿者走进山区小学 &amp; 捐赠图书", "/news/2024/11/charity.html"},
      {"第三季度经营情况简报", "/news/2024/10/q3-report.html"},
      {"安全生产月活动圆满结束", "/news/2024/10/safety.html"}},
     1},
    {"cards.html",
     "div.card-grid > div.card",
     JudgeMode::TimeAscending,
     {{"Poetry evening with local writers", "event/poetry-evening"},
      {"Repair café: bring your broken toaster", "event/repair-cafe"},
      {"Chess club for beginners", "event/chess-club"},
      {"Winter stories for children", "event/winter-stories"},
      {"Film night: silent classics with live piano", "event/film-night"}},
     1},
    {"gbk_meta.html",
     "div.newsoft > a",
     JudgeMode::CompareArticleId,
     {{"压缩解压工具 9.2 绿色版", "show.asp?id=30412"},
      {"网络测速助手 2.1", "show.asp?id=30409"},
      {"文本编辑器 专业版 12.0", "show.asp?id=30401"},
      {"屏幕截图工具 5.5 正式版", "show.asp?id=30398"},
      {"磁盘清理大师 2024", "show.asp?id=30390"}},
     1},
    {"rss.xml",
     "channel > item",
     JudgeMode::CompareArticleId,
     {{"用 C++20 写一个小工具", "https://blog.example.com/?p=2045"},
      {"周末读书笔记：《重构》第二版", "https://blog.example.com/?p=2039"},
      {"Tips &amp; tricks for shell scripts", "https://blog.example.com/?p=2031"},
      {"十一月的跑步总结", "https://blog.example.com/?p=2020"}},
     1},
    {"atom.xml",
     "feed > entry",
     JudgeMode::TimeDescending,
     {{"Version 3.2: faster start-up", "https://releases.example.net/v3.2/"},
      {"Version 3.1.4: security fixes for the importer", "https://releases.example.net/v3.1.4/"},
      {"Version 3.1: a new plugin interface", "https://releases.example.net/v3.1/"}},
     1},
    {"two_lists.html",
     "ul.list > li",
     JudgeMode::CompareArticleId,
     {{"写给初学者的正则表达式入门", "/article/9120"},
      {"从零开始搭建家庭 NAS", "/article/9119"},
      {"一次数据库锁等待问题的排查记录", "/article/9117"},
      {"在旧笔记本上安装 Debian 12", "/article/9116"},
      {"读《程序员修炼之道》有感", "/article/9112"},
      {"用 SQLite 记录每天的阅读进度", "/article/9108"}},
     2},
};

class PlanSuggestFromPages : public test::EngineFixture {
protected:
    std::string serve(const std::string& file) {
        const std::string path = "/board/" + file;
        setPage(path, test::readFile(std::filesystem::path(TOVI_SUGGEST_PAGES) / file));
        return server.url(path);
    }
    // A link as a browser opens it from /board/.
    std::string absolute(const std::string& link) {
        if (link.starts_with("http")) return link;
        const std::string origin = server.url("");
        const std::string root = origin.substr(0, origin.find('/', 8));
        return link.starts_with("/") ? root + link : root + "/board/" + link;
    }
    std::vector<std::pair<std::string, std::string>> stored(int planId) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& row : db.run(Statement("select title, url from info where planid=?", {planId})).rows)
            out.emplace_back(gbkToUtf8(row[0]), gbkToUtf8(row[1]));
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(PlanSuggestFromPages, TheBestProposalCollectsThePageArticlesEndToEnd) {
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.file);
        const std::string url = serve(f.file);
        const SuggestResult r = suggestPlansFromUrl(url, "", kEditorDefaultUserAgent);
        ASSERT_GE(r.candidates.size(), f.candidates) << gbkToUtf8(r.problem);
        const PlanSuggestion& best = r.candidates.front();
        EXPECT_EQ(best.structure, f.structure);
        EXPECT_EQ(judgeModeFromText(std::to_string(best.fields.type)), f.mode);

        std::vector<std::pair<std::string, std::string>> expected;
        for (const auto& [title, link] : f.articles) expected.emplace_back(title, absolute(link));
        std::vector<std::pair<std::string, std::string>> proposed;
        for (std::size_t k = 0; k < best.titles.size(); ++k)
            proposed.emplace_back(gbkToUtf8(best.titles[k]), gbkToUtf8(best.links[k]));
        EXPECT_EQ(proposed, expected);
        EXPECT_EQ(best.count, expected.size());
        // Markers go into one-line boxes: no line break hides in them.
        for (const std::string& marker : {best.fields.before, best.fields.after})
            EXPECT_EQ(marker.find_first_of("\r\n"), std::string::npos) << gbkToUtf8(marker);
        ASSERT_EQ(best.sampleTitles.size(), 3u);
        EXPECT_EQ(gbkToUtf8(best.sampleTitles[2]), expected[2].first);

        // Saved and run as any plan: it stores exactly the page's articles.
        const Result<SavedPlan> saved = savePlan(db, best.fields, 0);
        ASSERT_TRUE(saved.ok()) << gbkToUtf8(saved.error());
        reloadPlanTable();
        EXPECT_EQ(monitoring->planRunner().runPlan(saved->id).kind, PlanRunOutcome::Kind::Stored)
            << gbkToUtf8(sink.text());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(stored(saved->id), expected);
        // And a second run stores nothing more.
        monitoring->planRunner().runPlan(saved->id);
        EXPECT_EQ(stored(saved->id).size(), expected.size());
    }
}

TEST_F(PlanSuggestFromPages, OtherListsOfThePageAreOfferedAfterTheBest) {
    struct Case {
        const char* file;
        const char* structure;
        std::size_t count;
        const char* firstTitle;
    } cases[] = {
        {"forum.html", "table#threadlist.tl > tbody > tr.normal", 8, "如何在 Debian 12 上编译 Qt 6 程序？"},
        {"two_lists.html", "ul.top > li", 3, "本站迁移到新服务器的说明"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const SuggestResult r = suggestPlansFromUrl(serve(c.file), "", kEditorDefaultUserAgent);
        ASSERT_GE(r.candidates.size(), 2u);
        EXPECT_EQ(r.candidates[1].structure, c.structure);
        EXPECT_EQ(r.candidates[1].count, c.count);
        EXPECT_EQ(gbkToUtf8(r.candidates[1].sampleTitles.at(0)), c.firstTitle);
    }
}

TEST_F(PlanSuggestFromPages, APageWithoutAListGetsTheReason) {
    const SuggestResult r = suggestPlansFromUrl(serve("nolist.html"), "", kEditorDefaultUserAgent);
    EXPECT_TRUE(r.candidates.empty());
    EXPECT_NE(gbkToUtf8(r.problem).find("没有找到文章列表"), std::string::npos);

    const SuggestResult missing =
        suggestPlansFromUrl(server.url("/board/none.html"), "", kEditorDefaultUserAgent);
    EXPECT_TRUE(missing.candidates.empty());
    EXPECT_FALSE(missing.problem.empty());

    const SuggestResult refused = suggestPlansFromUrl("file:///etc/passwd", "", kEditorDefaultUserAgent);
    EXPECT_TRUE(refused.candidates.empty());
    EXPECT_FALSE(refused.problem.empty());

    // A refused connection: its reason is said once, not in the problem and again beside it.
    const std::string closed = "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/";
    const SuggestResult unreachable = suggestPlansFromUrl(closed, "", kEditorDefaultUserAgent);
    const std::string said = gbkToUtf8(unreachable.problem) + "\n" + gbkToUtf8(unreachable.fetchError);
    const std::size_t first = said.find("无法连接");
    ASSERT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find("无法连接", first + 1), std::string::npos) << said;
}

// The parser reads a page shortened where it is plain text; every element it gives must still
// cite the page exactly: its tags where the page writes them, its attributes within its tag.
TEST(HtmlTree, ElementsCiteThePageWhereItWritesThem) {
    std::vector<std::filesystem::path> files;
    for (const auto& dir :
         {std::filesystem::path(TOVI_SUGGEST_PAGES), std::filesystem::path(TOVI_SUGGEST_PAGES) / "real"})
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".html") files.push_back(entry.path());
    ASSERT_GE(files.size(), 10u);
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::string text = test::readFile(file);
        const PageStructure page = parseHtml(text);
        std::size_t written = 0;
        for (std::size_t k = 1; k < page.elements.size(); ++k) {
            const PageElement& e = page.elements[k];
            SCOPED_TRACE(e.tag + " at " + std::to_string(e.start));
            ASSERT_LE(e.start, e.openEnd);
            ASSERT_LE(e.openEnd, e.closeStart);
            ASSERT_LE(e.closeStart, e.end);
            ASSERT_LE(e.end, text.size());
            const PageElement& up = page.elements[e.parent];
            EXPECT_LE(e.end, up.end);
            if (e.openEnd > e.start) {
                ++written;
                EXPECT_EQ(asciiLower(text.substr(e.start, e.tag.size() + 1)), "<" + e.tag);
                EXPECT_EQ(text[e.openEnd - 1], '>');
            }
            if (e.end > e.closeStart) {
                EXPECT_EQ(asciiLower(text.substr(e.closeStart, e.tag.size() + 2)), "</" + e.tag);
            }
            for (std::string_view attribute : {e.className, e.id, e.href}) {
                if (attribute.empty()) continue;
                EXPECT_GE(attribute.data(), text.data() + e.start);
                EXPECT_LE(attribute.data() + attribute.size(), text.data() + e.openEnd);
            }
        }
        EXPECT_GT(written, 20u);
    }
}

TEST(PlanSuggestHostilePages, MalformedMarkupEndsWithAnAnswer) {
    auto many = [](const std::string& piece, int n) {
        std::string s;
        for (int k = 0; k < n; ++k) s += piece;
        return s;
    };
    const std::string pages[] = {
        many("<div>", 200000),                                    // nesting without end
        "<ul>" + many("<li><a href='t-1.html'>unclosed", 50000),  // items and anchors never closed
        "<a href=\"x" + many("y", 100000),                        // a quote never closed
        "<!--" + many("<li><a href=t.html>x</a>", 10000),         // a comment never closed
        many("<table><tr><td>", 30000),                           // rows within cells within rows
        // Anchors full of line breaks: a backtracking title check aborted the program here.
        many("<li><a href='/t/1'>" + many("\n", 100000) + "</a></li>", 3),
        "<ul>" + many("<li><a href='/t/2'>" + many("\n", 30000) + "x</a></li>", 5) + "</ul>",
        // Stray closing tags under many open elements: each walked them all.
        many("<div>", 40000) + many("</b>", 40000),
        // What an HTML5 parser works hard on: formatting elements left open in every paragraph,
        // misnested ones, anchors within anchors, options without end.
        many("<p><b>x", 60000),
        many("<b><i>x</b></i>", 60000),
        many("<a href=/t/1>x", 60000),
        "<select>" + many("<option>x", 100000),
        // A feed whose items' texts are line breaks.
        "<rss><channel>" +
            many("<item><title>" + many("\n", 50000) + "</title><link>http://x/</link></item>", 3) +
            "</channel></rss>",
    };
    for (const auto& body : pages) {
        FetchResult page;
        page.body = body;
        const SuggestResult r = suggestPlans("http://127.0.0.1/", page);
        EXPECT_TRUE(r.candidates.empty() || r.candidates.front().count > 0);
    }
    // A page larger than any list page is refused with the reason, not read into memory.
    FetchResult huge;
    huge.body = "<ul>" + many("<li><a href='/t/1'>a title of some length</a></li>", (64 << 20) / 48);
    const SuggestResult refused = suggestPlans("http://127.0.0.1/", huge);
    EXPECT_TRUE(refused.candidates.empty());
    EXPECT_NE(gbkToUtf8(refused.problem).find("超过自动识别能分析的 8 MB"), std::string::npos)
        << gbkToUtf8(refused.problem);
    // Nesting stops at the browsers' depth, so nothing that walks the tree can run out of stack.
    const PageStructure deep = scanPage(many("<div>", 100000), false);
    std::size_t depth = 0;
    for (int at = static_cast<int>(deep.elements.size()) - 1; at > 0; at = deep.elements[at].parent) ++depth;
    EXPECT_EQ(depth, kMaxNesting - 1);
    // A stop request ends the reading: the suggestion answers with the reason, not a proposal.
    FetchResult big;
    big.body = "<ul>" + many("<li><a href='/t/1'>a title of some length</a></li>", 20000) + "</ul>";
    const SuggestResult stopped = suggestPlans("http://127.0.0.1/", big, [] { return true; });
    EXPECT_TRUE(stopped.candidates.empty());
    EXPECT_FALSE(stopped.problem.empty());
}

// Pages small in bytes that make an HTML5 parser build or check without end: formatting
// elements re-opened in every block (gigabytes from 67 KB), and one tag of 200,000 attributes
// (quadratic). Each ends soon and in bounded memory, and a cancel reaches inside the parser.
TEST(PlanSuggestHostilePages, WhatTheParserBuildsIsBounded) {
    std::string reopened;
    for (int k = 0; k < 4900; ++k) reopened += "<b id=b" + std::to_string(k) + ">";
    for (int k = 0; k < 1000; ++k) reopened += "<div>x</div>";
    std::string attributes = "<ul><li><a href='/t/1' ";
    for (int k = 0; k < 200000; ++k) attributes += "a" + std::to_string(k) + " ";
    attributes += ">x</a></li></ul>";
    auto peakKiB = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return u.ru_maxrss;
    };
    for (const std::string* body : {&reopened, &attributes}) {
        SCOPED_TRACE(body->size());
        const long before = peakKiB();
        const auto started = std::chrono::steady_clock::now();
        const PageStructure parsed = parseHtml(*body);
        EXPECT_GT(parsed.elements.size(), 1u);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
        EXPECT_LT(peakKiB() - before, 300 * 1024);
    }
    int asked = 0;
    const auto started = std::chrono::steady_clock::now();
    parseHtml(reopened, [&] { return ++asked > 2; });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

// A GB18030 page writes its euro sign in bytes (A2 E3) that the expression gives back in GBK's
// form (80): the proposal still proves itself on the page.
TEST(PlanSuggestEncodings, AGb18030EuroSignInTitles) {
    std::string html = "<html><head><meta charset=gb18030></head><body><ul>";
    for (int k = 1; k <= 6; ++k)
        html += "<li><a href='/t/" + std::to_string(k) + "'>" + gbk("售价 ") + std::to_string(k) +
                "\xA2\xE3" + gbk(" 的商品第") + std::to_string(k) + gbk("篇") + "</a></li>";
    FetchResult page;
    page.body = html + "</ul></body></html>";
    page.contentType = "text/html; charset=gb18030";
    const SuggestResult r = suggestPlans("http://127.0.0.1/", page);
    ASSERT_FALSE(r.candidates.empty()) << gbkToUtf8(r.problem);
    EXPECT_EQ(r.candidates.front().count, 6);
    EXPECT_EQ(gbkToUtf8(r.candidates.front().titles.at(0)), "售价 1€ 的商品第1篇");
}

// A feed whose DOCTYPE has an internal subset (with a ">" in a comment) and whose items hold
// HTML in CDATA, in their titles too: every item, titles without their tags.
TEST(PlanSuggestFeeds, ADoctypeSubsetAndHtmlInCdata) {
    std::string items;
    for (int k = 0; k < 12; ++k)
        items += "<item><title><![CDATA[Story " + std::to_string(k) +
                 " &amp; <b>more</b>]]></title><link>http://example.org/s/" + std::to_string(1000 + k) +
                 "</link><description><![CDATA[<p>Intro <a "
                 "href=\"http://example.org/x\">x</a></p><title>t</title>]]>"
                 "</description></item>\n";
    FetchResult page;
    page.body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE rss [\n<!ENTITY nbsp \"&#160;\">\n"
        "<!-- a comment > with a bracket -->\n]>\n<rss version=\"2.0\"><channel><title>Feed</title>" +
        items + "</channel></rss>";
    page.contentType = "application/rss+xml";
    const SuggestResult r = suggestPlans("http://127.0.0.1/feed.xml", page);
    ASSERT_FALSE(r.candidates.empty()) << gbkToUtf8(r.problem);
    EXPECT_EQ(r.candidates.front().count, 12);
    EXPECT_EQ(r.candidates.front().titles.at(3), "Story 3 &amp; more");
    EXPECT_EQ(r.candidates.front().links.at(3), "http://example.org/s/1003");
}

// A title in an anchor, read as the proposed expression reads it: linear in the content.
TEST(PlanSuggestHostilePages, AnchorTitlesAreReadWithoutBacktracking) {
    const std::string nl(200000, '\n');
    FetchResult page;
    page.body = "<html><body><ul>";
    for (int k = 1; k <= 5; ++k)
        page.body += "<li><a href='/t/" + std::to_string(k) + "'>" + nl.substr(0, 1000) + "<b>" + "标题第" +
                     std::to_string(k) + "篇文章内容</b>" + nl.substr(0, 1000) + "</a></li>";
    page.body += "</ul></body></html>";
    page.contentType = "text/html; charset=utf-8";
    const SuggestResult r = suggestPlans("http://127.0.0.1/", page);
    ASSERT_FALSE(r.candidates.empty()) << gbkToUtf8(r.problem);
    EXPECT_EQ(gbkToUtf8(r.candidates.front().titles.at(0)), "标题第1篇文章内容");
}

TEST(LinkInExpression, TheHrefValueAsLiteralTextAroundOneGroup) {
    struct Case {
        const char* expression;
        int group;  // 0: none
        const char* pattern;
    } cases[] = {
        {R"x(<a href="([^"]+)">(.*?)</a>)x", 1, "[1]"},
        {R"x(<a href="t-(\d+)\.html">(.*?)</a>)x", 1, "t-[1].html"},
        {R"x(<li>(.*?)<a href='/thread/(\d+)\?page=1'>)x", 2, "/thread/[2]?page=1"},
        {R"x(<a class="x" HREF=\"(.*?)\">)x", 1, "[1]"},
        {R"x((?:<b>)?<a href=([^ >]+)>)x", 1, "[1]"},
        {R"x(<a href="[^"]*t-(\d+)">)x", 0, ""},      // not literal before the group
        {R"x(thread-(\d+)[^>]*>(.*?)</a>)x", 0, ""},  // no href at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        auto link = linkInExpression(c.expression);
        ASSERT_EQ(link.has_value(), c.group != 0);
        if (!link) continue;
        EXPECT_EQ(link->group, c.group);
        EXPECT_EQ(link->pattern, c.pattern);
    }
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {

TEST(ArticleTitle, InlineTagsAreLeftOutOfTheTitle) {
    struct Case {
        const char* group;
        const char* title;
    } cases[] = {
        {"含<b>粗体</b>标签", "含粗体标签"},
        {"<font color=red>置顶</font> 公告", "置顶 公告"},
        {"a < b and c>d", "a < b and c>d"},  // no tag: kept
        {"x <3 y", "x <3 y"},
        {"unclosed <b", "unclosed <b"},
    };
    for (const Case& c : cases) EXPECT_EQ(articleTitle(gbk(c.group)), gbk(c.title)) << c.group;
}

// A title with a tag inside is collected like the others, stored as its text; a plan whose
// marker was stored with the tags still finds it, so nothing is stored twice.
TEST_F(PlanSuggestFromPages, TitlesWithInlineTagsAreCollectedAsTheirText) {
    std::string page =
        "<html><head><meta charset=\"utf-8\"><title>板块</title></head><body><ul class=\"list\">";
    for (int k = 7; k >= 1; --k)
        page += "<li><a href=\"/t/" + std::to_string(1000 + k) + "\">" +
                (k == 4 ? std::string("含<b>粗体</b>标签的第 4 篇文章")
                        : "第 " + std::to_string(k) + " 篇普通的文章") +
                "</a></li>";
    page += "</ul></body></html>";
    setPage("/board/tags.html", page);
    const SuggestResult r = suggestPlansFromUrl(server.url("/board/tags.html"), "", kEditorDefaultUserAgent);
    ASSERT_FALSE(r.candidates.empty()) << gbkToUtf8(r.problem);
    EXPECT_EQ(r.candidates.front().count, 7u);
    PlanFields fields = r.candidates.front().fields;
    fields.type = static_cast<int>(JudgeMode::TimeDescending);  // the marker matters in this mode
    const Result<SavedPlan> saved = savePlan(db, fields, 0);
    ASSERT_TRUE(saved.ok());
    reloadPlanTable();
    monitoring->planRunner().runPlan(saved->id);
    const auto titles = stored(saved->id);
    ASSERT_EQ(titles.size(), 7u);
    EXPECT_TRUE(std::any_of(titles.begin(), titles.end(),
                            [](const auto& t) { return t.first == "含粗体标签的第 4 篇文章"; }));
    // A marker written with its tags (as before titles lost them) is still found.
    db.run(Statement("update rule set arttile=? where id=?",
                     {gbk("含<b>粗体</b>标签的第 4 篇文章"), saved->id}));
    reloadPlanTable();
    monitoring->planRunner().runPlan(saved->id);
    EXPECT_EQ(stored(saved->id).size(), 7u);
}

}  // namespace
}  // namespace tovi

namespace tovi::suggest {
namespace {

// What a link may lose while the links stay distinct: a fragment, a trailing page counter, each
// only where it is there to lose.
TEST(LinkForms, WhatActivityChangesIsLeftOutOnlyWhereItIs) {
    struct Case {
        std::vector<const char*> links;
        bool dropFragment, dropPageCounter;
    } cases[] = {
        {{"/t/1#reply3", "/t/2#reply9", "/t/3"}, true, false},
        {{"/t?id=1&page=4", "/t?id=2&amp;page=9", "/t?id=3"}, false, true},
        {{"/t?id=1&page=4#last", "/t?id=2&page=9#last", "/t?id=3"}, true, true},
        {{"/t/1#a", "/t/1#b", "/t/2"}, false, false},  // the fragment is what tells them apart
        {{"/a", "/b", "/c"}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.links.front());
        std::vector<Item> items;
        for (const char* link : c.links) items.push_back({0, 0, -1, "t", link, {}});
        const LinkForm form = linkFormFor(items);
        EXPECT_EQ(form.dropFragment, c.dropFragment);
        EXPECT_EQ(form.dropPageCounter, c.dropPageCounter);
    }
}

}  // namespace
}  // namespace tovi::suggest
