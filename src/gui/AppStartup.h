#pragma once
// The program's start-up order: settings, tray, database (none: the stop box and the end),
// plan tree with the first category open, the Alt+Q key. Monitoring never starts by itself.
#include <QString>

namespace tovi::gui {

class MainWindow;

class AppStartup {
public:
    // Qt's own texts (Yes/No, the text boxes' Undo/Copy/Paste menu) in Chinese, as the rest of
    // the program: from Qt's translations when installed. False when they are not.
    static bool speakChinese();
    // Why Chinese text would show as empty boxes (no font covers it), in words any font can
    // show; empty when a font does.
    static QString missingChineseFont();

    // False when the program must end (no tovi.sdb).
    static bool run(MainWindow& window);
};

}  // namespace tovi::gui
