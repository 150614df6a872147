#pragma once
// Runs f on the thread that owns context: at once when already there, else queued. Workers
// use it to hand their results to widgets.
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <utility>

namespace tovi::gui {

template <typename F>
void onGuiThread(QObject* context, F&& f) {
    if (QThread::currentThread() == context->thread())
        f();
    else
        QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::QueuedConnection);
}

}  // namespace tovi::gui
