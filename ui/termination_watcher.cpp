#include "ui/termination_watcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>

namespace quaymark::ui {
namespace {

// A signal handler can reach nothing but what is global; this is the pipe's writing end.
std::atomic<int> gWakeFd{-1};

void OnSignal(int signal) {
    const int savedErrno = errno;
    const char number = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(gWakeFd.load(), &number, 1);
    errno = savedErrno;
}

}  // namespace

TerminationWatcher::TerminationWatcher(QObject* parent) : QObject(parent) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;  // without a pipe the signals keep their default effect
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    gWakeFd.store(writeFd_);
    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationWatcher::OnPipeReadable);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &action, &previous_[i]);
    }
}

TerminationWatcher::~TerminationWatcher() {
    if (readFd_ < 0) {
        return;
    }
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
    gWakeFd.store(-1);
    delete notifier_;
    ::close(readFd_);
    ::close(writeFd_);
}

void TerminationWatcher::OnPipeReadable() {
    char numbers[16];
    bool any = false;
    while (::read(readFd_, numbers, sizeof numbers) > 0) {
        any = true;
    }
    if (any) {
        emit terminationRequested();
    }
}

}  // namespace quaymark::ui
