#include "gui/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tovi::gui {

bool copyToClipboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(text);
    return clipboard->text() == text;
}

}  // namespace tovi::gui
