// The plan run's work on the reference page shape (the same page bench/reference_pipeline.py builds):
// clean + cut + match over a 1 MB GBK page with 500 matches, and storing them with the plan
// update in one transaction.
#include <benchmark/benchmark.h>

#include <boost/regex.hpp>
#include <filesystem>

#include "BenchDatabase.h"
#include "core/monitor/Pipeline.h"
#include "core/store/Database.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace {

std::string makePage(int matches = 500, std::size_t size = 1 << 20) {
    std::string head =
        "<html><head><title>板块</title></head><body>\r\n<div "
        "class=\"nav\">导航</div>\r\n<!--list-start-->\r\n";
    std::string body;
    for (int i = matches; i >= 1; --i)
        body += "<li>\t<a href=\"thread-" + std::to_string(100000 + i) + "-1-1.html\" title=\"x\">第" +
                std::to_string(i) + "篇 新闻标题 测试文章</a>  <span>作者" + std::to_string(i) +
                "</span>  <em>2026-12-" + std::to_string(i % 28 + 1) + "</em></li>\r\n";
    std::string page = tovi::gbk(head + body);
    std::string tail = "<!--list-end-->\r\n";
    while (page.size() + tail.size() < size) tail += tovi::gbk("<p>页脚 footer text</p>\r\n");
    page += tail;
    page.resize(size);
    return page;
}

const char* kExpression = "<a href=\"thread-(\\d+)-1-1\\.html\"[^>]*>(.*?)</a> <span>(.*?)</span>";

void BM_CleanCutMatch(benchmark::State& state) {
    const std::string page = makePage();
    std::size_t matches = 0;
    for (auto _ : state) {
        std::string cleaned = tovi::cleanSource(page);
        std::string_view region = tovi::textBetweenView(cleaned, "<!--list-start-->", "<!--list-end-->");
        matches = tovi::matchAll(kExpression, region).matches.size();
        benchmark::DoNotOptimize(matches);
    }
    if (matches != 500) state.SkipWithError("expected 500 matches");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}
BENCHMARK(BM_CleanCutMatch)->Unit(benchmark::kMillisecond);

// The same work with the byte engine the program used before (Boost.Regex over GBK bytes), in
// the same run, so the cost of matching characters (the region turned into UTF-8 and back)
// reads as a ratio.
void BM_CleanCutMatchBytesBoost(benchmark::State& state) {
    const std::string page = makePage();
    const boost::regex rx(kExpression, boost::regex::perl | boost::regex::icase);
    std::size_t matches = 0;
    for (auto _ : state) {
        std::string cleaned = tovi::cleanSource(page);
        std::string_view region = tovi::textBetweenView(cleaned, "<!--list-start-->", "<!--list-end-->");
        std::vector<std::vector<std::string>> found;
        for (boost::cregex_iterator it(region.data(), region.data() + region.size(), rx), end; it != end; ++it) {
            std::vector<std::string> groups;
            for (std::size_t g = 0; g < it->size(); ++g) groups.push_back((*it)[g].str());
            found.push_back(std::move(groups));
        }
        matches = found.size();
        benchmark::DoNotOptimize(found);
    }
    if (matches != 500) state.SkipWithError("expected 500 matches");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}
BENCHMARK(BM_CleanCutMatchBytesBoost)->Unit(benchmark::kMillisecond);

void BM_Store500WithPlanUpdate(benchmark::State& state) {
    const std::string page = makePage();
    auto matched = tovi::matchAll(
        kExpression, tovi::textBetween(tovi::cleanSource(page), "<!--list-start-->", "<!--list-end-->"));
    auto dir = std::filesystem::temp_directory_path() / "tovi-bench-store";
    for (auto _ : state) {
        state.PauseTiming();
        tovi::Database db;
        tovi::bench::freshDatabase(db, dir);
        db.run("insert into rule(id,name) values(1,'plan')");
        state.ResumeTiming();
        std::vector<tovi::Statement> statements;
        for (std::size_t i = matched.matches.size(); i-- > 0;) {
            const auto& m = matched.matches[i];
            statements.emplace_back(
                "insert into info(planname,planid,title,url,other,addtime,issoucang) values(?,?,?,?,?,?,0)",
                std::vector<tovi::SqlValue>{std::string("plan"), std::int64_t{1}, m.groups[2],
                                            "http://x/thread-" + m.groups[1] + "-1-1.html", m.groups[3],
                                            std::string("12/10 7:05")});
        }
        statements.emplace_back(
            "update rule set arttile=?,arturl=?,lasttime=?,lastid=? where id=?",
            std::vector<tovi::SqlValue>{matched.matches[0].groups[2], std::string("u"),
                                        std::string("12/10 7:05"), std::int64_t{0}, std::int64_t{1}});
        auto results = db.runTransaction(statements);
        benchmark::DoNotOptimize(results);
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Store500WithPlanUpdate)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

namespace {
// Cleaning as a run does it: in place, on the page it owns (the copy is made outside the timing).
void BM_CleanOnly(benchmark::State& state) {
    const std::string page = makePage();
    std::string work;
    work.reserve(page.size());
    for (auto _ : state) {
        state.PauseTiming();
        work.assign(page);
        state.ResumeTiming();
        tovi::cleanSourceInPlace(work);
        benchmark::DoNotOptimize(work.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}
BENCHMARK(BM_CleanOnly)->Unit(benchmark::kMillisecond);

void BM_CutOnly(benchmark::State& state) {
    const std::string page = tovi::cleanSource(makePage());
    for (auto _ : state)
        benchmark::DoNotOptimize(tovi::textBetween(page, "<!--list-start-->", "<!--list-end-->"));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}
BENCHMARK(BM_CutOnly)->Unit(benchmark::kMillisecond);

void BM_MatchOnly(benchmark::State& state) {
    const std::string region =
        tovi::textBetween(tovi::cleanSource(makePage()), "<!--list-start-->", "<!--list-end-->");
    for (auto _ : state) benchmark::DoNotOptimize(tovi::matchAll(kExpression, region));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * region.size());
}
BENCHMARK(BM_MatchOnly)->Unit(benchmark::kMillisecond);
}  // namespace
