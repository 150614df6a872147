#include "gui/PlanSuggestRunner.h"

namespace tovi::gui {

PlanSuggestRunner::PlanSuggestRunner(QObject* parent)
    : QObject(parent),
      m_call(
          this, [this](const SuggestResult& r) { emit finished(r); },
          [this](const QString& error) { emit failed(error); }) {}

void PlanSuggestRunner::start(const std::string& url, const std::string& cookie,
                              const std::string& userAgent) {
    m_call.start([url, cookie, userAgent](const CancelCheck& cancelled) {
        return suggestPlansFromUrl(url, cookie, userAgent, cancelled);
    });
}

}  // namespace tovi::gui
