#include "gui/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace tovi::gui {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
constexpr int kShownMs = 10000;
constexpr int kReplyTimeoutMs = 10000;

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent, QDBusConnection bus)
    : QObject(parent), m_bus(std::move(bus)) {
    if (!m_bus.isConnected()) return;
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onClosed(uint, uint)));
}

void DesktopNotifier::show(const QString& summary, const QString& body) {
    if (!m_bus.isConnected()) {
        emit failed(summary, body);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tovidesk"));
    // Titles come from web pages: the service reads the body as markup, so it gets plain text.
    call << QStringLiteral("Tovidesk") << m_lastId << QStringLiteral("tovidesk") << summary
         << body.toHtmlEscaped() << QStringList{QStringLiteral("default"), QStringLiteral("查看新文章")}
         << hints << kShownMs;
    // A service the bus has to start may take a while; one that never answers is given up.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, summary, body](QDBusPendingCallWatcher* w) {
                const QDBusPendingReply<uint> reply = *w;
                w->deleteLater();
                if (reply.isValid() && !reply.isError()) {
                    m_lastId = reply.value();
                    return;
                }
                m_lastId = 0;
                emit failed(summary, body);
            });
}

void DesktopNotifier::onClosed(uint id, uint reason) {
    // 2: dismissed by the user (1 is expired, which says nothing of being seen).
    if (id != 0 && id == m_lastId && reason == 2) emit dismissed();
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action) {
    if (id != 0 && id == m_lastId && action == QStringLiteral("default")) emit clicked();
}

}  // namespace tovi::gui
