#pragma once
// Waiting on the GUI thread without re-entrancy: the window keeps painting while a wait lasts,
// but user input (clicks, keys) is held back until it ends, and work that must not happen
// under a waiting call (closing the window, which closes the database) is deferred to its end.
#include <functional>

namespace tovi::gui {

class GuiWait {
public:
    // One slice of a wait: paints and handles timers, no user input.
    static void pump(int maxMs = 20);
    // A wait that spans several slices begins and ends.
    static void enter();
    static void leave();
    // True while some wait on the GUI thread is in progress.
    static bool active();
    // Runs f now when no wait is in progress, else right after the outermost wait ends.
    static void afterWaits(std::function<void()> f);

    // Marks a wait that spans several pump() calls.
    class Scope {
    public:
        Scope();
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };
};

}  // namespace tovi::gui
