#include "engine/indexnow.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <map>

#include "engine/curl_handles.h"
#include "engine/http_text.h"
#include "storage/text_lines.h"

namespace quaymark {
namespace {

constexpr std::string_view kJsonHeader = "Content-Type: application/json; charset=utf-8";

// An address inside a JSON string: what cannot stand in an address is percent-encoded, and
// the two characters JSON itself reserves are escaped.
void AppendJsonAddress(std::string& json, std::string_view address) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    json += '"';
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            json += '%';
            json += kHex[byte >> 4];
            json += kHex[byte & 0x0F];
        } else {
            if (c == '"' || c == '\\') {
                json += '\\';
            }
            json += c;
        }
    }
    json += '"';
}

// The value of a header line named so, or nothing.
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name) {
    if (!StartsWithNoCase(line, name) || line.size() <= name.size() || line[name.size()] != ':') {
        return std::nullopt;
    }
    std::string_view value = line.substr(name.size() + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r' ||
                              value.back() == '\n')) {
        value.remove_suffix(1);
    }
    return value;
}

size_t KeepHeader(char* data, size_t size, size_t count, void* answerPointer) {
    auto* answer = static_cast<StatusAnswer*>(answerPointer);
    std::string_view rest(data, size * count);
    const std::string_view line = NextLine(rest);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new answer begins (after an interim 1xx one): only the last one counts.
        answer->statusLine.assign(line);
        answer->retryAfter.clear();
        answer->location.clear();
    } else if (const auto value = HeaderValue(line, "retry-after")) {
        answer->retryAfter.assign(*value);
    } else if (const auto target = HeaderValue(line, "location")) {
        answer->location.assign(*target);
    }
    return size * count;
}

size_t KeepBody(char* data, size_t size, size_t count, void* answerPointer) {
    auto* answer = static_cast<StatusAnswer*>(answerPointer);
    const std::size_t bytes = size * count;
    const std::size_t room = StatusFetcher::kMaxBody - answer->body.size();
    answer->body.append(data, std::min(bytes, room));
    if (bytes > room) {
        answer->bodyCut = true;
        return 0;  // the rest is not read at all
    }
    return bytes;
}

std::string EscapeHtml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// What the status means and what to do about it, in our words.
std::string Advice(const StatusAnswer& answer, const IndexNowJob& job, std::string_view host) {
    const std::string key = EscapeHtml(job.key);
    const long status = answer.status;
    if (status == 0) {
        return "No answer came from " + EscapeHtml(job.endpoint) + ": " +
               EscapeHtml(answer.failure) +
               ". Be sure you are connected to the Internet and that the endpoint's address is "
               "right.";
    }
    if (status == 400) {
        return "The endpoint could not read the announcement. Try again; if it happens again, "
               "choose another endpoint.";
    }
    if (status == 403) {
        return "The endpoint did not find the key on the site. Put a file named " + key +
               ".txt holding exactly the key " + key + " at the root of https://" +
               EscapeHtml(host) + "/, or set the key location to where the key file is.";
    }
    if (status == 422) {
        return "The addresses do not all belong to " + EscapeHtml(host) +
               ", or the key does not match the key file of the site. Check both with Check "
               "in the IndexNow window.";
    }
    if (status == 429) {
        return "The endpoint takes no more announcements for now. Try again later, and "
               "announce only pages that are new or changed.";
    }
    if (status >= 300 && status < 400) {
        return "The endpoint's address has moved, and announcements are never sent on to "
               "another address. Use the address it names: " +
               EscapeHtml(answer.location) + ".";
    }
    if (status >= 500) {
        return "The endpoint had a problem of its own. Try again later.";
    }
    return "The announcement was not taken.";
}

}  // namespace

bool IsHttpsAddress(std::string_view address) {
    return StartsWithNoCase(address, "https://") && AnnounceHost(address).has_value();
}

bool IsKeyLocation(std::string_view address) {
    return IsHttpsAddress(address) && address.size() > 4 &&
           address.substr(address.size() - 4) == ".txt";
}

std::vector<IndexNowBatch> MakeBatches(const std::vector<std::string>& addresses,
                                       std::size_t maxAddresses) {
    std::vector<IndexNowBatch> batches;
    // The batch of each host that still has room.
    std::map<std::string, std::size_t, std::less<>> open;
    for (const std::string& address : addresses) {
        std::optional<std::string> host = AnnounceHost(address);
        if (!host) {
            continue;
        }
        auto found = open.find(*host);
        if (found == open.end() || batches[found->second].urls.size() >= maxAddresses) {
            batches.push_back({*host, {}});
            found = open.insert_or_assign(std::move(*host), batches.size() - 1).first;
        }
        batches[found->second].urls.push_back(address);
    }
    return batches;
}

std::string BatchBody(const IndexNowJob& job, const IndexNowBatch& batch) {
    std::string json = "{\"host\":";
    AppendJsonAddress(json, batch.host);
    json += ",\"key\":";
    AppendJsonAddress(json, job.key);
    // A key location serves only the host it is on.
    if (!job.keyLocation.empty() && AnnounceHost(job.keyLocation) == batch.host) {
        json += ",\"keyLocation\":";
        AppendJsonAddress(json, job.keyLocation);
    }
    json += ",\"urlList\":[";
    for (std::size_t i = 0; i < batch.urls.size(); ++i) {
        if (i > 0) {
            json += ',';
        }
        AppendJsonAddress(json, batch.urls[i]);
    }
    json += "]}";
    return json;
}

std::string CountOfAddresses(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " address" : " addresses");
}

std::string BatchLabel(std::string_view host, std::size_t count) {
    return std::string(host) + " (" + CountOfAddresses(count) + ")";
}

std::vector<std::string> NewOrChanged(const std::vector<std::string>& addresses,
                                      const std::unordered_map<std::string, PageDates>& dates,
                                      std::int64_t now, LeftOut& leftOut) {
    std::vector<std::string> chosen;
    for (const std::string& address : addresses) {
        const auto known = dates.find(address);
        if (known == dates.end() || !known->second.lastAnnounced) {
            chosen.push_back(address);
            continue;
        }
        const PageDates& page = known->second;
        if (now - *page.lastAnnounced < kReannounceAfterSeconds) {
            ++leftOut.recent;
        } else if (page.lastmod && *page.lastmod > *page.lastAnnounced) {
            chosen.push_back(address);
        } else {
            ++leftOut.unchanged;
        }
    }
    return chosen;
}

StatusFetcher::StatusFetcher(RunRouting routing)
    : routing_(std::move(routing)),
      lists_(routing_, {}),
      // libcurl would otherwise wait for a "100 Continue" before a large body.
      jsonLists_(routing_, {kJsonHeader, "Expect:"}) {}

StatusAnswer StatusFetcher::Get(const std::string& url) const {
    return Perform(url, nullptr);
}

StatusAnswer StatusFetcher::Post(const std::string& url, const std::string& json) const {
    return Perform(url, &json);
}

StatusAnswer StatusFetcher::Perform(const std::string& url, const std::string* json) const {
    StatusAnswer answer;
    const EasyHandle easy(curl_easy_init());
    if (!easy) {
        answer.failure = "could not start a transfer";
        return answer;
    }
    CURL* e = easy.get();
    SetSharedOptions(e, routing_, json == nullptr ? lists_ : jsonLists_);
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    if (json == nullptr) {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, json->data());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(json->size()));
    }
    SetVerifiedAndBounded(e, routing_);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &KeepHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &answer);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &KeepBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &answer);
    const CURLcode result = curl_easy_perform(e);
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && answer.bodyCut)) {
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &answer.status);
    } else {
        answer = StatusAnswer{};
        answer.failure = TransferFailureReason(result);
    }
    return answer;
}

bool IndexNowAccepted(long status) {
    return status == 200 || status == 202;
}

bool WorthRetrying(long status) {
    return status == 429 || (status >= 500 && status <= 599);
}

std::string IndexNowReason(const StatusAnswer& answer) {
    const long status = answer.status;
    switch (status) {
        case 0:
            return answer.failure;
        case 400:
            return "bad request (400)";
        case 403:
            return "key not valid (403)";
        case 422:
            return "addresses not of this host or key not matching (422)";
        case 429:
            return "too many requests (429)";
        default:
            if (status >= 300 && status < 400) {
                return "redirected (" + std::to_string(status) + "), not followed";
            }
            return "answered " + std::to_string(status);
    }
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

PageLines IndexNowFailurePage(std::string_view reason, const StatusAnswer& answer,
                              const IndexNowJob& job, std::string_view label,
                              std::string_view host) {
    PageLines page{
        "<HTML>",
        "<FONT SIZE=5>IndexNow: " + EscapeHtml(reason) + "</FONT><BR>",
        "<FONT SIZE=4>" + EscapeHtml(label) + "</FONT><BR><BR>",
        Advice(answer, job, host) + "<BR><BR>",
    };
    if (answer.status == 0) {
        page.push_back("The transfer failed: " + EscapeHtml(answer.failure) + ".<BR>");
    } else {
        page.push_back("The endpoint's answer:<BR>");
        page.push_back("<PRE>" + EscapeHtml(answer.statusLine));
        page.push_back(EscapeHtml(answer.body) + (answer.bodyCut ? "\n[cut at 64 KiB]" : "") +
                       "</PRE>");
    }
    page.push_back("</HTML>");
    return page;
}

PageLines NotAnnouncedPage(std::string_view address) {
    return {
        "<HTML>",
        "<FONT SIZE=5>IndexNow: " + std::string(kNotAnnounceable) + "</FONT><BR>",
        "<FONT SIZE=4>" + EscapeHtml(address) + "<BR><BR>",
        "Nothing was sent.<BR>",
        "IndexNow takes http:// and https:// addresses with a host only.<BR>",
        "</FONT></HTML>",
    };
}

namespace {

std::string KeyFilePath(const IndexNowJob& job, std::string_view host) {
    if (!job.keyLocation.empty() && AnnounceHost(job.keyLocation) == host) {
        return job.keyLocation;
    }
    return "https://" + std::string(host) + "/" + job.key + ".txt";
}

bool HoldsExactlyTheKey(std::string body, std::string_view key) {
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) {
        body.pop_back();
    }
    return body == key;
}

}  // namespace

KeyFileCheck CheckKeyFile(const StatusFetcher& fetcher, std::string_view host,
                          const IndexNowJob& job) {
    const std::string url = KeyFilePath(job, host);
    const StatusAnswer answer = fetcher.Get(url);
    if (answer.status == 200) {
        return HoldsExactlyTheKey(answer.body, job.key)
                   ? KeyFileCheck{true, "served exactly"}
                   : KeyFileCheck{false, "served with other content"};
    }
    if (answer.status >= 300 && answer.status < 400) {
        return {false, "redirected to " + answer.location};
    }
    if (answer.failure == TransferFailureReason(CURLE_PEER_FAILED_VERIFICATION)) {
        return {false, "certificate not trusted"};
    }
    // The engines fetch the key file over https only: one served over http alone is no proof.
    const StatusAnswer plain =
        fetcher.Get("http://" + url.substr(std::string_view("https://").size()));
    if (plain.status == 200 && HoldsExactlyTheKey(plain.body, job.key)) {
        return {false, "served only over http"};
    }
    if (answer.status == 404) {
        return {false, "not found (404)"};
    }
    if (answer.status == 0) {
        return {false, "could not connect (" + answer.failure + ")"};
    }
    return {false, "answered " + std::to_string(answer.status)};
}

bool KeyLocationCovers(std::string_view keyLocation, std::string_view address) {
    const std::optional<WebAddress> location = ParseWebAddress(keyLocation);
    const std::optional<WebAddress> page = ParseWebAddress(address);
    if (!location || !page || location->host != page->host) {
        return false;
    }
    // The key file's folder, compared with the address's own path.
    const std::string_view folder =
        std::string_view(location->path).substr(0, location->path.rfind('/') + 1);
    return page->path.rfind(folder, 0) == 0;
}

}  // namespace quaymark
