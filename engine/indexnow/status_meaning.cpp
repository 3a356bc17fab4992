#include "engine/indexnow/status_meaning.h"

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

}  // namespace quaymark
