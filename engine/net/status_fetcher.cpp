#include "engine/net/status_fetcher.h"

#include <curl/curl.h>

#include "base/text_lines.h"
#include "engine/net/curl_handles.h"
#include "engine/net/http_text.h"

namespace quaymark {
namespace {

constexpr std::string_view kJsonHeader = "Content-Type: application/json; charset=utf-8";

// What a transfer fills in as the answer arrives.
struct Receiving {
    StatusAnswer& answer;
    BodyCap cap{.limit = StatusFetcher::kMaxBody};
};

size_t KeepHeader(char* data, size_t size, size_t count, void* receivingPointer) {
    StatusAnswer& answer = static_cast<Receiving*>(receivingPointer)->answer;
    std::string_view rest(data, size * count);
    const std::string_view line = NextLine(rest);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new answer begins (after an interim 1xx one): only the last one counts.
        answer.statusLine.assign(line);
        answer.retryAfter.clear();
        answer.location.clear();
    } else if (const auto value = HeaderValue(line, "retry-after")) {
        answer.retryAfter.assign(*value);
    } else if (const auto target = HeaderValue(line, "location")) {
        answer.location.assign(*target);
    }
    return size * count;
}

size_t KeepBody(char* data, size_t size, size_t count, void* receivingPointer) {
    auto* receiving = static_cast<Receiving*>(receivingPointer);
    receiving->answer.body.append(receiving->cap.Admit({data, size * count}));
    receiving->answer.bodyCut = receiving->cap.cut;
    return receiving->cap.cut ? 0 : size * count;  // the rest is not read at all
}

}  // namespace

StatusFetcher::StatusFetcher(RunRouting routing)
    : routing_(std::move(routing)),
      lists_(routing_, {}),
      // libcurl would otherwise wait for a "100 Continue" before a large body.
      jsonLists_(routing_, {kJsonHeader, "Expect:"}),
      shared_(curl_share_init()) {
    for (const curl_lock_data data :
         {CURL_LOCK_DATA_CONNECT, CURL_LOCK_DATA_SSL_SESSION, CURL_LOCK_DATA_DNS}) {
        curl_share_setopt(shared_.get(), CURLSHOPT_SHARE, data);
    }
}

StatusAnswer StatusFetcher::Get(const std::string& url) const {
    return Perform(url, nullptr);
}

StatusAnswer StatusFetcher::Post(const std::string& url, const std::string& json) const {
    return Perform(url, &json);
}

StatusAnswer StatusFetcher::Send(const ApiRequest& request) const {
    const std::string type =
        request.contentType.empty() ? std::string() : "Content-Type: " + request.contentType;
    const std::string authorization =
        request.authorization.empty() ? std::string() : "Authorization: " + request.authorization;
    const RequestLists lists(routing_, {type, authorization, "Expect:"});
    using Method = ApiRequest::Method;
    if (request.method == Method::Get) {
        return Perform(request.url, nullptr, &lists);
    }
    return Perform(request.url, &request.body, &lists,
                   request.method == Method::Put ? "PUT" : nullptr);
}

StatusAnswer StatusFetcher::Perform(const std::string& url, const std::string* json,
                                    const RequestLists* lists, const char* method) const {
    StatusAnswer answer;
    const EasyHandle easy(curl_easy_init());
    if (!easy) {
        answer.failure = {.kind = TransferFailure::Kind::CouldNotStart};
        return answer;
    }
    CURL* e = easy.get();
    SetUpTransfer(e, routing_,
                  lists != nullptr  ? *lists
                  : json == nullptr ? lists_
                                    : jsonLists_,
                  {});
    if (method != nullptr) {
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method);
    }
    curl_easy_setopt(e, CURLOPT_SHARE, shared_.get());
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    if (json == nullptr) {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, json->data());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(json->size()));
    }
    Receiving receiving{.answer = answer};
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &KeepHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &receiving);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &KeepBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &receiving);
    const CURLcode result = curl_easy_perform(e);
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && answer.bodyCut)) {
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &answer.status);
    } else {
        answer = StatusAnswer{.failure = FailureOf(result)};
    }
    return answer;
}

}  // namespace quaymark
