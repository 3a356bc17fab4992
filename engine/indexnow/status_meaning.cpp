#include "engine/indexnow/status_meaning.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>

namespace quaymark {

StatusMeaning MeaningOf(long status) {
    switch (status) {
        case 0:
            return StatusMeaning::NoAnswer;
        case 200:
        case 202:
            return StatusMeaning::Received;
        case 400:
            return StatusMeaning::BadRequest;
        case 403:
            return StatusMeaning::KeyNotValid;
        case 422:
            return StatusMeaning::NotMatching;
        case 429:
            return StatusMeaning::TooMany;
        default:
            if (status >= 300 && status < 400) {
                return StatusMeaning::Redirected;
            }
            if (status >= 500 && status <= 599) {
                return StatusMeaning::ServerError;
            }
            return StatusMeaning::Other;
    }
}

bool IndexNowAccepted(long status) {
    return MeaningOf(status) == StatusMeaning::Received;
}

bool WorthRetrying(long status) {
    const StatusMeaning meaning = MeaningOf(status);
    return meaning == StatusMeaning::TooMany || meaning == StatusMeaning::ServerError;
}

std::string IndexNowReason(const StatusAnswer& answer) {
    const std::string status = std::to_string(answer.status);
    switch (MeaningOf(answer.status)) {
        case StatusMeaning::NoAnswer:
            return Describe(answer.failure);
        case StatusMeaning::BadRequest:
            return "bad request (400)";
        case StatusMeaning::KeyNotValid:
            return "key not valid (403)";
        case StatusMeaning::NotMatching:
            return "addresses not of this host or key not matching (422)";
        case StatusMeaning::TooMany:
            return "too many requests (429)";
        case StatusMeaning::Redirected:
            return "redirected (" + status + "), not followed";
        case StatusMeaning::Received:
        case StatusMeaning::ServerError:
        case StatusMeaning::Other:
            break;
    }
    return "answered " + status;
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

}  // namespace quaymark
