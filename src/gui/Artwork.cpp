#include "gui/Artwork.h"

#include <QPainter>
#include <QPainterPath>

namespace tovi::gui::artwork {
namespace {

const QColor kBlue(0x2D, 0x7D, 0xD2);
const QColor kOrange(0xF0, 0x8C, 0x1E);

// A rounded square with an eye-like "watching" mark.
QPixmap drawAppIcon(int size, QColor base, bool dot) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r(size * 0.04, size * 0.04, size * 0.92, size * 0.92);
    QLinearGradient grad(r.topLeft(), r.bottomRight());
    grad.setColorAt(0, base.lighter(125));
    grad.setColorAt(1, base.darker(115));
    p.setBrush(grad);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(r, size * 0.22, size * 0.22);
    p.setBrush(Qt::white);
    QPainterPath eye;
    eye.moveTo(size * 0.16, size * 0.5);
    eye.quadTo(size * 0.5, size * 0.16, size * 0.84, size * 0.5);
    eye.quadTo(size * 0.5, size * 0.84, size * 0.16, size * 0.5);
    p.drawPath(eye);
    p.setBrush(base.darker(130));
    p.drawEllipse(QPointF(size * 0.5, size * 0.5), size * 0.14, size * 0.14);
    if (dot) {
        p.setBrush(QColor(0xE5, 0x39, 0x35));
        p.setPen(QPen(Qt::white, qMax(1.0, size * 0.05)));
        p.drawEllipse(QPointF(size * 0.76, size * 0.24), size * 0.2, size * 0.2);
    }
    return pm;
}

QIcon glyphIcon(void (*draw)(QPainter&, int)) {
    QIcon icon;
    for (int size : {18, 36}) {
        for (QIcon::Mode mode : {QIcon::Normal, QIcon::Active}) {
            QPixmap pm(size, size);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(mode == QIcon::Active ? Qt::white : QColor(0xF4, 0xF7, 0xFB), size / 12.0,
                          Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            draw(p, size);
            icon.addPixmap(pm, mode);
        }
    }
    return icon;
}

}  // namespace

QIcon appIcon() {
    QIcon icon;
    for (int s : {256, 128, 96, 64, 48, 32, 24, 16}) icon.addPixmap(drawAppIcon(s, kBlue, false));
    return icon;
}

QIcon alertIcon() {
    QIcon icon;
    for (int s : {64, 32, 16}) icon.addPixmap(drawAppIcon(s, kOrange, true));
    return icon;
}

QIcon minimiseIcon() {
    return glyphIcon(
        [](QPainter& p, int s) { p.drawLine(QPointF(s * 0.3, s * 0.62), QPointF(s * 0.7, s * 0.62)); });
}

QIcon closeIcon() {
    return glyphIcon([](QPainter& p, int s) {
        p.drawLine(QPointF(s * 0.32, s * 0.32), QPointF(s * 0.68, s * 0.68));
        p.drawLine(QPointF(s * 0.68, s * 0.32), QPointF(s * 0.32, s * 0.68));
    });
}

QIcon settingsIcon() {
    return glyphIcon([](QPainter& p, int s) {
        for (double y : {0.34, 0.5, 0.66}) p.drawLine(QPointF(s * 0.3, s * y), QPointF(s * 0.7, s * y));
    });
}

QIcon homeIcon() {
    return glyphIcon([](QPainter& p, int s) {
        QPainterPath h;
        h.moveTo(s * 0.25, s * 0.5);
        h.lineTo(s * 0.5, s * 0.28);
        h.lineTo(s * 0.75, s * 0.5);
        h.moveTo(s * 0.33, s * 0.45);
        h.lineTo(s * 0.33, s * 0.72);
        h.lineTo(s * 0.67, s * 0.72);
        h.lineTo(s * 0.67, s * 0.45);
        p.drawPath(h);
    });
}

QPixmap gripPixmap() {
    QPixmap pm(7, 7);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QColor(0x9A, 0xA5, 0xB1));
    for (int i = 0; i < 7; i += 3) p.drawLine(6, i, i, 6);
    return pm;
}

}  // namespace tovi::gui::artwork
