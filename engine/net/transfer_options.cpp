#include "engine/net/transfer_options.h"

#include "engine/net/http_text.h"

#include <algorithm>

namespace quaymark {

RequestLists::RequestLists(const RunRouting& routing,
                           std::initializer_list<std::string_view> headerLines) {
    for (const std::string_view line : headerLines) {
        if (!line.empty()) {
            Append(headers, std::string(line));
        }
    }
    Append(headers, std::string(kUserAgentHeader));
    for (const std::string& route : LoopbackRoutes(routing.connectTo)) {
        Append(connectTo, route);
    }
}

void SetUpTransfer(CURL* easy, const RunRouting& routing, const RequestLists& lists,
                   const TransferSetup& setup) {
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, lists.headers.get());
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, lists.connectTo.get());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(routing.limits.connect.count()));
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, setup.protocols);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, setup.followRedirects > 0 ? 1L : 0L);
    if (setup.followRedirects > 0) {
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, setup.protocols);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, setup.followRedirects);
    }
    if (!setup.verified) {
        return;
    }
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

std::string_view BodyCap::Admit(std::string_view bytes) {
    const std::size_t room = limit - taken;
    if (bytes.size() > room) {
        bytes = bytes.substr(0, room);
        cut = true;
    }
    taken += bytes.size();
    return bytes;
}

TransferFailure FailureOf(CURLcode code) {
    using Kind = TransferFailure::Kind;
    switch (code) {
        case CURLE_OK:
            return {};
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
            return {.kind = Kind::Untrusted};
        case CURLE_COULDNT_RESOLVE_HOST:
            return {.kind = Kind::NotResolved};
        case CURLE_COULDNT_CONNECT:
            return {.kind = Kind::Refused};
        case CURLE_OPERATION_TIMEDOUT:
            return {.kind = Kind::TimedOut};
        case CURLE_ABORTED_BY_CALLBACK:
            return {.kind = Kind::Cancelled};
        // libcurl gives up on headers beyond its own bound in these words; a real want of
        // memory would not leave a transfer's failure to be told.
        case CURLE_OUT_OF_MEMORY:
            return {.kind = Kind::HeadersTooLarge};
        case CURLE_TOO_MANY_REDIRECTS:
            return {.kind = Kind::TooManyRedirects};
        default:
            return {.kind = Kind::Other, .detail = curl_easy_strerror(code)};
    }
}

std::string Describe(const TransferFailure& failure) {
    using Kind = TransferFailure::Kind;
    switch (failure.kind) {
        case Kind::None:
            return {};
        case Kind::CouldNotStart:
            return "could not start a transfer";
        case Kind::Untrusted:
            return "certificate not trusted";
        case Kind::NotResolved:
            return "name not resolved";
        case Kind::Refused:
            return "connection refused";
        case Kind::TimedOut:
            return "timed out";
        case Kind::TooSlow:
            return "too slow";
        case Kind::HeadersTooLarge:
            return "the answer's headers were too large";
        case Kind::Cancelled:
            return "cancelled";
        case Kind::TooManyRedirects:
            return "redirected too often";
        case Kind::NonWebRedirect:
            return "redirected to a non-web address: " + failure.detail;
        case Kind::Other:
            break;
    }
    return failure.detail;
}

}  // namespace quaymark
