#include "engine/channel/run_context.h"

#include <condition_variable>
#include <ctime>
#include <mutex>

#include "engine/channel/error_pages.h"

namespace quaymark {

bool RunControl::WaitUnlessCancelled(std::chrono::milliseconds wait) const {
    // Nothing but the stop request wakes this wait before its time.
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    woken.wait_for(lock, stop_, wait, [] { return false; });
    return !Cancelled();
}

std::string FailureLine(const Failure& failure) {
    return failure.engine + (failure.detail.empty() ? "" : ": " + failure.detail) + " " +
           failure.target;
}

void RunRecorder::FullRecord(const PageLines& lines, Failure failure, RunRequest resend) {
    failure.page = WriteErrorPage(errorPageDir_, ErrorPageCounter, lines);
    failure.resendable = !resend.url.empty();
    std::string text = failure.engine + (failure.detail.empty() ? "" : ": " + failure.detail);
    result_.FailureList.push_back(std::move(failure));
    const Failure& kept = result_.FailureList.back();
    observer_.FailureRecorded({kept.engine, kept.verdict, kept.target, std::move(text)});
    if (kept.resendable) {
        result_.ResubmitList.push_back(std::move(resend));
    } else {
        ++result_.unsendable;
    }
}

void RunRecorder::Log(const RunRequest& request, std::string verdict, std::string reason,
                      bool accepted) {
    if (log_ == nullptr) {
        return;
    }
    const std::int64_t now = std::time(nullptr);
    for (const std::string& address : request.addresses) {
        log_->Record({.time = now,
                      .channel = request.engine.empty() ? std::string(kResendName) : request.engine,
                      .address = address,
                      .request = request.url,
                      .verdict = verdict,
                      .reason = reason,
                      .accepted = accepted});
    }
}

}  // namespace quaymark
