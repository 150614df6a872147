#pragma once
// Alt+Q, system-wide, to show or hide the main window. Alt must be held when Q is pressed.
// The key is observed, never taken: on X11 the program listens to the raw key events of the
// keyboard (XInput 2) instead of grabbing the key, so every other program still gets Alt+Q.
// Where the desktop offers no such events (e.g. Wayland, offscreen), install() says why and
// the program runs without the key.
#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QString>
#include <QWidget>
#include <set>

#include "core/Result.h"

namespace tovi::gui {

class HotKey : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Alt+Q typed into the window's own widgets (its dialogs included) types nothing.
    explicit HotKey(QWidget* window);
    ~HotKey() override;

    // When the key cannot be had, the status line to show once.
    Result<> install();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    // Our own widgets never see the key as typing: Alt+Q shows or hides the window, it puts no
    // "q" in the box that has the focus.
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void activated();

private:
    QWidget* m_window;
    bool m_installed = false;
    unsigned char m_xinputOpcode = 0;
    std::set<unsigned int> m_qKeys;    // key codes that carry Q
    std::set<unsigned int> m_altKeys;  // key codes that carry Alt
    std::set<unsigned int> m_altHeld;
};

}  // namespace tovi::gui
