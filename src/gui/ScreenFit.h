#pragma once
// Where the window may stand: never larger than the screen it is on, never off every screen
// (a monitor unplugged since the place was saved, a scaled desktop smaller than the saved size).
#include <QList>
#include <QRect>

namespace tovi::gui {

// The wanted place and size moved and shrunk into the available area of the screen that holds
// its centre, or of the first screen when none does. No screens: the wanted rectangle.
QRect fitToScreens(const QRect& wanted, const QList<QRect>& availableAreas);

}  // namespace tovi::gui
