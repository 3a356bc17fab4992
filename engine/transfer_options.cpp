#include "engine/transfer_options.h"

#include "engine/http_text.h"

#include <algorithm>

namespace quaymark {

RequestLists::RequestLists(const RunRouting& routing,
                           std::initializer_list<std::string_view> headerLines) {
    for (const std::string_view line : headerLines) {
        Append(headers, std::string(line));
    }
    Append(headers, std::string(kUserAgentHeader));
    for (const std::string& route : LoopbackRoutes(routing.connectTo)) {
        Append(connectTo, route);
    }
}

void SetSharedOptions(CURL* easy, const RunRouting& routing, const RequestLists& lists) {
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, lists.headers.get());
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, lists.connectTo.get());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(routing.limits.connect.count()));
}

void SetVerifiedAndBounded(CURL* easy, const RunRouting& routing) {
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!routing.caFile.empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, routing.caFile.c_str());
    }
    // At least a byte a second over the idle limit.
    const auto idle = std::chrono::duration_cast<std::chrono::seconds>(routing.limits.idle);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, static_cast<long>(idle.count())));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(routing.limits.total.count()));
}

std::string TransferFailureReason(CURLcode code) {
    switch (code) {
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
            return "certificate not trusted";
        case CURLE_COULDNT_RESOLVE_HOST:
            return "name not resolved";
        case CURLE_COULDNT_CONNECT:
            return "connection refused";
        case CURLE_OPERATION_TIMEDOUT:
            return "timed out";
        default:
            return curl_easy_strerror(code);
    }
}

}  // namespace quaymark
