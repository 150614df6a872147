#include "gui/MonitorBridge.h"

#include "gui/GuiThread.h"

namespace tovi::gui {

MonitorBridge::~MonitorBridge() = default;

void MonitorBridge::setState(RunState state) {
    if (m_state == state) return;
    m_state = state;
    emit stateChanged(state);
}

void MonitorBridge::startMonitoring(std::vector<int> queue, std::chrono::milliseconds pause) {
    setState(RunState::Monitoring);
    if (m_engine) m_engine->startPeriodic(std::move(queue), pause);
}

void MonitorBridge::updateQueue(std::vector<int> queue) {
    if (m_engine && m_state == RunState::Monitoring) m_engine->setPeriodicQueue(std::move(queue));
}

void MonitorBridge::stopMonitoring() {
    if (m_engine) m_engine->requestStopPeriodic();
    setState(RunState::Idle);
}

RunMode MonitorBridge::oneClickMode() const {
    return m_state == RunState::Monitoring ? RunMode::RunUnticked : RunMode::RunAll;
}

void MonitorBridge::startOneClick(std::vector<int> queue) {
    if (m_engine) m_engine->startOneShot(std::move(queue), oneClickMode());
}

void MonitorBridge::shutdown() {
    setState(RunState::Idle);
    if (!m_engine) return;
    m_engine->requestStopAll();
    // Workers end at their next check (a fetch is aborted within 100 ms); the wait is bounded.
    m_engine->waitAll(std::chrono::milliseconds(2000));
}

void MonitorBridge::queueEmpty(RunMode mode) {
    onGuiThread(this, [this, mode] {
        // An empty periodic queue ends monitoring: the caption goes back to "监控勾选".
        if (mode == RunMode::RunTicked && m_engine && !m_engine->periodicRunning()) setState(RunState::Idle);
        emit emptyQueueReported();
    });
}

void MonitorBridge::planFinished(int planId, const PlanRunOutcome& outcome) {
    onGuiThread(this, [this, planId, outcome] { emit planRan(planId, outcome); });
}

void MonitorBridge::passFinished(RunMode, const PassSummary& summary) {
    if (summary.alerting == 0) return;
    onGuiThread(this, [this, summary] { emit newArticles(summary); });
}

void MonitorBridge::cycleFinished(bool alerted) {
    onGuiThread(this, [this, alerted] { emit cycleEnded(alerted); });
}

}  // namespace tovi::gui
