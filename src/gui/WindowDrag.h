#pragma once
// Moving and resizing a frameless window from its passive surface and its corner grip. The
// window manager does it (a system move or resize) once the pointer has really moved with the
// button held: a quick tap never starts one, so no move is left waiting for a release that
// already came. Where there is no window manager to ask, the window is moved and resized here.
#include <QObject>
#include <QPoint>
#include <QSize>
#include <optional>

class QMouseEvent;
class QWidget;

namespace tovi::gui {

class WindowDrag : public QObject {
public:
    // Watches the window (presses on its own surface move it) and the grip (resizes it).
    WindowDrag(QWidget* window, QWidget* grip);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Kind { Move, Resize };
    struct Drag {
        Kind kind;
        QPoint pressedAt;     // global
        QPoint windowAt;      // the window's position at the press
        QSize sizeAt;         // and its size
        bool byHand = false;  // the window system did not take it over
    };
    bool press(Kind kind, const QMouseEvent* e);
    bool moveTo(const QMouseEvent* e);

    QWidget* m_window;
    QWidget* m_grip;
    std::optional<Drag> m_drag;
};

}  // namespace tovi::gui
