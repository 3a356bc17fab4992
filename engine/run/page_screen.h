#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/channel/channel.h"
#include "engine/check/page_checker.h"

namespace quaymark {

// How the progress window names the checking of the pages.
inline constexpr std::string_view kCheckingPagesName = "Checking pages";

// The longest Crawl-delay honoured: a site asking for more has its pages this far apart.
inline constexpr std::chrono::seconds kMaxCrawlDelay{60};

// How the pages are checked before a modern channel announces them.
struct ScreenJob {
    RunRouting routing{};
    CheckLimits limits{};
    // A dry run keeps nothing of what the checks found.
    bool keep = true;
    std::int64_t now = 0;
};

// What the checks found.
struct ScreenOutcome {
    // The pages a channel may announce, in their order: those open to the engines, those
    // gone (to be told once), and those no check can reach (no web address), for the channel
    // to tell of.
    std::vector<std::string> announceable{};
    // Those answering 404 or 410.
    std::unordered_set<std::string> removed{};
    // Those that only some channels may announce, their robots directives or robots.txt
    // speaking to one engine's robots alone: to whom.
    std::unordered_map<std::string, Audience> onlyFor{};
    // How many pages were left out, by their check's verdict.
    std::map<PageVerdict, std::size_t> leftOut{};
    // What was left out and why, a few examples each; a site's lastmods no longer trusted.
    std::vector<std::string> notes{};
    bool cancelled = false;

    // The announceable pages the channels that reach these engines may announce, in order.
    std::vector<std::string> AnnounceableTo(Audience audience) const;
};

// Each page checked before it is announced: its site's robots.txt read once, its Crawl-delay
// honoured, the page fetched with the validators of its last check and judged. The pages'
// dates gain what the checks saw (when their text last changed, whether their site's lastmods
// are trusted) for the new-or-changed rule. What was found is kept in the run's history.
ScreenOutcome ScreenPages(const std::vector<std::string>& pages,
                          std::unordered_map<std::string, PageDates>& dates, const ScreenJob& job,
                          RequestLog* log, RunObserver& observer, std::stop_token stop);

// What the checks left out, as the run's summary gives it: "2 left out by their checks
// (1 noindex, 1 redirected)"; empty when none were.
std::string LeftOutByChecks(const std::map<PageVerdict, std::size_t>& leftOut);

}  // namespace quaymark
