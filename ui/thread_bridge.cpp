#include "ui/thread_bridge.h"

#include <QMetaMethod>
#include <QMetaObject>
#include <QThread>

namespace quaymark::ui {

void UiCallQueue::Run(const std::function<void()>& call) {
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    PendingCall pending{&call};
    std::unique_lock lock(mutex_);
    pending_.push_back(&pending);
    lock.unlock();
    Wake();
    lock.lock();
    doneChanged_.wait(lock, [&] { return pending.done; });
}

void UiCallQueue::Wake() {
    QMetaObject::invokeMethod(this, "RunPending", Qt::QueuedConnection);
}

void UiCallQueue::RunPending() {
    std::unique_lock lock(mutex_);
    while (!pending_.empty()) {
        PendingCall* next = pending_.front();
        pending_.pop_front();
        lock.unlock();
        (*next->call)();
        lock.lock();
        next->done = true;
        doneChanged_.notify_all();
    }
}

void RequireUiThread(const QObject* widget) {
    if (QThread::currentThread() != widget->thread()) {
        qFatal("a widget was touched off the UI thread");
    }
}

}  // namespace quaymark::ui
