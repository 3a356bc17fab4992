#pragma once

#include <string>
#include <vector>

#include "engine/run/submit_run.h"

namespace quaymark::testing {

// The failure lines of a run, and the URLs of its resend items, as plain strings.
inline std::vector<std::string> FailureLines(const RunResult& result) {
    std::vector<std::string> lines;
    for (const Failure& failure : result.FailureList) {
        lines.push_back(FailureLine(failure));
    }
    return lines;
}

// Follows a run and shows nothing; a test overrides what it counts.
class QuietRun : public RunObserver {
public:
    void RunStarted(int, int, int) override {}
    void AddressStarted(const std::string&) override {}
    void EngineStarted(std::string_view) override {}
    void RequestDone() override {}
    void FailureRecorded(const FailureRecord&) override {}
    void WaitStarted(std::string_view, std::chrono::seconds, std::string_view) override {}
    void WaitEnded() override {}
    void RunEnded() override {}
};

// Answers no question: the runs of the modern channels ask none.
class NoPrompt : public FetchPrompt {
public:
    void ShowCannotOpenConnection() override {}
    std::optional<Credentials> AskCredentials(const std::string&) override { return {}; }
};

inline std::vector<std::string> ResendUrls(const RunResult& result) {
    std::vector<std::string> urls;
    for (const RunRequest& item : result.ResubmitList) {
        urls.push_back(item.url);
    }
    return urls;
}

}  // namespace quaymark::testing
