#include "ui/thread_bridge.h"

#include <QMetaObject>
#include <QThread>
#include <thread>

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
    if (SpinUntilDone(pending)) {
        return;
    }
    lock.lock();
    doneChanged_.wait(lock, [&] { return pending.done.load(std::memory_order_acquire); });
}

bool UiCallQueue::SpinUntilDone(const PendingCall& pending) {
    const auto giveUp = std::chrono::steady_clock::now() + kSpinLimit;
    do {
        if (pending.done.load(std::memory_order_acquire)) {
            return true;
        }
        std::this_thread::yield();
    } while (std::chrono::steady_clock::now() < giveUp);
    return false;
}

void UiCallQueue::Wake() {
    QMetaObject::invokeMethod(this, &UiCallQueue::RunPending, Qt::QueuedConnection);
}

void UiCallQueue::RunPending() {
    std::unique_lock lock(mutex_);
    while (!pending_.empty()) {
        PendingCall* next = pending_.front();
        pending_.pop_front();
        lock.unlock();
        (*next->call)();
        lock.lock();
        next->done.store(true, std::memory_order_release);
        doneChanged_.notify_all();
    }
}

void RequireUiThread(const QObject* widget) {
    if (QThread::currentThread() != widget->thread()) {
        qFatal("a widget was touched off the UI thread");
    }
}

}  // namespace quaymark::ui
