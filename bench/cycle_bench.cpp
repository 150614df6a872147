// One pass over 200 plans whose pages answer after 300 ms, on 10 host names: the pages fetched
// one after the other (1 in flight) and fetched ahead (8 in flight), side by side. Both store
// the same rows; wall time and CPU time per pass are reported.
#define CPPHTTPLIB_THREAD_POOL_COUNT 32
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <filesystem>
#include <thread>

#include "core/monitor/Monitoring.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"

namespace {

// Ten spellings of 127.0.0.1: ten host names as far as the program can tell.
const char* const kHosts[] = {"127.0.0.1",  "127.1",  "127.0.1",         "2130706433", "0x7f000001",
                              "0177.0.0.1", "0x7f.1", "127.000.000.001", "127.0.0.01", "0x7F.0.0.1"};

struct Quiet : tovi::StatusSink, tovi::AlertSink, tovi::MonitorListener {
    void append(std::string_view) override {}
    void replaceAll(std::string_view) override {}
    void playSound() override {}
    void showAlertIcon() override {}
    void showNormalIcon() override {}
};

struct Site {
    Site() {
        server.Get(R"(/p(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::string html = "<ul>";
            for (int i = 20; i >= 1; --i)
                html += "<li><a href=\"t-" + std::string(req.matches[1]) + "-" + std::to_string(i) + "\">第" +
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

void BM_PassOver200SlowPages(benchmark::State& state) {
    static Site site;
    const int parallel = static_cast<int>(state.range(0));
    auto dir = std::filesystem::temp_directory_path() / ("tovi-bench-cycle-" + std::to_string(parallel));
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        tovi::Database db;
        db.create(dir / "tovi.sdb");
        tovi::createSchema(db, nullptr);
        std::vector<tovi::Statement> plans;
        std::vector<int> queue;
        for (int id = 1; id <= 200; ++id) {
            const std::string url = "http://" + std::string(kHosts[id % 10]) + ":" +
                                    std::to_string(site.port) + "/p" + std::to_string(id);
            plans.emplace_back(
                "insert into "
                "rule(id,class,code,name,url,ua,buquan,regular,before,after,tindex,uindex,oindex,isdo,"
                "lastid,type) "
                "values(?,1,'1','plan',?,'bench','http://x/[1]',?,'<ul>','</ul>','2','1','0',1,'','0')",
                std::vector<tovi::SqlValue>{std::int64_t{id}, url,
                                            std::string("<li><a href=\"(t-[0-9-]+)\">(.*?)</a></li>")});
            queue.push_back(id);
        }
        db.runTransaction(plans);
        Quiet quiet;
        tovi::Monitoring monitoring(db, quiet, quiet, &quiet);
        monitoring.planTable().fill(db.run("select * from rule"), nullptr);
        monitoring.extractor().setArticlePause(std::chrono::milliseconds(0));
        monitoring.engine().setParallel(parallel);
        state.ResumeTiming();
        monitoring.engine().startOneShot(queue, tovi::RunMode::RunAll);
        monitoring.engine().waitAll(std::chrono::minutes(10));
        state.PauseTiming();
        state.counters["articles"] = std::stod(db.run("select count(*) from info").rows[0][0]);
        state.ResumeTiming();
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_PassOver200SlowPages)->Arg(1)->Arg(8)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
