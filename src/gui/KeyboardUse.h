#pragma once
// Keyboard use of a window: Tab moves on from every box and list (multi-line boxes included;
// Ctrl+Tab inserts nothing there either), and the controls take the focus in a given order.
#include <QStringList>

class QWidget;

namespace tovi::gui {

// For every multi-line box and list under root.
void letTabMoveOn(QWidget* root);

// The named controls under root take the focus in this order (names that are not there are
// left out).
void orderTabs(QWidget* root, const QStringList& names);

}  // namespace tovi::gui
