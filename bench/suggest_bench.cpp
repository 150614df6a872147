// Proposing plans for a 1 MB page (goal: under 200 ms): a forum board of 3,000 rows with a
// menu, pinned rows, a pager and a footer, as UTF-8 and as GBK; a real board's rows repeated to
// 1 MB, and reading that page alone (the HTML5 parser, and our own scanner beside it); and 1 MB
// of markup that never closes, as a hostile page would send.
#include <benchmark/benchmark.h>

#include <boost/regex.hpp>
#include <fstream>
#include <sstream>

#include "core/monitor/Pipeline.h"
#include "core/suggest/HtmlTree.h"
#include "core/suggest/PlanSuggest.h"
#include "core/text/Gbk.h"

namespace {

std::string forumPage(std::size_t bytes, const char* charset = "utf-8") {
    std::string page = "<html><head><meta charset=\"" + std::string(charset) +
                       "\"><title>大型论坛</title></head><body>"
                       "<ul class=\"nav\"><li><a href=\"/\">首页</a></li><li><a href=\"/f1\">版块</a></li>"
                       "<li><a href=\"/s\">搜索</a></li></ul><table id=\"threads\">"
                       "<tr class=\"header\"><th><a href=\"?o=t\">标题</a></th><th>作者</th></tr>";
    for (int id = 900000; page.size() < bytes; --id) {
        const std::string n = std::to_string(id);
        page += "<tr class=\"" + std::string(id % 50 == 0 ? "sticky" : "normal") +
                "\">\n  <td class=\"subject\"><a href=\"thread-" + n + "-1-1.html\" class=\"xst\">第 " + n +
                " 号帖子：关于桌面程序的讨论与经验分享</a></td>\n  <td><a href=\"space-uid-" +
                std::to_string(id % 977) + ".html\">用户" + std::to_string(id % 977) +
                "</a></td>\n  <td>12/345</td><td><a href=\"thread-" + n +
                "-9-1.html\">2024-12-10 08:15</a></td>\n</tr>\n";
    }
    page +=
        "</table><div class=\"pages\"><a href=\"?p=2\">2</a><a href=\"?p=3\">3</a></div>"
        "<div id=\"footer\"><a href=\"/about\">关于我们</a></div></body></html>";
    return page;
}

// The real board with its thread rows repeated (each with a thread number and title of its own)
// to a size.
std::string realBoard(std::size_t bytes) {
    std::ifstream in(TOVI_REAL_PAGES "/board_forumdisplay.html", std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string page = all.str();
    const std::size_t first = page.find("<tr class=\"thread\" id="), end = page.find("</tbody>", first);
    const std::string rows = page.substr(first, end - first);
    std::string body = page.substr(0, first);
    const boost::regex threadId("3[0-9]{6}");
    const boost::regex title("class=\"thread_title\">");
    for (int copy = 0; body.size() + rows.size() < bytes; ++copy) {
        const std::string n = std::to_string(copy);
        body += boost::regex_replace(boost::regex_replace(rows, threadId, std::to_string(4000 + copy) + "$&"), title,
                                     "$&" + n + ": ");
    }
    return body + page.substr(end);
}

void suggestOn(benchmark::State& state, const std::string& body) {
    tovi::FetchResult page;
    page.body = body;
    page.contentType = "text/html";
    std::size_t found = 0;
    for (auto _ : state) {
        const tovi::SuggestResult r = tovi::suggestPlans("http://127.0.0.1/forum/", page);
        found = r.candidates.empty() ? 0 : r.candidates.front().count;
        benchmark::DoNotOptimize(found);
    }
    state.counters["articles"] = static_cast<double>(found);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}

void BM_SuggestForum1MB(benchmark::State& state) { suggestOn(state, forumPage(1 << 20)); }
void BM_SuggestForum1MBGbk(benchmark::State& state) {
    suggestOn(state, tovi::utf8ToGbk(forumPage(1 << 20, "gbk")));
}
void BM_SuggestRealBoard1MB(benchmark::State& state) { suggestOn(state, realBoard(1 << 20)); }

void readOn(benchmark::State& state, bool parser) {
    std::string text = realBoard(1 << 20);
    tovi::cleanSourceInPlace(text);
    for (auto _ : state) {
        const tovi::PageStructure page = parser ? tovi::parseHtml(text) : tovi::scanPage(text, false);
        benchmark::DoNotOptimize(page.elements.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
void BM_ParseRealBoard1MB(benchmark::State& state) { readOn(state, true); }
void BM_ScanRealBoard1MB(benchmark::State& state) { readOn(state, false); }

void BM_SuggestUnclosedMarkup1MB(benchmark::State& state) {
    std::string body = "<ul>";
    while (body.size() < (1 << 20)) body += "<li><div><a href='t-1.html'>x";
    suggestOn(state, body);
}

BENCHMARK(BM_SuggestForum1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SuggestForum1MBGbk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SuggestRealBoard1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseRealBoard1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanRealBoard1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SuggestUnclosedMarkup1MB)->Unit(benchmark::kMillisecond);

}  // namespace
