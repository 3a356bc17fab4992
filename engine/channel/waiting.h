#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <random>
#include <string_view>

#include "engine/channel/run_context.h"
#include "engine/net/status_fetcher.h"

namespace quaymark {

// 429 and the 5xx statuses: waiting may help; no other status changes by itself.
bool WorthRetrying(long status);

// A Retry-After value: seconds, or an HTTP date after now; nothing when it is neither.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value, std::time_t now);

// How long and how often a request is tried again when waiting may help.
struct RetryPolicy {
    int maxTries = 5;
    // All the waiting one request may take.
    std::chrono::seconds maxWait{600};
    // The first wait without a Retry-After; each next one is twice as long, with jitter.
    std::chrono::seconds firstBackoff{2};
    // How long one second of waiting lasts: a second, but for tests that must not wait.
    std::chrono::milliseconds second{1000};
};

// Sends until the answer is one waiting cannot help, the tries or the waiting allowed are
// spent, or the run is cancelled: each wait as the endpoint asks (Retry-After), else doubling
// from the first, told to the run's follower under the engine's name; Cancel ends it at once.
// An API that tells by its answer's body that waiting cannot help (a quota spent for the day)
// says so through worth.
StatusAnswer SendWithBackoff(const std::function<StatusAnswer()>& send, const RetryPolicy& retry,
                             std::string_view engine, RunControl& control, RunObserver& observer,
                             std::mt19937& jitter,
                             const std::function<bool(const StatusAnswer&)>& worth = {});

}  // namespace quaymark
