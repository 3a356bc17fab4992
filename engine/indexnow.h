#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/page_fetcher.h"
#include "engine/page_lines.h"
#include "engine/transfer_options.h"

namespace quaymark {

// IndexNow: one shared endpoint passes an announced address on to the engines that take
// announcements today. The site proves it owns the key by serving <key>.txt at its root.
inline constexpr std::string_view kIndexNowName = "IndexNow";

// What a run needs to announce through IndexNow; off unless the user turned it on.
struct IndexNowJob {
    bool enabled = false;
    std::string key;
    std::string endpoint;
};

// GET <endpoint>?url=<address as a query value>&key=<key>.
std::string IndexNowRequestUrl(std::string_view endpoint, std::string_view address,
                               std::string_view key);

// "<scheme>://<host>[:port]" of an http or https address with a host; nothing otherwise.
std::optional<std::string> SiteRoot(std::string_view address);

// An answer of 200 (received) or 202 (received, key check pending).
bool IndexNowAccepted(long status);
// Why an address is not sent at all.
inline constexpr std::string_view kNotAnnounceable = "not an http or https address with a host";
// The status of such an address: it was never sent.
inline constexpr long kNotSent = -1;
// The page kept for a failure that brought no body of its own: the reason, what the status
// means and what to do.
PageLines IndexNowExplanationPage(std::string_view reason, long status, std::string_view key,
                                  std::string_view address);

// One HTTPS (or HTTP) GET whose status and body are what count: for IndexNow and its key
// check. Certificates are verified against the system's store, or against the routing's
// authority where a test gives one.
class StatusFetcher {
public:
    struct Answer {
        long status = 0;  // 0: no answer
        std::string body;
        // Why no answer came, in the user's words; empty when one came.
        std::string failure;
    };

    explicit StatusFetcher(RunRouting routing = {});
    Answer Get(const std::string& url) const;

private:
    RunRouting routing_;
    RequestLists lists_;
};

// Why an answer is a failure, in the user's words: "key not valid (403)"; with no answer at
// all, why the transfer failed ("name not resolved", "certificate not trusted", ...).
std::string IndexNowReason(const StatusFetcher::Answer& answer);

// The key check of one site: whether <root>/<key>.txt is served with exactly the key (a
// line end after it allowed), and if not, why.
struct KeyFileCheck {
    bool served = false;
    std::string reason;  // empty when served
};
KeyFileCheck CheckKeyFile(const StatusFetcher& fetcher, std::string_view root,
                          std::string_view key);

}  // namespace quaymark
