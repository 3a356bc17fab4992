#include "engine/net/web_address.h"

#include <curl/curl.h>

#include <algorithm>

#include "engine/net/curl_handles.h"
#include "engine/net/http_text.h"

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

// The parsed address, when it is an http or https address with a host.
UrlHandle ParseWeb(std::string_view address) {
    UrlHandle url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, ParsableUrl(address).c_str(),
                             CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return nullptr;
    }
    std::string scheme = Part(url.get(), CURLUPART_SCHEME);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), AsciiLower);
    if ((scheme != "http" && scheme != "https") || !HasPart(url.get(), CURLUPART_HOST)) {
        return nullptr;
    }
    return url;
}

std::string LowerPart(CURLU* url, CURLUPart part) {
    std::string text = Part(url, part);
    std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
    return text;
}

}  // namespace

std::optional<WebAddress> ParseWebAddress(std::string_view address) {
    const UrlHandle url = ParseWeb(address);
    if (!url) {
        return std::nullopt;
    }
    return WebAddress{.scheme = LowerPart(url.get(), CURLUPART_SCHEME),
                      .host = LowerPart(url.get(), CURLUPART_HOST),
                      .path = Part(url.get(), CURLUPART_PATH),
                      .query = Part(url.get(), CURLUPART_QUERY),
                      .fragment = Part(url.get(), CURLUPART_FRAGMENT),
                      .credentials = HasPart(url.get(), CURLUPART_USER) ||
                                     HasPart(url.get(), CURLUPART_PASSWORD)};
}

namespace {

// The address with scheme and host in lower case, no fragment, and, for a site, no path.
std::optional<std::string> Normalised(std::string_view address, bool siteOnly) {
    const UrlHandle url = ParseWeb(address);
    if (!url) {
        return std::nullopt;
    }
    curl_url_set(url.get(), CURLUPART_SCHEME, LowerPart(url.get(), CURLUPART_SCHEME).c_str(), 0);
    curl_url_set(url.get(), CURLUPART_HOST, LowerPart(url.get(), CURLUPART_HOST).c_str(), 0);
    curl_url_set(url.get(), CURLUPART_FRAGMENT, nullptr, 0);
    if (siteOnly) {
        curl_url_set(url.get(), CURLUPART_USER, nullptr, 0);
        curl_url_set(url.get(), CURLUPART_PASSWORD, nullptr, 0);
        curl_url_set(url.get(), CURLUPART_PATH, "/", 0);
        curl_url_set(url.get(), CURLUPART_QUERY, nullptr, 0);
    }
    return Part(url.get(), CURLUPART_URL, CURLU_NO_DEFAULT_PORT);
}

}  // namespace

std::optional<std::string> NormalisedAddress(std::string_view address) {
    return Normalised(address, false);
}

std::optional<std::string> SiteRoot(std::string_view address) {
    return Normalised(address, true);
}

std::optional<std::string> HostOf(std::string_view address) {
    std::optional<WebAddress> parsed = ParseWebAddress(address);
    if (!parsed) {
        return std::nullopt;
    }
    return std::move(parsed->host);
}

std::optional<std::string> ResolveAddress(std::string_view base, std::string_view reference) {
    const UrlHandle url = ParseWeb(base);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, ParsableUrl(Trimmed(reference)).c_str(),
                             CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return std::nullopt;
    }
    return NormalisedAddress(Part(url.get(), CURLUPART_URL));
}

}  // namespace quaymark
