#include "gui/PlanTestRunner.h"

#include <QtConcurrent/QtConcurrentRun>

namespace tovi::gui {

PlanTestRunner::PlanTestRunner(DirectFetcher fetch, QObject* parent)
    : QObject(parent), m_fetch(std::move(fetch)) {
    connect(&m_watcher, &QFutureWatcher<PlanTestResult>::finished, this, [this] {
        if (m_cancel && m_cancel->load()) return;
        emit finished(m_watcher.result());
    });
}

PlanTestRunner::~PlanTestRunner() { cancel(); }

void PlanTestRunner::start(const PlanTestInput& input) {
    if (running()) return;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_cancel = cancelled;
    DirectFetcher fetch = m_fetch;
    m_watcher.setFuture(QtConcurrent::run([input, cancelled, fetch] {
        CancelCheck check = [cancelled] { return cancelled->load(); };
        return fetch ? runPlanTest(input, fetch, check) : runPlanTest(input, check);
    }));
}

void PlanTestRunner::cancel() {
    if (!running()) return;
    m_cancel->store(true);
    m_watcher.waitForFinished();
}

}  // namespace tovi::gui
