#include "engine/indexnow.h"

#include <curl/curl.h>

#include <memory>

#include "engine/curl_handles.h"
#include "engine/http_text.h"

namespace quaymark {
namespace {

constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 10;

// Unreserved characters stay, everything else is %XX: the address as one query value.
std::string QueryValue(std::string_view text) {
    char* escaped = curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size()));
    if (escaped == nullptr) {
        return {};
    }
    std::string encoded(escaped);
    curl_free(escaped);
    return encoded;
}

std::string Part(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr) {
        return {};
    }
    std::string value(text);
    curl_free(text);
    return value;
}

size_t KeepBody(char* data, size_t size, size_t count, void* body) {
    auto* text = static_cast<std::string*>(body);
    const std::size_t bytes = size * count;
    if (text->size() + bytes > kMaxBodyBytes) {
        return 0;  // more than any answer here needs
    }
    text->append(data, bytes);
    return bytes;
}

}  // namespace

std::string IndexNowRequestUrl(std::string_view endpoint, std::string_view address,
                               std::string_view key) {
    std::string url(endpoint);
    url.append("?url=").append(QueryValue(address)).append("&key=").append(key);
    return url;
}

std::optional<std::string> SiteRoot(std::string_view address) {
    const UrlHandle url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, std::string(address).c_str(),
                             CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return std::nullopt;
    }
    const std::string scheme = Part(url.get(), CURLUPART_SCHEME);
    const std::string host = Part(url.get(), CURLUPART_HOST);
    if ((scheme != "http" && scheme != "https") || host.empty()) {
        return std::nullopt;
    }
    std::string root = scheme + "://" + host;
    if (const std::string port = Part(url.get(), CURLUPART_PORT); !port.empty()) {
        root += ":" + port;
    }
    return root;
}

bool IndexNowAccepted(long status) {
    return status == 200 || status == 202;
}

std::string IndexNowReason(const StatusFetcher::Answer& answer) {
    switch (answer.status) {
        case 0:
            return answer.failure;
        case 400:
            return "bad request (400)";
        case 403:
            return "key not valid (403)";
        case 422:
            return "address not accepted for this key (422)";
        case 429:
            return "too many requests, try again later (429)";
        default:
            return "answered " + std::to_string(answer.status);
    }
}

PageLines IndexNowExplanationPage(std::string_view reason, long status, std::string_view key,
                                  std::string_view address) {
    std::string advice;
    switch (status) {
        case kNotSent:
            advice = "Nothing was sent.";
            break;
        case 0:
            advice = "No answer came. Be sure you are connected to the Internet.";
            break;
        case 403:
            advice = "Put a file named " + std::string(key) + ".txt, with the key " +
                     std::string(key) + " as its only content, at the root of the site.";
            break;
        case 422:
            advice =
                "The address does not belong to the site of the key file, or the key does "
                "not match it.";
            break;
        case 429:
            advice = "Too many announcements in a short time: try again later.";
            break;
        default:
            advice = "The announcement was not taken.";
            break;
    }
    const std::optional<std::string> root = SiteRoot(address);
    return {
        "<HTML>",
        "<FONT SIZE=5>IndexNow: " + std::string(reason) + "</FONT><BR>",
        "<FONT SIZE=4>" + std::string(address) + "<BR><BR>",
        advice + "<BR>",
        root ? "The key file belongs at " + *root + "/" + std::string(key) + ".txt<BR>"
             : "IndexNow takes http:// and https:// addresses with a host only.<BR>",
        "</FONT></HTML>",
    };
}

StatusFetcher::StatusFetcher(RunRouting routing)
    : routing_(std::move(routing)), lists_(routing_, {}) {}

StatusFetcher::Answer StatusFetcher::Get(const std::string& url) const {
    Answer answer;
    const EasyHandle easy(curl_easy_init());
    if (!easy) {
        answer.failure = "could not connect";
        return answer;
    }
    CURL* e = easy.get();
    SetSharedOptions(e, routing_, lists_);
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!routing_.caFile.empty()) {
        curl_easy_setopt(e, CURLOPT_CAINFO, routing_.caFile.c_str());
    }
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(routing_.limits.total.count()));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &KeepBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &answer.body);
    if (const CURLcode result = curl_easy_perform(e); result == CURLE_OK) {
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &answer.status);
    } else {
        answer.body.clear();
        answer.failure = TransferFailureReason(result);
    }
    return answer;
}

KeyFileCheck CheckKeyFile(const StatusFetcher& fetcher, std::string_view root,
                          std::string_view key) {
    const std::string url = std::string(root) + "/" + std::string(key) + ".txt";
    StatusFetcher::Answer answer = fetcher.Get(url);
    if (answer.status == 0) {
        return {false, "could not connect (" + answer.failure + ")"};
    }
    if (answer.status != 200) {
        return {false, "no key file (" + std::to_string(answer.status) + ")"};
    }
    std::string& body = answer.body;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) {
        body.pop_back();
    }
    if (body != key) {
        return {false, "the key file does not hold exactly the key"};
    }
    return {true, {}};
}

}  // namespace quaymark
