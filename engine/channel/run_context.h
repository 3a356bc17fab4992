#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/channel/channel.h"
#include "engine/net/page_lines.h"

namespace quaymark {

// The cancel request of a run: set from any thread, seen by the worker between requests; a
// wait between two tries ends at once when it comes.
class RunControl {
public:
    void RequestCancel();
    bool Cancelled() const { return cancelled_.load(std::memory_order_acquire); }
    // Waits so long unless the run is cancelled first; false when it was.
    bool WaitUnlessCancelled(std::chrono::milliseconds wait);

private:
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
};

// What every channel of a run records into: the run's result, its error pages, its history,
// and the observer that follows it. The worker's alone while it runs.
class RunRecorder {
public:
    RunRecorder(std::filesystem::path errorPageDir, RunObserver& observer, RequestLog* log)
        : errorPageDir_(std::move(errorPageDir)), observer_(observer), log_(log) {}

    // Records a failure: its error page, the line "<name><suffix> <item>", and the request to
    // resend when one was made.
    void FullRecord(const PageLines& lines, SubmitVerdict verdict, std::string_view name,
                    std::string_view suffix, const std::string& item, RunRequest resend);
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
