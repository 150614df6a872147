// Plans proposed from real pages nobody here wrote (forum boards, a news front page, a feed, a
// card list, grouped roll news, a Discuz! board) and from a community page of our own with a
// hot-topics box beside its main list, over three rounds each.
#include "PageRounds.h"

namespace tovi {
namespace {

using namespace test;

std::string realPage(const char* file) {
    return test::readFile(std::filesystem::path(TOVI_SUGGEST_PAGES) / "real" / file);
}

// A community home page of our own: a small hot-topics box beside the main list, whose title
// links carry the reply count as an anchor ("/t/632226#reply9").
std::string communityPage() {
    std::string html =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>技术社区</title></head><body>"
        "<div id=\"Wrapper\"><div id=\"Rightbar\"><div class=\"box\"><div class=\"cell\">今日热议主题</div>";
    for (int k = 0; k < 7; ++k)
        html += "<div class=\"cell hot\"><a href=\"/t/" + std::to_string(632000 + k) + "\">热议：第 " +
                std::to_string(k) + " 个被讨论最多的主题</a></div>";
    html += "</div></div><div id=\"Main\"><div class=\"box\">";
    for (int k = 0; k < 50; ++k) {
        const std::string id = std::to_string(632226 - k * 3), replies = std::to_string(k % 11 + 1);
        html +=
            "<div class=\"cell item\"><table><tr><td><a href=\"/member/u" + std::to_string(k) +
            "\"><img src=\"/avatar/" + std::to_string(k) +
            ".png\"></a></td><td><span class=\"item_title\">"
            "<a href=\"/t/" +
            id + "#reply" + replies + "\" class=\"topic-link\">关于第 " + std::to_string(k) +
            " 个问题的讨论：怎样在旧电脑上装好系统</a></span><br><span class=\"topic_info\"><strong><a "
            "href=\"/member/u" +
            std::to_string(k) + "\">用户" + std::to_string(k) + "</a></strong> • " + std::to_string(k + 2) +
            " 分钟前 • 最后回复来自 <strong><a href=\"/member/r" + std::to_string(k) +
            "\">回复者</a></strong></span></td>"
            "<td><a href=\"/t/" +
            id + "#reply" + replies + "\" class=\"count_livid\">" + replies + "</a></td></tr></table></div>";
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
     {R"re(<td class="replies">(\d+)<)re", R"re(<td class="views">(\d+)<)re",
      R"re(<div class="date">(\d+):)re", R"re(pagenumber=(\d+)">)re"},
     newThread("A new thread, number "),
     40},
    {"second board",
     [] { return realPage("board_forumdisplay2.html"); },
     R"re(<tr class="thread[^"]*" id="thread\d+">[\s\S]*?</tr>)re",
     R"re(<a href="([^"]+)" class="thread_title">([^<]+)</a>)re",
     {R"re(<td class="replies">(\d+)<)re", R"re(<td class="views">(\d+)<)re",
      R"re(<div class="date">(\d+):)re"},
     newThread("A new let's play, number "),
     30},
    {"news front page",
     [] { return realPage("news_front.html"); },
     R"re(<tr class='athing'[\s\S]*?<tr class="spacer"[^>]*></tr>)re",
     R"re(<span class="titleline"><a href="([^"]+)"[^>]*>([^<]+)</a>)re",
     {R"re((\d+) points)re", R"re((\d+)&nbsp;comments)re", R"re((\d+) (?:hours?|minutes?) ago)re"},
     [](std::string r, int k) {
         r = replaceEach(r, R"re(379\d{5})re", [&](const auto&) { return std::to_string(38000000 + k); });
         return replaceEach(r, R"re((<span class="titleline"><a href=")[^"]+("[^>]*>)[^<]+)re",
                            [&](const auto& m) {
                                return m.str(1) + "https://example.org/story-" + std::to_string(k) +
                                       m.str(2) + "A new story " + std::to_string(k);
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
             return "<title>Új hír " + std::to_string(k) + "</title>\n <link>http://pihgy.hu/uj_" +
                    std::to_string(k) + "</link>";
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
    {"community cards",
     [] { return realPage("community_cards.html"); },
     R"re(<div class="news-item stream__item[\s\S]*?<div class="news__item-meta">[\s\S]*?</div>\s*</div>\s*</div>)re",
     R"re(<a target="_blank" href="([^"]+)">\s*<div class="mb5 mt5">\s*<h4 class="news__item-title mt0">([^<]+)</h4>)re",
     {R"re(votes-num[^>]*>(\d+)<)re"},
     [](std::string r, int k) {
         r = replaceEach(r, R"re(1190000\d{6})re",
                         [&](const auto&) { return std::to_string(1190000099000 + k); });
         return replaceEach(r, R"re((<h4 class="news__item-title mt0">)[^<]+)re",
                            [&](const auto& m) { return m.str(1) + "新文章 " + std::to_string(k); });
     },
     75},
    {"roll news in groups (GBK)",
     [] { return realPage("roll_news_groups_gbk.html"); },
     R"re(<li><span class="right f12px cDGray">\(\d[\s\S]*?</li>)re",
     R"re(</a> <a href="([^"]+)">([^<]+)</a></li>)re",
     {R"re(\(2020-08-16 (\d+):)re"},
     [](std::string r, int k) {
         return replaceEach(r, R"re((</a> <a href=")[^"]+(">)[^<]+)re", [&](const auto& m) {
             return m.str(1) + "https://news.163.com/20/0817/08/NEW" + std::to_string(k) + "0001899O.html" +
                    m.str(2) + "New item " + std::to_string(k);
         });
     },
     40,
     true},
    {"Discuz! board (GBK, &amp; in links)",
     [] { return realPage("board_discuz_gbk.html"); },
     R"re(<tbody id="(?:stick|normal)thread_\d+">[\s\S]*?</tbody>)re",
     R"re(<span id="thread_\d+"><a href="([^"]+)"[^>]*>([^<]+)</a>)re",
     {R"re(<td class="nums"><strong>(\d+)</strong>)re", R"re(/<em>(\d+)</em></td>)re"},
     [](std::string r, int k) {
         r = replaceEach(r, R"re((tid=|thread_)\d+)re",
                         [&](const auto& m) { return m.str(1) + std::to_string(3000000 + k); });
         return replaceEach(r, R"re((<span id="thread_\d+"><a href="[^"]+"[^>]*>)[^<]+)re",
                            [&](const auto& m) { return m.str(1) + "New thread " + std::to_string(k); });
     },
     75,
     true},
};

using RealPages = PageRounds;

TEST_F(RealPages, TheBestProposalStoresThePageArticlesThenNothingAfterActivityThenExactlyTheNewOnes) {
    int n = 0;
    for (const RealPage& p : kPages) {
        SCOPED_TRACE(p.name);
        threeRounds(p, "/real/" + std::to_string(++n) + "/page.html");
    }
}

}  // namespace
}  // namespace tovi
