#include "gui/PlanSuggestRunner.h"

#include <QtConcurrent/QtConcurrentRun>

namespace tovi::gui {

PlanSuggestRunner::PlanSuggestRunner(QObject* parent) : QObject(parent) {
    connect(&m_watcher, &QFutureWatcher<SuggestResult>::finished, this, [this] {
        if (m_cancel && m_cancel->load()) return;
        emit finished(m_watcher.result());
    });
}

PlanSuggestRunner::~PlanSuggestRunner() { cancel(); }

void PlanSuggestRunner::start(const std::string& url, const std::string& cookie,
                              const std::string& userAgent) {
    if (running()) return;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_cancel = cancelled;
    m_watcher.setFuture(QtConcurrent::run([url, cookie, userAgent, cancelled] {
        return suggestPlansFromUrl(url, cookie, userAgent, [cancelled] { return cancelled->load(); });
    }));
}

void PlanSuggestRunner::cancel() {
    if (!running()) return;
    m_cancel->store(true);
    m_watcher.waitForFinished();
}

}  // namespace tovi::gui
