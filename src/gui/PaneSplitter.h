#pragma once
// The handle between the plan tree and the article list (分隔条): dragged, it asks for a new
// width of the tree pane; let go, the width is kept.
#include <QWidget>

namespace tovi::gui {

class PaneSplitter : public QWidget {
    Q_OBJECT
public:
    explicit PaneSplitter(QWidget* window);

signals:
    // The pane's right edge follows the pointer (window coordinates).
    void dragged(int windowX);
    void released();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool m_dragging = false;
};

}  // namespace tovi::gui
