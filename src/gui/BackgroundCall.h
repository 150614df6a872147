#pragma once
// Runs one call off the GUI thread (QtConcurrent) and hands its result to the GUI thread. The
// window never waits for it: a cancelled call's result is dropped, and the call keeps only
// copies of what it needs, so it may end after the window. Whatever the call throws comes back
// as an error text instead of ending the program.
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "core/net/Fetch.h"

namespace tovi::gui {

template <typename Result>
class BackgroundCall {
public:
    using Work = std::function<Result(const CancelCheck& cancelled)>;

    BackgroundCall(QObject* context, std::function<void(const Result&)> done,
                   std::function<void(const QString& error)> failed)
        : m_context(context), m_done(std::move(done)), m_failed(std::move(failed)) {}
    ~BackgroundCall() { cancel(); }
    BackgroundCall(const BackgroundCall&) = delete;
    BackgroundCall& operator=(const BackgroundCall&) = delete;

    bool running() const { return m_watcher && m_watcher->isRunning(); }

    void start(Work work) {
        if (running()) return;
        auto cancelled = std::make_shared<std::atomic<bool>>(false);
        m_cancelled = cancelled;
        m_watcher = std::make_unique<QFutureWatcher<Outcome>>();
        QObject::connect(m_watcher.get(), &QFutureWatcherBase::finished, m_context, [this] { deliver(); });
        m_watcher->setFuture(QtConcurrent::run([work = std::move(work), cancelled]() -> Outcome {
            const CancelCheck check = [cancelled] { return cancelled->load(); };
            try {
                return Outcome{work(check), {}};
            } catch (const std::exception& e) {
                return Outcome{std::nullopt, QString::fromLocal8Bit(e.what())};
            } catch (...) {
                return Outcome{std::nullopt, QStringLiteral("unknown error")};
            }
        }));
    }

    // Asks the call to stop (a fetch stops within 100 ms) and forgets it at once.
    void cancel() {
        if (m_cancelled) m_cancelled->store(true);
        dropWatcher();
    }

private:
    struct Outcome {
        std::optional<Result> value;
        QString error;
    };

    void deliver() {
        if (!m_watcher || (m_cancelled && m_cancelled->load())) return;
        Outcome outcome = m_watcher->result();
        dropWatcher();
        if (outcome.value)
            m_done(*outcome.value);
        else
            m_failed(outcome.error);
    }

    // Never deleted inside its own signal: it goes when the event loop next runs.
    void dropWatcher() {
        if (!m_watcher) return;
        m_watcher->disconnect();
        m_watcher.release()->deleteLater();
    }

    QObject* m_context;
    std::function<void(const Result&)> m_done;
    std::function<void(const QString&)> m_failed;
    std::unique_ptr<QFutureWatcher<Outcome>> m_watcher;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
};

}  // namespace tovi::gui
