#pragma once
#include <QString>

namespace tovi::gui {

// Puts the text on the clipboard; false when the clipboard does not hold it afterwards (no
// clipboard, or another program took it back at once).
bool copyToClipboard(const QString& text);

}  // namespace tovi::gui
