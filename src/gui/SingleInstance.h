#pragma once
// One window per program directory: a second start on the same tovi.sdb hands over to the
// first (its window comes forward) instead of starting a second tray icon and second monitoring.
// A local socket named after the user and the directory carries the request.
#include <QObject>
#include <QString>
#include <filesystem>

class QLocalServer;

namespace tovi::gui {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const std::filesystem::path& programDir, QObject* parent = nullptr);
    ~SingleInstance() override;

    // true: another copy runs on these files and was asked to come forward (this one should end).
    // false: this copy is the first, and now listens for later ones.
    bool handOver();

    const QString& name() const { return m_name; }

signals:
    void activationRequested();

private:
    bool askRunningCopy();
    QString m_name;
    QLocalServer* m_server = nullptr;
};

}  // namespace tovi::gui
