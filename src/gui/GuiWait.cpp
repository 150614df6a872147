#include "gui/GuiWait.h"

#include <QCoreApplication>
#include <QTimer>
#include <vector>

namespace tovi::gui {
namespace {
int g_depth = 0;
std::vector<std::function<void()>> g_deferred;

void runDeferred() {
    auto work = std::move(g_deferred);
    g_deferred.clear();
    for (auto& f : work) f();
}
}  // namespace

void GuiWait::enter() { ++g_depth; }

void GuiWait::leave() {
    if (--g_depth == 0 && !g_deferred.empty())
        // Out of the waiting call's stack first: the deferred work may end what waited.
        QTimer::singleShot(0, qApp, runDeferred);
}

GuiWait::Scope::Scope() { enter(); }
GuiWait::Scope::~Scope() { leave(); }

void GuiWait::pump(int maxMs) {
    Scope scope;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, maxMs);
}

bool GuiWait::active() { return g_depth > 0; }

void GuiWait::afterWaits(std::function<void()> f) {
    if (g_depth == 0)
        f();
    else
        g_deferred.push_back(std::move(f));
}

}  // namespace tovi::gui
