#include "gui/ScreenFit.h"

#include <algorithm>

namespace tovi::gui {

QRect fitToScreens(const QRect& wanted, const QList<QRect>& availableAreas) {
    if (availableAreas.isEmpty()) return wanted;
    QRect area = availableAreas.first();
    for (const QRect& a : availableAreas)
        if (a.contains(wanted.center())) {
            area = a;
            break;
        }
    QRect fitted(wanted.topLeft(), wanted.size().boundedTo(area.size()));
    fitted.moveLeft(std::clamp(fitted.left(), area.left(), area.right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(fitted.top(), area.top(), area.bottom() - fitted.height() + 1));
    return fitted;
}

}  // namespace tovi::gui
