#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "engine/net/status_fetcher.h"

namespace quaymark {

// What an endpoint's status means, decided here alone: the reason a failure line gives, the
// advice of the failure page and whether waiting may help all follow from it.
enum class StatusMeaning {
    NoAnswer,     // the transfer failed
    Received,     // 200; 202 too, the key still being checked
    BadRequest,   // 400
    KeyNotValid,  // 403
    NotMatching,  // 422: addresses not of the host, or the key not matching
    TooMany,      // 429
    Redirected,   // 3xx, never followed
    ServerError,  // 5xx
    Other,
};
StatusMeaning MeaningOf(long status);

// 200 and 202.
bool IndexNowAccepted(long status);
// 429 and the 5xx statuses: waiting may help. 400, 403 and 422 never change by themselves.
bool WorthRetrying(long status);
// What an answer means, in the user's words: "key not valid (403)"; with no answer at all,
// why the transfer failed ("name not resolved", "certificate not trusted", ...).
std::string IndexNowReason(const StatusAnswer& answer);

// A Retry-After value: seconds, or an HTTP date after now; nothing when it is neither.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value, std::time_t now);

// How long and how often a batch is tried again when waiting may help.
struct RetryPolicy {
    int maxTries = 5;
    // All the waiting one batch may take.
    std::chrono::seconds maxWait{600};
    // The first wait without a Retry-After; each next one is twice as long, with jitter.
    std::chrono::seconds firstBackoff{2};
    // How long one second of waiting lasts: a second, but for tests that must not wait.
    std::chrono::milliseconds second{1000};
};

}  // namespace quaymark
