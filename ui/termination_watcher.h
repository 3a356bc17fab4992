#pragma once

#include <QObject>
#include <csignal>
#include <iterator>

class QSocketNotifier;

namespace quaymark::ui {

// Turns SIGTERM, SIGHUP and SIGINT into a Qt signal on the UI thread. The handler only writes
// the signal's number to a pipe, which the event loop watches; no Qt call runs inside it.
// One watcher at a time; it puts the previous handlers back when it goes.
class TerminationWatcher : public QObject {
    Q_OBJECT

public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;
    TerminationWatcher(const TerminationWatcher&) = delete;
    TerminationWatcher& operator=(const TerminationWatcher&) = delete;

signals:
    void terminationRequested();

private:
    void OnPipeReadable();

    static constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

    int readFd_ = -1;
    int writeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previous_[std::size(kSignals)]{};
};

}  // namespace quaymark::ui
