#pragma once
// What the options window works with, handed over by the main window: no more than this.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tovi {
class LoggedSql;
class Settings;
}  // namespace tovi

namespace tovi::gui {

class Dialogs;

struct OptionsContext {
    Settings& settings;
    std::filesystem::path dbPath;            // the window opens its own connection on it
    std::vector<std::string> categoryNames;  // as the last plan-tree build read them
    LoggedSql& console;                      // the SQL console runs on the main connection
    Dialogs& dialogs;
    // A plan was saved, removed or (un)ticked: the main window's tree follows at once.
    std::function<void()> plansChanged;
};

}  // namespace tovi::gui
