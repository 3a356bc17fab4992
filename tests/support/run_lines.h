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

inline std::vector<std::string> ResendUrls(const RunResult& result) {
    std::vector<std::string> urls;
    for (const RunRequest& item : result.ResubmitList) {
        urls.push_back(item.url);
    }
    return urls;
}

}  // namespace quaymark::testing
