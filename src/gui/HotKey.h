#pragma once
// Alt+Q, system-wide, to show or hide the main window. Alt must be held when Q is pressed.
// X11: a passive key grab on the root window, seen through a native event filter. Where the
// platform offers no such grab (e.g. Wayland, offscreen), install() says why and the
// program runs without it.
#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QString>

namespace tovi::gui {

class HotKey : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    HotKey();
    ~HotKey() override;

    // Empty on success; otherwise the status line to show once.
    QString install();
    bool installed() const { return m_keycode != 0; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void activated();

private:
    void* m_connection = nullptr;
    unsigned int m_root = 0;
    unsigned char m_keycode = 0;
};

}  // namespace tovi::gui
