#include "engine/channel/waiting.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <string>

namespace quaymark {

bool WorthRetrying(long status) {
    return status == 429 || (status >= 500 && status <= 599);
}

std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value, std::time_t now) {
    if (value.empty()) {
        return std::nullopt;
    }
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        long long seconds = 0;
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (error != std::errc{} || end != value.data() + value.size()) {
            return std::chrono::seconds(std::chrono::seconds::max());  // beyond any limit
        }
        return std::chrono::seconds(seconds);
    }
    const std::time_t when = curl_getdate(std::string(value).c_str(), nullptr);
    if (when == -1) {
        return std::nullopt;
    }
    return std::chrono::seconds(std::max<std::time_t>(0, when - now));
}

StatusAnswer SendWithBackoff(const std::function<StatusAnswer()>& send, const RetryPolicy& retry,
                             std::string_view engine, RunControl& control, RunObserver& observer,
                             std::mt19937& jitter,
                             const std::function<bool(const StatusAnswer&)>& worth) {
    std::chrono::milliseconds backoff = retry.firstBackoff;
    std::chrono::seconds waited{0};
    std::uniform_real_distribution<double> spread(0.75, 1.25);
    for (int tries = 1;; ++tries) {
        StatusAnswer answer = send();
        if (!WorthRetrying(answer.status) || (worth && !worth(answer)) || tries >= retry.maxTries ||
            control.Cancelled()) {
            return answer;
        }
        const std::optional<std::chrono::seconds> asked =
            ParseRetryAfter(answer.retryAfter, std::time(nullptr));
        const std::chrono::seconds wait =
            asked ? *asked : std::chrono::ceil<std::chrono::seconds>(backoff * spread(jitter));
        backoff *= 2;
        if (wait > retry.maxWait - waited) {
            return answer;  // longer than a request may wait: told as it is
        }
        observer.WaitStarted(engine, wait,
                             answer.status == 429
                                 ? std::string("too many requests")
                                 : "server error " + std::to_string(answer.status));
        const bool goOn = control.WaitUnlessCancelled(wait.count() * retry.second);
        observer.WaitEnded();
        if (!goOn) {
            return answer;
        }
        waited += wait;
    }
}

}  // namespace quaymark
