#include "gui/WindowDrag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace tovi::gui {

WindowDrag::WindowDrag(QWidget* window, QWidget* grip) : QObject(window), m_window(window), m_grip(grip) {
    window->installEventFilter(this);
    grip->installEventFilter(this);
}

bool WindowDrag::press(Kind kind, const QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return false;
    m_drag = Drag{kind, e->globalPosition().toPoint(), m_window->pos(), m_window->size()};
    return true;
}

bool WindowDrag::moveTo(const QMouseEvent* e) {
    if (!m_drag) return false;
    if (!(e->buttons() & Qt::LeftButton)) {  // the release went elsewhere
        m_drag.reset();
        return false;
    }
    const QPoint delta = e->globalPosition().toPoint() - m_drag->pressedAt;
    if (!m_drag->byHand) {
        if (delta.manhattanLength() < QApplication::startDragDistance()) return true;
        QWindow* handle = m_window->windowHandle();
        const bool system = handle && (m_drag->kind == Kind::Move
                                           ? handle->startSystemMove()
                                           : handle->startSystemResize(Qt::RightEdge | Qt::BottomEdge));
        if (system) {
            m_drag.reset();  // the window manager has it until the button comes up
            return true;
        }
        m_drag->byHand = true;
    }
    if (m_drag->kind == Kind::Move)
        m_window->move(m_drag->windowAt + delta);
    else
        m_window->resize((m_drag->sizeAt + QSize(delta.x(), delta.y())).expandedTo(m_window->minimumSize()));
    return true;
}

bool WindowDrag::eventFilter(QObject* watched, QEvent* event) {
    const Kind kind = watched == m_grip ? Kind::Resize : Kind::Move;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            return press(kind, static_cast<QMouseEvent*>(event));
        case QEvent::MouseMove:
            return moveTo(static_cast<QMouseEvent*>(event));
        case QEvent::MouseButtonRelease:
            if (!m_drag) return false;
            m_drag.reset();
            return true;
        default:
            return false;
    }
}

}  // namespace tovi::gui
