#include "engine/web_address.h"

#include <curl/curl.h>

#include <algorithm>

#include "engine/curl_handles.h"
#include "engine/http_text.h"

namespace quaymark {
namespace {

// A part of the parsed address; empty when it has none.
std::string Part(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) {
        return {};
    }
    std::string value(text);
    curl_free(text);
    return value;
}

bool HasPart(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    const bool has = curl_url_get(url, part, &text, 0) == CURLUE_OK && text != nullptr;
    curl_free(text);
    return has;
}

}  // namespace

std::optional<WebAddress> ParseWebAddress(std::string_view address) {
    const UrlHandle url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, ParsableUrl(address).c_str(),
                             CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return std::nullopt;
    }
    WebAddress parsed{.scheme = Part(url.get(), CURLUPART_SCHEME),
                      .host = Part(url.get(), CURLUPART_HOST),
                      .path = Part(url.get(), CURLUPART_PATH),
                      .query = Part(url.get(), CURLUPART_QUERY),
                      .fragment = Part(url.get(), CURLUPART_FRAGMENT),
                      .credentials = HasPart(url.get(), CURLUPART_USER) ||
                                     HasPart(url.get(), CURLUPART_PASSWORD),
                      .normalised = {}};
    std::transform(parsed.scheme.begin(), parsed.scheme.end(), parsed.scheme.begin(), AsciiLower);
    if ((parsed.scheme != "http" && parsed.scheme != "https") || parsed.host.empty()) {
        return std::nullopt;
    }
    std::transform(parsed.host.begin(), parsed.host.end(), parsed.host.begin(), AsciiLower);
    curl_url_set(url.get(), CURLUPART_SCHEME, parsed.scheme.c_str(), 0);
    curl_url_set(url.get(), CURLUPART_HOST, parsed.host.c_str(), 0);
    curl_url_set(url.get(), CURLUPART_FRAGMENT, nullptr, 0);
    parsed.normalised = Part(url.get(), CURLUPART_URL, CURLU_NO_DEFAULT_PORT);
    return parsed;
}

std::optional<std::string> AnnounceHost(std::string_view address) {
    std::optional<WebAddress> parsed = ParseWebAddress(address);
    if (!parsed) {
        return std::nullopt;
    }
    return std::move(parsed->host);
}

}  // namespace quaymark
