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

void RunRecorder::FullRecord(const PageLines& lines, SubmitVerdict verdict, std::string_view name,
                             std::string_view suffix, const std::string& item, RunRequest resend) {
    std::filesystem::path page = WriteErrorPage(errorPageDir_, ErrorPageCounter, lines);
    std::string text(name);
    text.append(suffix);
    result_.FailureList.push_back({text + " " + item, std::move(page)});
    observer_.FailureRecorded({name, verdict, item, std::move(text)});
    if (!resend.url.empty()) {
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
