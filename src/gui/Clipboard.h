#pragma once
#include <QString>

namespace tovi::gui {

// Puts the text on the clipboard. Another program may hold it for a moment: a few tries are
// made, the window painted meanwhile (no user input); false when every try failed.
bool copyToClipboard(const QString& text);

}  // namespace tovi::gui
