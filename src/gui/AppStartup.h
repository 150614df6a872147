#pragma once
// The program's start-up order: settings, tray, database (none: the stop box and the end),
// plan tree with the first category open, the Alt+Q key. Monitoring never starts by itself.
namespace tovi::gui {

class MainWindow;

class AppStartup {
public:
    // False when the program must end (no tovi.sdb).
    static bool run(MainWindow& window);
};

}  // namespace tovi::gui
