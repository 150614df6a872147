#pragma once
// Looks for the list on a page off the GUI thread, so the editor stays usable and the search
// can be cancelled; the proposals (or why the search broke) come back as a signal on the GUI
// thread.
#include <QObject>

#include "core/suggest/PlanSuggest.h"
#include "gui/BackgroundCall.h"

namespace tovi::gui {

class PlanSuggestRunner : public QObject {
    Q_OBJECT
public:
    explicit PlanSuggestRunner(QObject* parent = nullptr);

    bool running() const { return m_call.running(); }
    // GBK texts, as the editor's boxes give them.
    void start(const std::string& url, const std::string& cookie, const std::string& userAgent);
    // The fetch stops within 100 ms; nothing is delivered for a cancelled search.
    void cancel() { m_call.cancel(); }

signals:
    void finished(const tovi::SuggestResult& result);
    void failed(const QString& error);

private:
    BackgroundCall<SuggestResult> m_call;
};

}  // namespace tovi::gui
