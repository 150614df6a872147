#pragma once
// Looks for the list on a page off the GUI thread (QtConcurrent), so the editor stays usable
// and the search can be cancelled; the proposals come back as a signal on the GUI thread.
#include <QFutureWatcher>
#include <QObject>
#include <atomic>
#include <memory>

#include "core/suggest/PlanSuggest.h"

namespace tovi::gui {

class PlanSuggestRunner : public QObject {
    Q_OBJECT
public:
    explicit PlanSuggestRunner(QObject* parent = nullptr);
    ~PlanSuggestRunner() override;  // cancels and waits: the worker never outlives the window

    bool running() const { return m_watcher.isRunning(); }
    // GBK texts, as the editor's boxes give them.
    void start(const std::string& url, const std::string& cookie, const std::string& userAgent);
    // The fetch stops within 100 ms; nothing is delivered for a cancelled search.
    void cancel();

signals:
    void finished(const tovi::SuggestResult& result);

private:
    QFutureWatcher<SuggestResult> m_watcher;
    std::shared_ptr<std::atomic<bool>> m_cancel;
};

}  // namespace tovi::gui
