// Storing 500 new articles of a plan that already has 1,000,000 stored: with the look-up that
// keeps an article from being stored twice, and without it (plain inserts), side by side.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "BenchDatabase.h"
#include "core/store/Database.h"
#include "core/text/Gbk.h"

namespace {

const std::filesystem::path& bigPlanFile() {
    static const std::filesystem::path path = tovi::bench::cachedDatabase(
        "tovi-bench-identity-1m.sdb",
        tovi::gbk("insert into rule(id,name) values(1,'plan');"
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 1000000) "
                  "INSERT INTO info(planname,planid,title,url,other,addtime,issoucang) "
                  "SELECT '方案', 1, '第' || i || '篇 新闻标题 测试文章', "
                  "'http://x/thread-' || i || '-1-1.html', '', '12/10 7:05', 0 FROM n"));
    return path;
}

std::vector<tovi::Statement> newArticles(int round) {
    std::vector<tovi::Statement> out;
    for (int i = 0; i < 500; ++i) {
        const int n = 2000000 + round * 500 + i;
        out.emplace_back(
            "insert into info(planname,planid,title,url,other,addtime,issoucang) values(?,?,?,?,?,?,0)",
            std::vector<tovi::SqlValue>{
                tovi::gbk("方案"), std::int64_t{1},
                tovi::gbk("第") + std::to_string(n) + tovi::gbk("篇 新闻标题 测试文章"),
                "http://x/thread-" + std::to_string(n) + "-1-1.html", std::string(),
                std::string("12/10 7:05")});
    }
    return out;
}

// Each iteration stores 500 articles no run stored before, then takes them out again (untimed).
template <bool kIdentity>
void storeFiveHundred(benchmark::State& state) {
    tovi::Database db;
    db.open(bigPlanFile());
    tovi::ensureIndexes(db);
    int round = 0;
    for (auto _ : state) {
        auto articles = newArticles(round++);
        if constexpr (kIdentity) {
            (void)db.writeTransaction([&](tovi::Transaction& t) {
                for (const auto& insert : articles) {
                    const auto& v = insert.values;
                    auto seen = t.run(
                        tovi::Statement("select 1 from info where planid=? and title=? and url=? limit 1",
                                        {v[1], v[2], v[3]}));
                    if (!seen.ok) return false;
                    if (!seen.rows.empty()) continue;
                    if (!t.run(insert).ok) return false;
                }
                return true;
            });
        } else {
            db.runTransaction(articles);
        }
        state.PauseTiming();
        db.run("delete from info where id > 1000000");
        state.ResumeTiming();
    }
}

void BM_Store500_Plain(benchmark::State& state) { storeFiveHundred<false>(state); }
void BM_Store500_WithIdentityCheck(benchmark::State& state) { storeFiveHundred<true>(state); }
BENCHMARK(BM_Store500_Plain)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_Store500_WithIdentityCheck)->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace
