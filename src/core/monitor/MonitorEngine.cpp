#include "core/monitor/MonitorEngine.h"

#include "core/monitor/AlertNotifier.h"
#include "core/monitor/PlanRunner.h"
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

PassSummary unseenWith(const PassSummary& unseen, const PassSummary& pass) {
    PassSummary all = pass;
    all.alerting += unseen.alerting;
    for (const auto& line : unseen.newest)
        if (all.newest.size() < 5) all.newest.push_back(line);
    return all;
}

std::optional<std::int64_t> checkFrequency(std::string_view frequencyText) {
    std::int64_t seconds = textToInt(frequencyText);
    if (seconds < kMinimumFrequencySeconds) return std::nullopt;
    return seconds;
}

std::chrono::milliseconds cyclePause(std::int64_t seconds) {
    constexpr std::int64_t kMaxSeconds = 30LL * 24 * 3600;
    if (seconds <= 0) return std::chrono::milliseconds(1);
    return std::chrono::milliseconds(std::min(seconds, kMaxSeconds) * 1000);
}

MonitorEngine::MonitorEngine(PlanRunner& runner, AlertNotifier& alerts, StatusSink& sink, const Clock& clock,
                             MonitorListener* listener)
    : m_planRunner(runner), m_alerts(alerts), m_sink(sink), m_clock(clock), m_listener(listener) {}

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

bool MonitorEngine::periodicRunningLocked() const {
    for (const Worker& w : m_workers)
        if (w.periodic && !w.done->load() && !w.thread.get_stop_token().stop_requested()) return true;
    return false;
}

bool MonitorEngine::startPeriodic(std::vector<int> queue, std::chrono::milliseconds pause) {
    // The check and the launch under one lock: two starts at once never make two workers.
    std::lock_guard g(m_mutex);
    if (periodicRunningLocked()) return false;
    m_nextPeriodicQueue.reset();
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
    std::shared_ptr<TransferPool> pool = queue.empty() ? nullptr : poolForLocked(periodic);
    w.thread = std::jthread(
        [this, done, pool, queue = std::move(queue), mode, periodic, pause](std::stop_token stop) {
            // The worker counts as ended before it says so, so a listener that asks the engine
            // (e.g. to reset a caption) sees it ended.
            if (queue.empty()) {
                markEnded(done);
                if (m_listener) m_listener->queueEmpty(mode);
            } else {
                if (periodic) {
                    periodicBody(stop, queue, pause, *pool);
                } else {
                    PassSummary summary = passBody(stop, queue, *pool);
                    if (m_listener && !stop.stop_requested()) m_listener->passFinished(mode, summary);
                }
                markEnded(done);
            }
            if (m_listener) m_listener->workerFinished(mode);
        });
}

// One pool for a whole periodic run, and one shared by one-shot passes that follow each other:
// connections to a site are kept from pass to pass. A pass that overlaps another gets its own,
// so that a stop of one never cancels the other's transfers.
std::shared_ptr<TransferPool> MonitorEngine::poolForLocked(bool periodic) {
    const TransferLimits limits = TransferLimits::forTransfers(m_parallel.load());
    if (periodic) return std::make_shared<TransferPool>(limits);
    const bool idle = m_sharedPool && m_sharedPool.use_count() == 1;
    if (idle && m_sharedPool->limits().transfers == limits.transfers) return m_sharedPool;
    auto pool = std::make_shared<TransferPool>(limits);
    if (!m_sharedPool || idle) m_sharedPool = pool;
    return pool;
}

void MonitorEngine::markEnded(const std::shared_ptr<std::atomic<bool>>& done) {
    {
        std::lock_guard g(m_mutex);
        done->store(true);
    }
    m_ended.notify_all();
}

PassSummary MonitorEngine::passBody(std::stop_token stop, const std::vector<int>& queue, TransferPool& pool) {
    // The pages are fetched ahead while the plans are processed one by one, in queue order;
    // a plan's page is let go once it has been processed.
    PassSummary summary;
    DeferredWrites deferred;  // the bookkeeping of runs that stored nothing: one commit a pass
    std::vector<TransferPool::Ticket> tickets(queue.size());
    for (std::size_t i = 0; i < queue.size(); ++i)
        if (auto fetch = m_planRunner.prepareFetch(queue[i]))
            tickets[i] = pool.submit(std::move(fetch->request), std::move(fetch->host));
    for (std::size_t i = 0; i < queue.size(); ++i) {
        if (stop.stop_requested()) {
            pool.cancelAll();
            break;
        }
        PlanRunOutcome outcome = m_planRunner.runPlan(queue[i], stop, &pool, tickets[i], &deferred);
        pool.release(tickets[i]);
        summary.alerting += outcome.alerting;
        for (const std::string& title : outcome.alertTitles)
            if (summary.newest.size() < 5) summary.newest.emplace_back(outcome.planName, title);
        if (m_listener) m_listener->planFinished(queue[i], outcome);
    }
    m_planRunner.writeDeferred(deferred, stop);
    if (m_afterPass && !stop.stop_requested()) m_afterPass(stop);
    return summary;
}

void MonitorEngine::periodicBody(std::stop_token stop, std::vector<int> queue,
                                 std::chrono::milliseconds pause, TransferPool& pool) {
    while (!stop.stop_requested()) {
        {
            std::lock_guard g(m_mutex);
            if (m_nextPeriodicQueue) queue = std::move(*std::exchange(m_nextPeriodicQueue, std::nullopt));
        }
        PassSummary summary = passBody(stop, queue, pool);
        if (stop.stop_requested()) return;
        if (m_listener) m_listener->passFinished(RunMode::RunTicked, summary);
        m_sink.append(gbk("\r\n本轮执行完毕！----") + shortTimestamp(m_clock));
        bool alerted = m_alerts.raiseIfNewArticles();
        if (m_listener) m_listener->cycleFinished(alerted);
        if (!pauseFor(pause, stop)) return;
        m_sink.clear();
    }
}

void MonitorEngine::setPeriodicQueue(std::vector<int> queue) {
    std::lock_guard g(m_mutex);
    m_nextPeriodicQueue = std::move(queue);
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

bool MonitorEngine::waitAll(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const bool ended = m_ended.wait_for(lock, timeout, [&] {
        return std::all_of(m_workers.begin(), m_workers.end(),
                           [](const Worker& w) { return w.done->load(); });
    });
    if (ended) reapFinished();
    return ended;
}

}  // namespace tovi
