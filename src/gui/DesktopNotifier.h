#pragma once
// Notices through the desktop's notification service (org.freedesktop.Notifications over
// D-Bus): a new notice replaces the previous one instead of stacking, and clicking it (its
// default action) is reported. Nothing here waits on the bus: a notice that the bus or the
// service does not take (no service, one that fails to start, an error reply) comes back as
// failed(), and the caller shows it another way.
#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace tovi::gui {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent, QDBusConnection bus = QDBusConnection::sessionBus());

    // Sends the notice (summary and body as plain text; the body is escaped for the service's
    // markup). Asynchronous: a slow or hung bus never holds up the window.
    void show(const QString& summary, const QString& body);

signals:
    // The user clicked the notice.
    void clicked();
    // The user closed the notice without clicking it.
    void dismissed();
    // The notice was not taken (no bus, no service, an error reply): show it another way.
    void failed(const QString& summary, const QString& body);

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    uint m_lastId = 0;  // the notice a new one replaces; 0: none shown yet
};

}  // namespace tovi::gui
