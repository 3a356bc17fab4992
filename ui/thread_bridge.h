#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace quaymark::ui {

// Runs the call on the context's (the UI) thread and returns once it has been carried out:
// from another thread as a blocking queued call, on the UI thread directly. The hand-over is
// a standard mutex and condition variable around a queued call, so that everything the call
// reads or writes is ordered with the waiting thread in a way every tool can see.
template <typename Fn>
void RunOnUiThread(QObject* context, Fn&& call) {
    if (QThread::currentThread() == context->thread()) {
        std::forward<Fn>(call)();
        return;
    }
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
    QMetaObject::invokeMethod(
        context,
        [&] {
            call();
            const std::lock_guard lock(mutex);
            done = true;
            doneChanged.notify_one();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex);
    doneChanged.wait(lock, [&] { return done; });
}

// Stops the program if a widget is about to be touched off its thread; on in every build.
inline void RequireUiThread(const QObject* widget) {
    if (QThread::currentThread() != widget->thread()) {
        qFatal("a widget was touched off the UI thread");
    }
}

}  // namespace quaymark::ui
