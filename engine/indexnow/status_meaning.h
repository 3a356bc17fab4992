#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "engine/channel/waiting.h"
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
// What an answer means, in the user's words: "key not valid (403)"; with no answer at all,
// why the transfer failed ("name not resolved", "certificate not trusted", ...).
std::string IndexNowReason(const StatusAnswer& answer);

}  // namespace quaymark
