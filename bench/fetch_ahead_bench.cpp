// Fetching ahead against fetching one page after the other, in one run: plans whose pages
// answer 300 ms late, on several sites (spellings of 127.0.0.1), queued site after site (as
// users number their boards) or interleaved. Reported: wall time per pass; the ratio of the
// sequential pass to the overlapped one is the figure to read (goals: 40 plans on 4 sites ≥ 6×
// both ways, 200 plans on 8 sites ≥ 12×). A pass over 200 plans of one site that
// answers at once reports the wall time per plan (goal ≤ 3 ms).
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <filesystem>
#include <thread>

#include "BenchDatabase.h"
#include "core/monitor/Monitoring.h"
#include "core/text/Gbk.h"

namespace {

const char* const kHosts[] = {"127.0.0.1",  "127.1",  "127.0.1",         "2130706433",
                              "0x7f000001", "0177.0.0.1", "0x7f.1", "127.000.000.001"};

struct Quiet : tovi::StatusSink, tovi::AlertSink, tovi::MonitorListener {
    void append(std::string_view) override {}
    void replaceAll(std::string_view) override {}
    void playSound() override {}
    void showAlertIcon() override {}
    void showNormalIcon() override {}
};

// /slow/N answers after 300 ms, /fast/N at once; each with 20 articles of its own.
struct Site {
    Site() {
        // Enough server threads that the site never is what limits the transfers in flight.
        server.new_task_queue = [] { return new httplib::ThreadPool(128); };
        server.set_tcp_nodelay(true);  // as real servers answer: no small-write stalls
        server.Get(R"(/(slow|fast)/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            if (req.matches[1] == "slow") std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::string html = "<ul>";
            for (int i = 20; i >= 1; --i)
                html += "<li><a href=\"t-" + std::string(req.matches[2]) + "-" + std::to_string(i) + "\">第" +
                        std::to_string(i) + "篇</a></li>";
            res.set_content(tovi::gbk(html + "</ul>"), "text/html");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~Site() {
        server.stop();
        thread.join();
    }
    httplib::Server server;
    int port = 0;
    std::thread thread;
};

// One pass over `plans` plans on `sites` sites; parallel 1 is the sequential reference.
void pass(benchmark::State& state, int plans, int sites, bool grouped, bool slow) {
    static Site site;
    const int parallel = static_cast<int>(state.range(0));
    auto dir = std::filesystem::temp_directory_path() / "tovi-bench-fetch-ahead";
    for (auto _ : state) {
        state.PauseTiming();
        tovi::Database db;
        tovi::bench::freshDatabase(db, dir);
        std::vector<tovi::Statement> rows;
        std::vector<int> queue;
        for (int id = 1; id <= plans; ++id) {
            const int s = grouped ? (id - 1) * sites / plans : id % sites;
            const std::string url = "http://" + std::string(kHosts[s]) + ":" + std::to_string(site.port) +
                                    (slow ? "/slow/" : "/fast/") + std::to_string(id);
            rows.emplace_back(
                "insert into "
                "rule(id,class,code,name,url,ua,buquan,regular,before,after,tindex,uindex,oindex,isdo,"
                "lastid,type) "
                "values(?,1,'1','plan',?,'bench','http://x/[1]',?,'<ul>','</ul>','2','1','0',1,'','0')",
                std::vector<tovi::SqlValue>{std::int64_t{id}, url,
                                            std::string("<li><a href=\"(t-[0-9-]+)\">(.*?)</a></li>")});
            queue.push_back(id);
        }
        db.runTransaction(rows);
        Quiet quiet;
        tovi::Monitoring monitoring(db, quiet, quiet, &quiet);
        monitoring.planTable().fill(db.run("select * from rule"), nullptr);
        monitoring.planRunner().setArticlePause(std::chrono::milliseconds(0));
        if (parallel) monitoring.engine().setParallel(parallel);  // 0: the default
        state.ResumeTiming();
        monitoring.engine().startOneShot(queue, tovi::RunMode::RunAll);
        monitoring.engine().waitAll(std::chrono::minutes(10));
        state.PauseTiming();
        state.counters["articles"] = std::stod(db.run("select count(*) from info").rows[0][0]);
        state.ResumeTiming();
    }
    std::filesystem::remove_all(dir);
}

void BM_40PlansOn4SitesSiteAfterSite(benchmark::State& s) { pass(s, 40, 4, true, true); }
void BM_40PlansOn4SitesInterleaved(benchmark::State& s) { pass(s, 40, 4, false, true); }
void BM_200PlansOn8SitesSiteAfterSite(benchmark::State& s) { pass(s, 200, 8, true, true); }
void BM_200PlansOn8SitesInterleaved(benchmark::State& s) { pass(s, 200, 8, false, true); }
void BM_200PlansOn1SiteAtOnce(benchmark::State& s) { pass(s, 200, 1, true, false); }

// Arg: fetches in flight (1: one after the other; 0: the default).
BENCHMARK(BM_40PlansOn4SitesSiteAfterSite)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_40PlansOn4SitesInterleaved)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_200PlansOn8SitesSiteAfterSite)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_200PlansOn8SitesInterleaved)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_200PlansOn1SiteAtOnce)->Arg(0)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
