#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/page_lines.h"
#include "engine/transfer_options.h"
#include "engine/web_address.h"
#include "storage/history.h"

namespace quaymark {

// IndexNow: an endpoint passes announced addresses on to the engines that take announcements
// today. The site proves it owns the key by serving <key>.txt at its root, or at the key
// location the announcement names.
inline constexpr std::string_view kIndexNowName = "IndexNow";
// The protocol's limit of addresses in one announcement.
inline constexpr std::size_t kMaxBatchAddresses = 10000;

// What a run needs to announce through IndexNow; off unless the user turned it on.
struct IndexNowJob {
    bool enabled = false;
    std::string key;
    std::string endpoint;
    // Where the key file is when it is not at the site's root; empty otherwise.
    std::string keyLocation;
    // Only pages IndexNow has not accepted yet, or changed since, are announced; the dates
    // are what the history knows of each.
    bool onlyNewOrChanged = false;
    std::unordered_map<std::string, PageDates> dates{};
};

// An address accepted so recently is never announced again, changed or not.
inline constexpr std::int64_t kReannounceAfterSeconds = 10 * 60;

// How many addresses the new-or-changed rule left out, and why.
struct LeftOut {
    std::size_t unchanged = 0;
    std::size_t recent = 0;
};

// The addresses to announce when only new or changed pages are: those IndexNow never
// accepted, and those whose last change is later than their last acceptance, unless that was
// within the last ten minutes. The order stays.
std::vector<std::string> NewOrChanged(const std::vector<std::string>& addresses,
                                      const std::unordered_map<std::string, PageDates>& dates,
                                      std::int64_t now, LeftOut& leftOut);

// The addresses of one host announced in one request, in list order.
struct IndexNowBatch {
    std::string host;
    std::vector<std::string> urls;
};

// An https address with a host: what an endpoint must be.
bool IsHttpsAddress(std::string_view address);
// An https address on a site that ends in ".txt": what a key location must be.
bool IsKeyLocation(std::string_view address);

// One batch per host, hosts in the order they first appear, each split into batches of at
// most maxAddresses. Addresses without an http or https host are left out.
std::vector<IndexNowBatch> MakeBatches(const std::vector<std::string>& addresses,
                                       std::size_t maxAddresses = kMaxBatchAddresses);

// The JSON body of a batch: {"host":…,"key":…,"keyLocation":… when set,"urlList":[…]}. Bytes
// that cannot stand in an address (blanks, controls, bytes of 0x80 and above) travel
// percent-encoded, so the body is ASCII whatever the list holds.
std::string BatchBody(const IndexNowJob& job, const IndexNowBatch& batch);

// "1 address", "<n> addresses".
std::string CountOfAddresses(std::size_t count);
// How a batch is named in the failures window: "<host> (<n> addresses)".
std::string BatchLabel(std::string_view host, std::size_t count);

// The answer to one request whose status and body are what count.
struct StatusAnswer {
    long status = 0;  // 0: no answer
    std::string statusLine;
    // The body, cut at the bound of what is kept.
    std::string body;
    bool bodyCut = false;
    std::string retryAfter;
    std::string location;
    // Why no answer came, in the user's words; empty when one came.
    std::string failure;
};

// One HTTPS (or HTTP) request for IndexNow and its key check. Certificates are verified
// against the system's store, or against the routing's authority where a test gives one; no
// redirect is followed, and at most maxBody bytes of a body are kept.
class StatusFetcher {
public:
    static constexpr std::size_t kMaxBody = std::size_t{64} << 10;

    explicit StatusFetcher(RunRouting routing = {});
    StatusAnswer Get(const std::string& url) const;
    // A POST of a JSON body.
    StatusAnswer Post(const std::string& url, const std::string& json) const;

private:
    StatusAnswer Perform(const std::string& url, const std::string* json) const;

    RunRouting routing_;
    RequestLists lists_;
    RequestLists jsonLists_;
};

// 200: received; 202: received, the key still being checked.
bool IndexNowAccepted(long status);
// 429 and the 5xx statuses: waiting may help. 400, 403 and 422 never change by themselves.
bool WorthRetrying(long status);
// What an answer means, in the user's words: "key not valid (403)"; with no answer at all,
// why the transfer failed ("name not resolved", "certificate not trusted", ...).
std::string IndexNowReason(const StatusAnswer& answer);
// Why an address is not sent at all.
inline constexpr std::string_view kNotAnnounceable = "not an http or https address with a host";

// A Retry-After value: seconds, or an HTTP date after now; nothing when it is neither.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value, std::time_t now);

// How long and how often a batch is tried again when waiting may help.
struct RetryPolicy {
    int maxTries = 5;
    // All the waiting one batch may take.
    std::chrono::seconds maxWait{600};
    // The first wait without a Retry-After; each next one is twice as long, with jitter.
    std::chrono::seconds firstBackoff{2};
    // How long one second of waiting lasts: a second, but for tests that must not wait.
    std::chrono::milliseconds second{1000};
};

// The page kept for an IndexNow failure: what it means and what to do, then the endpoint's
// own answer (its status line and body, as text) or why the transfer failed.
PageLines IndexNowFailurePage(std::string_view reason, const StatusAnswer& answer,
                              const IndexNowJob& job, std::string_view label,
                              std::string_view host);
// The page of an address that is never sent.
PageLines NotAnnouncedPage(std::string_view address);

// The key check of one host: what https://<host>/<key>.txt (or the key location) serves.
struct KeyFileCheck {
    bool served = false;
    std::string verdict;  // "served exactly", "not found (404)", ...
};
KeyFileCheck CheckKeyFile(const StatusFetcher& fetcher, std::string_view host,
                          const IndexNowJob& job);
// Whether a key location covers an address: the address lies in the key file's folder on
// the same host.
bool KeyLocationCovers(std::string_view keyLocation, std::string_view address);

}  // namespace quaymark
