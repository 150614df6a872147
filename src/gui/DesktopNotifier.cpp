#include "gui/DesktopNotifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QVariantMap>

namespace tovi::gui {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
constexpr int kShownMs = 10000;

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent, QDBusConnection bus)
    : QObject(parent), m_bus(std::move(bus)) {
    if (m_bus.isConnected())
        m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                      SLOT(onActionInvoked(uint, QString)));
}

bool DesktopNotifier::available() const {
    if (!m_bus.isConnected() || !m_bus.interface()) return false;
    if (m_bus.interface()->isServiceRegistered(kService).value()) return true;
    const QDBusReply<QStringList> activatable =
        m_bus.interface()->call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(kService);
}

void DesktopNotifier::show(const QString& summary, const QString& body) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tovidesk"));
    // Titles come from web pages: the service reads the body as markup, so it gets plain text.
    call << QStringLiteral("Tovidesk") << m_lastId << QStringLiteral("tovidesk") << summary
         << body.toHtmlEscaped() << QStringList{QStringLiteral("default"), QStringLiteral("查看新文章")}
         << hints << kShownMs;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isValid()) m_lastId = reply.value();
        w->deleteLater();
    });
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action) {
    if (id != 0 && id == m_lastId && action == QStringLiteral("default")) emit clicked();
}

}  // namespace tovi::gui
