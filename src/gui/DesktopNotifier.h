#pragma once
// Notices through the desktop's notification service (org.freedesktop.Notifications over
// D-Bus): a new notice replaces the previous one instead of stacking, and clicking it (its
// default action) is reported. Where no such service runs, available() is false and the caller
// falls back to the tray's balloon.
#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace tovi::gui {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent, QDBusConnection bus = QDBusConnection::sessionBus());

    // A notification service is registered on the bus, or can be started by it.
    bool available() const;
    // Sends the notice (summary and body as plain text; the body is escaped for the service's
    // markup). Asynchronous: a slow service never holds up the window.
    void show(const QString& summary, const QString& body);

signals:
    // The user clicked the notice.
    void clicked();

private slots:
    void onActionInvoked(uint id, const QString& action);

private:
    QDBusConnection m_bus;
    uint m_lastId = 0;  // the notice a new one replaces; 0: none shown yet
};

}  // namespace tovi::gui
