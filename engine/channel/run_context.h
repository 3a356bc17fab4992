#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>

#include "engine/channel/channel.h"
#include "engine/net/page_lines.h"

namespace quaymark {

// A run's cancel request as its worker sees it. Cancelling anything is one thing: the owner
// of the work keeps a std::stop_source and hands its token down, and asks it to stop from any
// thread. The worker sees it between requests; a wait between two tries ends at once.
class RunControl {
public:
    explicit RunControl(std::stop_token stop = {}) : stop_(std::move(stop)) {}
    bool Cancelled() const { return stop_.stop_requested(); }
    // Waits so long unless the run is cancelled first; false when it was.
    bool WaitUnlessCancelled(std::chrono::milliseconds wait) const;
    const std::stop_token& token() const { return stop_; }

private:
    std::stop_token stop_;
};

// What every channel of a run records into: the run's result, its error pages, its history,
// and the observer that follows it. The worker's alone while it runs.
class RunRecorder {
public:
    RunRecorder(std::filesystem::path errorPageDir, RunObserver& observer, RequestLog* log)
        : errorPageDir_(std::move(errorPageDir)), observer_(observer), log_(log) {}

    // Records a failure: its error page, its line, and the request to resend when one was
    // made.
    void FullRecord(const PageLines& lines, Failure failure, RunRequest resend);
    // A failed request that is only sent again: no line, no page.
    void Resubmit(RunRequest request) { result_.ResubmitList.push_back(std::move(request)); }
    // Each address of the request in the history, under the name it gives.
    void Log(const RunRequest& request, std::string verdict, std::string reason, bool accepted);
    void Note(std::string note) { result_.notes.push_back(std::move(note)); }

    RunObserver& observer() { return observer_; }
    RequestLog* log() { return log_; }
    RunResult& result() { return result_; }

private:
    std::filesystem::path errorPageDir_;
    RunObserver& observer_;
    RequestLog* log_;
    RunResult result_;
    std::int32_t ErrorPageCounter = 0;
};

}  // namespace quaymark
