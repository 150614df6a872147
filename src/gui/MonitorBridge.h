#pragma once
// Between the monitoring engine and the window: engine events (reported on worker threads)
// become queued signals on the GUI thread, and the run state is held here, explicitly. The
// 运行 button's caption mirrors the state; nothing reads the state back from a caption.
#include <QObject>
#include <chrono>
#include <vector>

#include "core/monitor/MonitorEngine.h"

namespace tovi::gui {

enum class RunState { Idle, Monitoring };

class MonitorBridge : public QObject, public MonitorListener {
    Q_OBJECT
public:
    explicit MonitorBridge(QObject* parent = nullptr) : QObject(parent) {}
    ~MonitorBridge() override;

    void attach(MonitorEngine* engine) { m_engine = engine; }
    RunState state() const { return m_state; }

    // Starts the periodic worker over the queue; the state becomes Monitoring.
    void startMonitoring(std::vector<int> queue, std::chrono::milliseconds pause);
    // The state becomes Idle at once; the worker ends at its next check.
    void stopMonitoring();
    // While monitoring: the ticked plans as they are now run from the next cycle on.
    void updateQueue(std::vector<int> queue);
    // One pass: every plan while idle, the unticked ones beside periodic monitoring.
    RunMode oneClickMode() const;
    void startOneClick(std::vector<int> queue);
    // Closing: every worker is asked to stop and given a short, bounded time to end.
    void shutdown();

signals:
    void stateChanged(tovi::gui::RunState state);
    // "执行队列为空！": a worker found no plan to run.
    void emptyQueueReported();
    void cycleEnded(bool alerted);
    // A pass ended with articles that raise the alert.
    void newArticles(const tovi::PassSummary& summary);
    // A plan ran: its health as it now stands.
    void planRan(int planId, const tovi::PlanRunOutcome& outcome);

private:
    // MonitorListener: worker threads.
    void queueEmpty(RunMode mode) override;
    void cycleFinished(bool alerted) override;
    void planFinished(int planId, const PlanRunOutcome& outcome) override;
    void passFinished(RunMode mode, const PassSummary& summary) override;

    void setState(RunState state);

    MonitorEngine* m_engine = nullptr;
    RunState m_state = RunState::Idle;
};

}  // namespace tovi::gui
