#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace quaymark::ui {

// Carries calls from another thread to the thread this object lives on (the UI thread) and
// holds the caller until each has been carried out: a blocking queued call. The calls and
// their completion pass through a standard mutex and condition variable, so everything a
// call reads or writes is ordered with the waiting thread in a way every tool can see; Qt
// only delivers a wake-up that carries no data.
class UiCallQueue : public QObject {
    Q_OBJECT

public:
    explicit UiCallQueue(QObject* parent) : QObject(parent) {}

    // Runs the call on the UI thread and returns once it is done; on the UI thread, directly.
    void Run(const std::function<void()>& call);
    // Wakes the UI thread's event loop from any thread.
    void Wake();

private:
    struct PendingCall {
        const std::function<void()>* call;
        std::atomic<bool> done{false};
    };

    void RunPending();
    // A window update takes the UI thread microseconds; waiting that long without going to
    // sleep spares the caller a sleep and a wake-up on every call of a run. Past the limit
    // the caller sleeps on the condition variable.
    bool SpinUntilDone(const PendingCall& pending);

    static constexpr std::chrono::microseconds kSpinLimit{50};

    std::mutex mutex_;
    std::condition_variable doneChanged_;
    std::deque<PendingCall*> pending_;
};

// Stops the program if a widget is about to be touched off its thread; on in every build.
void RequireUiThread(const QObject* widget);

}  // namespace quaymark::ui
