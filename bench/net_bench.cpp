// Fetch and conversion speed: a 1 MB page from a loopback server, and utf8ToGbk on 1 MB.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <thread>

#include "core/net/HttpRequest.h"
#include "core/text/Gbk.h"

namespace {

std::string mixedUtf8(std::size_t bytes) {
    const std::string piece =
        "<li><a href=\"thread-12345-1-1.html\">第12篇 新闻标题 测试文章 News title</a></li>\r\n";
    std::string out;
    while (out.size() < bytes) out += piece;
    return out;
}

void BM_Utf8ToGbk(benchmark::State& state) {
    const std::string page = mixedUtf8(1 << 20);
    for (auto _ : state) benchmark::DoNotOptimize(tovi::utf8ToGbk(page));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}
BENCHMARK(BM_Utf8ToGbk)->Unit(benchmark::kMillisecond);

void BM_HttpRequestLoopback1MB(benchmark::State& state) {
    const std::string page = mixedUtf8(1 << 20);
    httplib::Server server;
    server.Get("/page",
               [&](const httplib::Request&, httplib::Response& res) { res.set_content(page, "text/html"); });
    int port = server.bind_to_any_port("127.0.0.1");
    std::thread t([&] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/page";
    for (auto _ : state) {
        std::string cookie;
        auto r = tovi::fetchForMonitoring(url, cookie, "User-Agent: bench");
        if (r.body.size() != page.size()) state.SkipWithError("short body");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
    server.stop();
    t.join();
}
BENCHMARK(BM_HttpRequestLoopback1MB)->Unit(benchmark::kMillisecond);

}  // namespace
