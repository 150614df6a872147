#pragma once
// Run control: at most one periodic worker (the ticked plans, in cycles until stopped) and any
// number of one-shot passes. Workers report through the status sink and the listener; they
// never touch widgets. Stopping is a request honoured between plans, statements, pause
// slices and inside a fetch; no thread is ever killed.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/net/TransferPool.h"
#include "core/plans/PlanRunOutcome.h"
#include "core/plans/PlanTree.h"
#include "core/settings/Settings.h"
#include "core/text/Timestamp.h"

namespace tovi {

class AlertNotifier;
class PlanRunner;
class StatusSink;
struct PushFlushReport;

// Events the fronts show (the GUI on its own thread). Called on worker threads: an
// implementation must not call back into the engine synchronously.
// What a pass brought: the stored articles that raise the alert, and the newest of them with
// their plans' names (at most 5, in queue and page order).
struct PassSummary {
    int alerting = 0;
    std::vector<std::pair<std::string, std::string>> newest;  // (plan name, title), GBK
};

// The desktop notification of a pass: "N 篇新文章" and up to five lines "[plan] title".
struct PassNotification {
    std::string title, body;  // GBK; body lines separated by "\n"
};
PassNotification passNotification(const PassSummary& summary);
// What the user has not seen yet after another pass: the counts added, the newest titles first.
PassSummary unseenWith(const PassSummary& unseen, const PassSummary& pass);

// Called on the worker's thread, with none of the engine's locks held: a listener may call the
// engine (ask what runs, start or stop workers) but must never wait for a worker to end.
class MonitorListener {
public:
    virtual ~MonitorListener() = default;
    // The worker found no plan to queue and ended ("执行队列为空！").
    virtual void queueEmpty(RunMode) {}
    // A worker ended (its pass is over, or it was stopped).
    virtual void workerFinished(RunMode) {}
    // A periodic cycle ended (after its end line and alert, before the pause).
    virtual void cycleFinished(bool alerted) { (void)alerted; }
    // One plan's run ended, and how.
    virtual void planFinished(int planId, const PlanRunOutcome& outcome) {
        (void)planId;
        (void)outcome;
    }
    // A pass over the queue ended (a periodic cycle before its alert, or a one-shot pass).
    virtual void passFinished(RunMode mode, const PassSummary& summary) {
        (void)mode;
        (void)summary;
    }
    // After a pass, what waited in the outbox was sent (or failed, or was given up).
    virtual void pushesFlushed(const PushFlushReport& report) { (void)report; }
};

// The frequency rule: the text as seconds when at least 10, else nullopt (the front shows
// "监控频率不能低于 10 秒" and sets the box to "10").
std::optional<std::int64_t> checkFrequency(std::string_view frequencyText);
// Seconds × 1000 without overflow, clamped to [1 ms, 30 days].
std::chrono::milliseconds cyclePause(std::int64_t seconds);

class MonitorEngine {
public:
    MonitorEngine(PlanRunner& runner, AlertNotifier& alerts, StatusSink& sink, const Clock& clock,
                  MonitorListener* listener = nullptr);
    ~MonitorEngine();  // requests a stop and joins every worker

    // Starts the periodic worker over the queue; false when one is already running.
    bool startPeriodic(std::vector<int> queue, std::chrono::milliseconds pause);
    // Starts a one-shot pass (RunAll while idle, RunUnticked beside periodic monitoring).
    void startOneShot(std::vector<int> queue, RunMode mode);

    // The plans the periodic worker runs from its next cycle on (a plan saved or ticked while
    // monitoring joins without a restart).
    void setPeriodicQueue(std::vector<int> queue);

    // Returns at once; the worker ends at its next check.
    void requestStopPeriodic();
    void requestStopAll();
    // Waits (at most timeout) for the workers to end; true when they all did.
    bool waitAll(std::chrono::milliseconds timeout);

    bool periodicRunning() const;

    // Page fetches in flight at once during a pass (1: one after the other); plans are still
    // processed one after the other, in queue order.
    void setParallel(int transfers) { m_parallel.store(std::max(1, transfers)); }

    // Runs on the worker after each pass's writes (the pushes); set before any worker starts.
    void setAfterPass(std::function<void(std::stop_token)> afterPass) { m_afterPass = std::move(afterPass); }

private:
    struct Worker {
        std::jthread thread;
        RunMode mode;
        bool periodic;
        std::shared_ptr<std::atomic<bool>> done = std::make_shared<std::atomic<bool>>(false);
    };
    void launchLocked(std::vector<int> queue, RunMode mode, bool periodic, std::chrono::milliseconds pause);
    bool periodicRunningLocked() const;
    void periodicBody(std::stop_token stop, std::vector<int> queue, std::chrono::milliseconds pause,
                      TransferPool& pool);
    PassSummary passBody(std::stop_token stop, const std::vector<int>& queue, TransferPool& pool);
    void markEnded(const std::shared_ptr<std::atomic<bool>>& done);
    void reapFinished();

    PlanRunner& m_planRunner;
    AlertNotifier& m_alerts;
    StatusSink& m_sink;
    const Clock& m_clock;
    MonitorListener* m_listener;
    mutable std::mutex m_mutex;
    std::list<Worker> m_workers;
    std::condition_variable m_ended;  // a worker ended
    std::atomic<int> m_parallel{TransferLimits::kDefaultTransfers};
    std::function<void(std::stop_token)> m_afterPass;
    std::optional<std::vector<int>> m_nextPeriodicQueue;  // under m_mutex
    // One-shot passes one after another (each cycle of `run --cycles`) share this pool, and
    // with it the connections to each site. Under m_mutex.
    std::shared_ptr<TransferPool> m_sharedPool;
    std::shared_ptr<TransferPool> poolForLocked(bool periodic);
};

}  // namespace tovi
