#include "gui/PlanTestRunner.h"

namespace tovi::gui {

PlanTestRunner::PlanTestRunner(DirectFetcher fetch, QObject* parent)
    : QObject(parent),
      m_fetch(std::move(fetch)),
      m_call(
          this, [this](const PlanTestResult& r) { emit finished(r); },
          [this](const QString& error) { emit failed(error); }) {}

void PlanTestRunner::start(const PlanTestInput& input) {
    m_call.start([input, fetch = m_fetch](const CancelCheck& cancelled) {
        return fetch ? runPlanTest(input, fetch, cancelled) : runPlanTest(input, cancelled);
    });
}

}  // namespace tovi::gui
