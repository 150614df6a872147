#include "gui/PaneSplitter.h"

#include <QMouseEvent>

namespace tovi::gui {

PaneSplitter::PaneSplitter(QWidget* window) : QWidget(window) {
    setObjectName(QStringLiteral("分隔条"));
    setCursor(Qt::SplitHCursor);
    setToolTip(QStringLiteral("拖动以调整栏目框的宽度"));
    setAccessibleName(QStringLiteral("栏目框与文章列表的分隔条"));
}

void PaneSplitter::mousePressEvent(QMouseEvent* e) { m_dragging = e->button() == Qt::LeftButton; }

void PaneSplitter::mouseMoveEvent(QMouseEvent* e) {
    if (m_dragging) emit dragged(mapTo(window(), e->position().toPoint()).x());
}

void PaneSplitter::mouseReleaseEvent(QMouseEvent* e) {
    if (!m_dragging || e->button() != Qt::LeftButton) return;
    m_dragging = false;
    emit released();
}

}  // namespace tovi::gui
