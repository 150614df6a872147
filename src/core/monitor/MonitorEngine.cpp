#include "core/monitor/MonitorEngine.h"

#include "core/monitor/AlertNotifier.h"
#include "core/monitor/PlanExtractor.h"
#include "core/net/TransferPool.h"
#include "core/store/StatusSink.h"
#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"

namespace tovi {

PassNotification passNotification(const PassSummary& summary) {
    PassNotification n;
    n.title = gbk("Tovidesk：") + std::to_string(summary.alerting) + gbk(" 篇新文章");
    for (const auto& [plan, title] : summary.newest) {
        if (!n.body.empty()) n.body += "\n";
        n.body += "[" + plan + "] " + decodeEntities(title);
    }
    if (summary.alerting > static_cast<int>(summary.newest.size())) n.body += gbk("\n……");
    return n;
}

std::optional<std::int64_t> checkFrequency(std::string_view frequencyText) {
    std::int64_t seconds = TextToInt(frequencyText);
    if (seconds < kMinimumFrequencySeconds) return std::nullopt;
    return seconds;
}

std::chrono::milliseconds cyclePause(std::int64_t seconds) {
    constexpr std::int64_t kMaxSeconds = 30LL * 24 * 3600;
    if (seconds <= 0) return std::chrono::milliseconds(1);
    return std::chrono::milliseconds(std::min(seconds, kMaxSeconds) * 1000);
}

MonitorEngine::MonitorEngine(PlanExtractor& extractor, AlertNotifier& alerts, StatusSink& sink,
                             const Clock& clock, MonitorListener* listener)
    : m_extractor(extractor), m_alerts(alerts), m_sink(sink), m_clock(clock), m_listener(listener) {}

MonitorEngine::~MonitorEngine() {
    requestStopAll();
    std::list<Worker> workers;
    {
        std::lock_guard g(m_mutex);
        workers.swap(m_workers);
    }
    workers.clear();  // joins
}

void MonitorEngine::reapFinished() {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (it->done->load())
            it = m_workers.erase(it);  // already ended: the join is immediate
        else
            ++it;
    }
}

bool MonitorEngine::periodicRunning() const {
    std::lock_guard g(m_mutex);
    return periodicRunningLocked();
}

int MonitorEngine::runningWorkers() const {
    std::lock_guard g(m_mutex);
    int n = 0;
    for (const Worker& w : m_workers) n += !w.done->load();
    return n;
}

bool MonitorEngine::periodicRunningLocked() const {
    for (const Worker& w : m_workers)
        if (w.periodic && !w.done->load() && !w.thread.get_stop_token().stop_requested()) return true;
    return false;
}

bool MonitorEngine::startPeriodic(std::vector<int> queue, std::chrono::milliseconds pause) {
    // The check and the launch under one lock: two starts at once never make two workers.
    std::lock_guard g(m_mutex);
    if (periodicRunningLocked()) return false;
    launchLocked(std::move(queue), RunMode::RunTicked, true, pause);
    return true;
}

void MonitorEngine::startOneShot(std::vector<int> queue, RunMode mode) {
    std::lock_guard g(m_mutex);
    launchLocked(std::move(queue), mode, false, {});
}

void MonitorEngine::launchLocked(std::vector<int> queue, RunMode mode, bool periodic,
                                 std::chrono::milliseconds pause) {
    reapFinished();
    Worker& w = m_workers.emplace_back();
    w.mode = mode;
    w.periodic = periodic;
    auto done = w.done;
    w.thread =
        std::jthread([this, done, queue = std::move(queue), mode, periodic, pause](std::stop_token stop) {
            // The worker counts as ended before it says so, so a listener that asks the engine
            // (e.g. to reset a caption) sees it ended.
            if (queue.empty()) {
                done->store(true);
                if (m_listener) m_listener->queueEmpty(mode);
            } else {
                if (periodic) {
                    periodicBody(stop, queue, pause);
                } else {
                    PassSummary summary = passBody(stop, queue);
                    if (m_listener && !stop.stop_requested()) m_listener->passFinished(mode, summary);
                }
                done->store(true);
            }
            if (m_listener) m_listener->workerFinished(mode);
        });
}

PassSummary MonitorEngine::passBody(std::stop_token stop, const std::vector<int>& queue) {
    // The pages are fetched ahead while the plans are processed one by one, in queue order;
    // a plan's slot is given back once its page has been processed.
    PassSummary summary;
    TransferPool pool(m_parallel.load());
    std::vector<TransferPool::Ticket> tickets(queue.size());
    for (std::size_t i = 0; i < queue.size(); ++i)
        if (auto fetch = m_extractor.prepareFetch(queue[i]))
            tickets[i] = pool.submit(std::move(fetch->request), std::move(fetch->host));
    for (std::size_t i = 0; i < queue.size(); ++i) {
        if (stop.stop_requested()) break;  // the pool cancels what is in flight
        PlanRunOutcome outcome = m_extractor.runPlan(queue[i], stop, &pool, tickets[i]);
        pool.release(tickets[i]);
        summary.alerting += outcome.alerting;
        for (const std::string& title : outcome.alertTitles)
            if (summary.newest.size() < 5) summary.newest.emplace_back(outcome.planName, title);
        if (m_listener) m_listener->planFinished(queue[i], outcome);
    }
    return summary;
}

void MonitorEngine::periodicBody(std::stop_token stop, std::vector<int> queue,
                                 std::chrono::milliseconds pause) {
    while (!stop.stop_requested()) {
        PassSummary summary = passBody(stop, queue);
        if (stop.stop_requested()) return;
        if (m_listener) m_listener->passFinished(RunMode::RunTicked, summary);
        m_sink.append(gbk("\r\n本轮执行完毕！----") + ShortTimestamp(m_clock));
        bool alerted = m_alerts.raiseIfNewArticles();
        if (m_listener) m_listener->cycleFinished(alerted);
        if (!pauseFor(pause, stop)) return;
        m_sink.clear();
    }
}

void MonitorEngine::requestStopPeriodic() {
    std::lock_guard g(m_mutex);
    for (Worker& w : m_workers)
        if (w.periodic) w.thread.request_stop();
}

void MonitorEngine::requestStopAll() {
    std::lock_guard g(m_mutex);
    for (Worker& w : m_workers) w.thread.request_stop();
}

bool MonitorEngine::waitFor(bool periodicOnly, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        bool busy = false;
        {
            std::lock_guard g(m_mutex);
            for (const Worker& w : m_workers)
                if ((!periodicOnly || w.periodic) && !w.done->load()) busy = true;
            if (!busy) reapFinished();
        }
        if (!busy) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool MonitorEngine::waitPeriodic(std::chrono::milliseconds timeout) { return waitFor(true, timeout); }
bool MonitorEngine::waitAll(std::chrono::milliseconds timeout) { return waitFor(false, timeout); }

}  // namespace tovi
