#pragma once
// Runs a plan test off the GUI thread (QtConcurrent) so the window stays usable and the test
// can be cancelled; the result comes back as a signal on the GUI thread.
#include <QFutureWatcher>
#include <QObject>
#include <atomic>
#include <memory>

#include "core/monitor/PlanTestRun.h"

namespace tovi::gui {

class PlanTestRunner : public QObject {
    Q_OBJECT
public:
    explicit PlanTestRunner(DirectFetcher fetch = {}, QObject* parent = nullptr);
    ~PlanTestRunner() override;  // cancels and waits: the worker never outlives the window

    bool running() const { return m_watcher.isRunning(); }
    void start(const PlanTestInput& input);
    // The fetch stops within 100 ms; no result is delivered for a cancelled test.
    void cancel();

signals:
    void finished(const tovi::PlanTestResult& result);

private:
    DirectFetcher m_fetch;
    QFutureWatcher<PlanTestResult> m_watcher;
    std::shared_ptr<std::atomic<bool>> m_cancel;
};

}  // namespace tovi::gui
