#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "engine/check/audience.h"
#include "engine/net/transfer_options.h"

namespace quaymark {

// What a page's check found, and so whether a modern channel announces it.
enum class PageVerdict {
    Indexable,           // 200 and open to the engines: announced when new or changed
    NotModified,         // 304 to the validators of its last check: as it was
    Noindex,             // asks not to be indexed (meta robots, X-Robots-Tag)
    CanonicalElsewhere,  // names another address as canonical (detail)
    Redirected,          // answers with a redirect (detail: its target)
    Removed,             // 404 or 410: announced once as removed
    Disallowed,          // the site's robots.txt keeps the engines' robots from it
    Failed,              // another status, a timeout, a refused connection: checked next time
};
std::string_view VerdictWord(PageVerdict verdict);

// A page to check, with the validators of its last check, for a conditional request.
struct PageCheckRequest {
    std::string address;
    std::string etag{};
    std::string lastModified{};
};

struct PageCheck {
    std::string address;
    PageVerdict verdict = PageVerdict::Failed;
    long status = 0;
    // The canonical address, the redirect's target, or why the check failed.
    std::string detail{};
    // The answer's validators, for the next check.
    std::string etag{};
    std::string lastModified{};
    // The fingerprint of the main text (of the bytes, for a page that is no HTML); read only
    // for an indexable page.
    std::uint64_t fingerprint = 0;
    // The body was longer than the limit and was read in part.
    bool cut = false;
    // An indexable page that asks some engines' robots alone not to index it: whose.
    Audience noindexFor = kNoRobot;
};

struct CheckLimits {
    // The bytes of a body read: a page's head and main text are within them.
    std::size_t maxBodyBytes = std::size_t{1} << 20;
    // Connections open to one host at once, kept alive between its pages.
    long hostConnections = 4;
    // Transfers under way at once, whatever their hosts.
    std::size_t inFlight = 64;
    // A page sending slower than this over so long is cut as too slow, so that its connection
    // serves the next page: a run's time grows with its slow pages' own limits, not the site.
    long slowBytesPerSecond = 1024;
    std::chrono::seconds slowOver{10};
};

// What a check run is told and tells: each page's check as it ends, a site's wish to have
// its pages fetched one at a time so long apart (by site root).
struct CheckHooks {
    std::function<void(const PageCheck&)> done{};
    std::map<std::string, std::chrono::milliseconds> crawlDelays{};
};

// What a site's robots.txt came to: its text, none when there is no such file (every page
// allowed), or why it could not be read.
struct RobotsAnswer {
    std::optional<std::string> text{};
    std::string failure{};
};

// The bytes of a robots.txt read; what lies beyond is passed over, as the engines do.
inline constexpr std::size_t kMaxRobotsBytes = 512 * 1024;

// Checks pages in parallel through libcurl's multi interface: one GET each, redirects not
// followed, HTTP/2 where the site speaks it, bodies bounded. Used from one thread.
class PageChecker {
public:
    // A stop request ends the transfers under way and leaves the pages not yet checked.
    PageChecker(RunRouting routing, CheckLimits limits = {}, std::stop_token stop = {});

    // The pages' checks, in the order of the requests.
    std::vector<PageCheck> Check(const std::vector<PageCheckRequest>& pages,
                                 const CheckHooks& hooks = {});
    // The robots.txt of each site root, in parallel.
    std::vector<RobotsAnswer> ReadRobots(const std::vector<std::string>& siteRoots);

    // One transfer under way: its own file's business.
    struct Transfer;

private:
    // What becomes of the transfers: each handed to finished as it ends; another stage
    // of the work, given the multi handle to wake, may hold new ones back while it is full
    // and hand on what it has done when drained, which says whether it has more to do.
    struct Stage {
        std::function<void(CURLM* multi)> attach{};
        std::function<bool()> full{};
        std::function<bool()> drain{};
        std::function<void(Transfer& transfer, CURLcode result)> finished{};
    };
    // A page is fetched as it answers; a robots.txt through its redirects, with a body bound
    // of its own.
    enum class TransferKind { Page, Robots };
    // Runs the transfers, one per request, each handed to finished as it ends; the pages of a
    // paced site one at a time.
    void Transfers(const std::vector<PageCheckRequest>& requests, TransferKind kind,
                   const CheckHooks& hooks, const Stage& stage);

    RunRouting routing_;
    CheckLimits limits_;
    std::stop_token stop_;
};

}  // namespace quaymark
