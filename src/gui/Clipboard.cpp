#include "gui/Clipboard.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>

#include "gui/GuiWait.h"

namespace tovi::gui {

bool copyToClipboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    GuiWait::Scope waiting;
    for (int attempt = 0; attempt < 5; ++attempt) {
        clipboard->setText(text);
        if (clipboard->text() == text) return true;
        QElapsedTimer pause;
        pause.start();
        while (pause.elapsed() < 100) GuiWait::pump(20);
    }
    return false;
}

}  // namespace tovi::gui
