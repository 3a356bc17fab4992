#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <utility>

namespace quaymark::ui {

// Runs the call on the context's (the UI) thread and returns once it has been carried out:
// from another thread as a blocking queued call, on the UI thread directly.
template <typename Fn>
void RunOnUiThread(QObject* context, Fn&& call) {
    if (QThread::currentThread() == context->thread()) {
        std::forward<Fn>(call)();
    } else {
        QMetaObject::invokeMethod(context, std::forward<Fn>(call), Qt::BlockingQueuedConnection);
    }
}

// Stops the program if a widget is about to be touched off its thread; on in every build.
inline void RequireUiThread(const QObject* widget) {
    if (QThread::currentThread() != widget->thread()) {
        qFatal("a widget was touched off the UI thread");
    }
}

}  // namespace quaymark::ui
