#include "gui/AppStartup.h"

#include "gui/MainWindow.h"

namespace tovi::gui {

bool AppStartup::run(MainWindow& window) {
    window.applySettings();
    window.installTray();
    if (!window.openDatabase()) return false;
    window.placeWindow();
    window.buildPlanTree();
    window.installHotKey();
    window.resumeMonitoring();
    return true;
}

}  // namespace tovi::gui
