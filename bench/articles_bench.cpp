// Article list pages on a tovi.sdb with 1,000,000 articles over 200 plans.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "BenchDatabase.h"
#include "core/articles/ArticleList.h"
#include "core/store/Database.h"
#include "core/text/Gbk.h"

namespace {

tovi::Database& bigDatabase() {
    static tovi::Database db;
    static bool ready = false;
    if (ready) return db;
    // Titles of Chinese words so the keyword view has real work.
    db.open(tovi::bench::cachedDatabase(
        "tovi-bench-1m.sdb",
        tovi::gbk("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 1000000) "
                  "INSERT INTO info(planname,planid,title,url,other,addtime,issoucang) "
                  "SELECT '方案' || (i % 200 + 1), i % 200 + 1, '第' || i || '篇 新闻标题 ' || (CASE "
                  "WHEN i % 997 = 0 THEN '公告' ELSE '帖子' END), "
                  "'http://x/thread-' || i || '.html', '', '12/10 7:05', CASE WHEN i % 50 = 0 THEN 1 "
                  "ELSE 0 END FROM n")));
    ready = true;
    return db;
}

void BM_ArticlePage(benchmark::State& state, tovi::ArticleView view) {
    auto& db = bigDatabase();
    const std::int64_t page = state.range(0);
    std::size_t rows = 0;
    for (auto _ : state) {
        rows = tovi::loadArticlePage(db, view, page).size();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK_CAPTURE(BM_ArticlePage, all, tovi::ArticleView::all())
    ->Arg(1)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ArticlePage, plan, tovi::ArticleView::plan(17))
    ->Arg(1)
    ->Arg(50)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ArticlePage, favourites, tovi::ArticleView::favourites())
    ->Arg(1)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ArticlePage, keyword, tovi::ArticleView::search(tovi::gbk("公告")))
    ->Arg(1)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace
