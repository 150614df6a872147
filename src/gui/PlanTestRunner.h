#pragma once
// Runs a plan test off the GUI thread so the window stays usable and the test can be
// cancelled; the result (or why the test broke) comes back as a signal on the GUI thread.
#include <QObject>

#include "core/monitor/PlanTestRun.h"
#include "gui/BackgroundCall.h"

namespace tovi::gui {

class PlanTestRunner : public QObject {
    Q_OBJECT
public:
    explicit PlanTestRunner(DirectFetcher fetch = {}, QObject* parent = nullptr);

    bool running() const { return m_call.running(); }
    void start(const PlanTestInput& input);
    // The fetch stops within 100 ms; no result is delivered for a cancelled test.
    void cancel() { m_call.cancel(); }

signals:
    void finished(const tovi::PlanTestResult& result);
    void failed(const QString& error);

private:
    DirectFetcher m_fetch;
    BackgroundCall<PlanTestResult> m_call;
};

}  // namespace tovi::gui
