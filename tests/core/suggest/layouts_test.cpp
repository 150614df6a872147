// Plans proposed from small pages of our own, one for each layout that once gave a wrong list:
// each goes through the three rounds (exactly its articles, nothing after activity, exactly
// three new ones). A page of nothing but menus gets a doubt and no plan saved silently.
#include "PageRounds.h"

namespace tovi {
namespace {

using namespace test;

std::string page(const std::string& body) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>列表</title></head><body>" + body +
           "</body></html>";
}

// Two menus of six long links to sections (more letters than the list), then a main list of three.
std::string menusBesideAShortList() {
    std::string menu;
    for (const char* section : {"products", "services", "customers", "partners", "company", "events"})
        menu += std::string("<li><a href=\"/") + section + "/\">Everything you want to know about our " +
                section + " here</a></li>";
    std::string html = "<div class=\"top\"><ul>" + menu + "</ul></div><div class=\"side\"><ul>" + menu +
                       "</ul></div><div class=\"box\"><ul>";
    for (int k = 0; k < 3; ++k)
        html += "<li><a href=\"/2024/05/post-" + std::to_string(800 + k) +
                ".html\">What we learnt moving a large service to a new database, part " + std::to_string(k) +
                "</a> <span>(" + std::to_string(10 + k) + " comments)</span></li>";
    return page(html + "</ul></div>");
}

// 120 ads of which 84 titles differ: every link and id differs.
std::string repostedTitles() {
    std::string html = "<table class=\"listing\">";
    for (int k = 0; k < 120; ++k)
        html += "<tr><td><a href=\"/ad/" + std::to_string(50000 - k) + ".html\">出售二手房：阳光小区 " +
                std::to_string(k % 84) + " 号楼三室两厅</a></td><td>浏览 " + std::to_string(k + 5) +
                " 次</td></tr>";
    return page(html + "</table>");
}

// Each record: the title as a heading link, then a longer excerpt linking to the same article.
std::string headingAndExcerpt() {
    std::string html = "<div class=\"posts\">";
    for (int k = 0; k < 10; ++k) {
        const std::string id = std::to_string(7000 - k);
        html += "<div class=\"post\"><h3><a href=\"/p/" + id + "\">帖子标题 " + std::to_string(k) +
                "</a></h3><p><a href=\"/p/" + id + "\">这是一段更长的摘要文字，讲的是第 " +
                std::to_string(k) + " 篇帖子里发生的事情，还有更多的细节和说明</a></p><span>回复 " +
                std::to_string(k + 1) + "</span></div>";
    }
    return page(html + "</div>");
}

// The thread list sent inside a comment in a hidden element, for the page's script to show.
std::string listInAComment() {
    std::string html =
        "<div class=\"head\"><a href=\"/\">首页</a> <a href=\"/login\">登录</a></div>"
        "<code id=\"pagelet\" style=\"display:none\"><!--<ul id=\"thread_list\">";
    for (int k = 0; k < 12; ++k)
        html += "<li class=\"j_thread\"><a href=\"/p/" + std::to_string(880000 - k) +
                "\" class=\"j_th_tit\">吧里的第 " + std::to_string(k) +
                " 个主题：大家来讨论一下</a> <span class=\"reply\">" + std::to_string(k * 3) + "</span></li>";
    return page(html + "</ul>--></code>");
}

// Boxes that all open and close alike: the only text near the main list's box that tells it
// apart is the last row of a long hot-topics box before it, which changes with the page.
std::string rowTextMarkers() {
    const std::string nav =
        "<div class=\"box\"><div class=\"cell\"><a href=\"/go/tech\">技术</a></div></div>";
    std::string html = nav + "<div class=\"box\">";
    for (int k = 0; k < 14; ++k)  // more than a marker may reach back over
        html += "<div class=\"cell hot\"><a href=\"/t/" + std::to_string(8000 + k) + "\">热议 " +
                std::to_string(k + 2) + " 条：今天的热门话题</a></div>";
    html += "</div><div class=\"box\">";
    for (int k = 0; k < 20; ++k)
        html += "<div class=\"cell item\"><span class=\"item_title\"><a href=\"/t/" +
                std::to_string(9000 - k) + "#reply" + std::to_string(k) + "\" class=\"topic-link\">关于第 " +
                std::to_string(k) + " 个问题的讨论：怎样装好系统</a></span> <span class=\"info\">• " +
                std::to_string(k + 2) + " 分钟前 • 最后回复来自 <a href=\"/member/r" + std::to_string(k) +
                "\">r" + std::to_string(k) + "</a></span></div>";
    return page(html + "</div>" + nav);
}

// Links written with "&amp;", and a few absolute ones to another site among relative ones.
std::string entitiesAndMixedLinks() {
    std::string html = "<ul class=\"news\">";
    for (int k = 0; k < 20; ++k) {
        const std::string id = std::to_string(60000 - k);
        const std::string href = k % 7 == 3 ? "https://partner.example.org/story/" + id + ".html"
                                            : "show.php?id=" + id + "&amp;from=list";
        html += "<li><a href=\"" + href + "\">本地新闻第 " + std::to_string(k) +
                " 条：今天发生的一件事</a> <em>" + std::to_string(k + 1) + " 阅</em></li>";
    }
    return page(html + "</ul>");
}

// A new record from an old one: its numbers of four digits or more raised, its title new.
std::function<std::string(std::string, int)> freshRecord(const char* titleRe) {
    return [titleRe](std::string r, int k) {
        r = replaceEach(r, R"re(\b\d{4,6}\b)re", [&](const boost::smatch& m) {
            return std::to_string(std::stoll(m.str()) + 100000 + k);
        });
        return replaceEach(
            r, titleRe, [&](const boost::smatch& m) { return m.str(1) + "新的一篇 " + std::to_string(k); });
    };
}

const RealPage kLayouts[] = {
    {"a 3-item list beside two menus",
     menusBesideAShortList,
     R"re(<li><a href="/2024[\s\S]*?</li>)re",
     R"re(<a href="([^"]+)">([^<]+)</a>)re",
     {R"re(\((\d+) comments)re"},
     [](std::string r, int k) {
         r = replaceEach(r, R"re(post-\d+)re",
                         [&](const auto&) { return "post-" + std::to_string(900 + k); });
         return replaceEach(r, R"re((\.html">)[^<]+)re", [&](const auto& m) {
             return m.str(1) + "A new post about something, number " + std::to_string(k);
         });
     },
     3},
    {"reposted titles",
     repostedTitles,
     R"re(<tr><td>[\s\S]*?</tr>)re",
     R"re(<a href="([^"]+)">([^<]+)</a>)re",
     {R"re(浏览 (\d+) 次)re"},
     freshRecord(R"re((\.html">)[^<]+)re"),
     120},
    {"heading and excerpt links",
     headingAndExcerpt,
     R"re(<div class="post">[\s\S]*?</span></div>)re",
     R"re(<h3><a href="([^"]+)">([^<]+)</a>)re",
     {R"re(回复 (\d+))re"},
     freshRecord(R"re((<h3><a href="[^"]+">)[^<]+)re"),
     10},
    {"a list inside a comment",
     listInAComment,
     R"re(<li class="j_thread">[\s\S]*?</li>)re",
     R"re(<a href="([^"]+)" class="j_th_tit">([^<]+)</a>)re",
     {R"re(class="reply">(\d+)<)re"},
     freshRecord(R"re((class="j_th_tit">)[^<]+)re"),
     12},
    {"rows full of tempting marker text",
     rowTextMarkers,
     R"re(<div class="cell item">[\s\S]*?</span></div>)re",
     R"re(<a href="([^"]+)" class="topic-link">([^<]+)</a>)re",
     {R"re(#reply(\d+))re", R"re(• (\d+) 分钟前)re", R"re(热议 (\d+) 条)re"},
     freshRecord(R"re((class="topic-link">)[^<]+)re"),
     20},
    {"&amp; and mixed absolute links",
     entitiesAndMixedLinks,
     R"re(<li><a [\s\S]*?</li>)re",
     R"re(<a href="([^"]+)">([^<]+)</a>)re",
     {R"re(<em>(\d+) 阅)re"},
     freshRecord(R"re((<a href="[^"]+">)[^<]+)re"),
     20},
};

using Layouts = PageRounds;

TEST_F(Layouts, TheBestProposalStoresThePageArticlesThenNothingAfterActivityThenExactlyTheNewOnes) {
    int n = 0;
    for (const RealPage& p : kLayouts) {
        SCOPED_TRACE(p.name);
        threeRounds(p, "/layout/" + std::to_string(++n) + "/page.html");
    }
}

// Nothing but a menu of sections and a footer: whatever is proposed says it looks like a menu.
std::string menusOnly() {
    std::string html = "<div class=\"links\"><ul>";
    for (const char* section :
         {"news", "sports", "finance", "travel", "science", "culture", "health", "autos"})
        html +=
            std::string("<li><a href=\"/") + section + "/\">All the latest " + section + " stories</a></li>";
    html += "</ul></div><div class=\"bottom\"><ul>";
    for (const char* page : {"about", "contact", "jobs", "privacy", "terms", "help"})
        html += std::string("<li><a href=\"/") + page + "/\">Read our " + page + " page here</a></li>";
    return page(html + "</ul></div>");
}

TEST_F(Layouts, APageOfMenusGetsOnlyDoubtedProposals) {
    setPage("/menus.html", menusOnly());
    const SuggestResult r = suggestPlansFromUrl(server.url("/menus.html"), "", kEditorDefaultUserAgent);
    ASSERT_FALSE(r.candidates.empty());
    for (const PlanSuggestion& s : r.candidates)
        EXPECT_NE(gbkToUtf8(s.doubt).find("不像文章列表"), std::string::npos) << s.structure;
}

}  // namespace
}  // namespace tovi
