#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "storage/history_records.h"

namespace quaymark {

// The days the Sites window's charts and the crawl figures look back over.
inline constexpr int kStatusDays = 90;

// A modern channel as a site sees it: on or off, and what is left of its quota today (and this
// month, where the engine counts months).
struct ChannelState {
    std::string name;
    bool on = false;
    std::optional<int> quotaLeft{};
    std::optional<int> monthLeft{};
};

// One row of the Sites window: a site of the list or of the remembered sitemaps.
struct SiteRow {
    std::string site;
    std::size_t pages = 0;
    std::size_t sitemapPages = 0;
    // The access logs read for it.
    std::vector<std::string> logPaths{};
    // The last acceptance of any of its pages by any channel; 0 when none.
    std::int64_t lastAnnounced = 0;
    std::vector<ChannelState> channels{};
    // Pages accepted within the days looked back over, and those of them a verified robot of an
    // engine the channel reaches fetched since.
    std::size_t announced = 0;
    std::size_t crawled = 0;
    // Of its pages Google inspected, those indexed at their last inspection; none when Google
    // inspected none.
    std::size_t inspected = 0;
    std::size_t indexed = 0;
};

// How soon one engine's verified robot came after the pages were announced to it.
struct EngineCrawl {
    std::string engine;
    std::size_t announced = 0;
    // Of the pages announced at least a day (a week) ago, those fetched within it.
    std::size_t dayOld = 0;
    std::size_t withinDay = 0;
    std::size_t weekOld = 0;
    std::size_t withinWeek = 0;
    // The median time from announcement to fetch of the pages fetched; none when none was.
    std::optional<std::int64_t> medianSeconds{};
};

// One series of a chart: a value per day, the first day being the status's firstDay.
struct DaySeries {
    std::string name;
    std::vector<std::int64_t> values{};
};

// What the Sites window and the command line's status show of one site.
struct SiteStatus {
    SiteRow row{};
    // The site asked for: the figures and days below are its own.
    bool chosen = false;
    std::vector<EngineCrawl> engines{};
    // Days since 1970 (UTC), the last being today.
    std::int64_t firstDay = 0;
    // Sent, accepted and refused per channel, and each quota left as the engine last told it
    // that day; verified visits per engine (and false robots), and the engines' own figures
    // (Bing's pages crawled, Yandex's recrawls); Google's indexed and not indexed pages.
    std::vector<DaySeries> sent{};
    std::vector<DaySeries> visits{};
    std::vector<DaySeries> google{};
};

struct SitesStatus {
    std::vector<SiteStatus> sites{};
    // Why the list, the settings or the history could not be read; empty when they were.
    std::string failure{};
};

// Every site's row, and for the site named (any address on it; none when empty) its figures
// and charts too. Reads the list, the settings and the history from their files: never on a
// window's thread.
SitesStatus StatusOfSites(const std::string& chosen, std::int64_t now);

// Everything that happened to a page, oldest first.
struct PageTimeline {
    std::vector<PageEvent> events{};
    std::string failure{};
};
PageTimeline TimelineOf(const std::string& page);

}  // namespace quaymark

namespace quaymark {

// "5 h 12 min", "3 d 4 h", "40 s": a delay as both faces show it.
std::string DelayText(std::int64_t seconds);
// "Bing: 20 pages announced; 10 of 15 fetched within a day, 12 of 14 within a week; median
// 5 h 12 min".
std::string EngineCrawlLine(const EngineCrawl& engine);
// "IndexNow on", "Google Search Console on, 1990 left today", "Bing Webmaster Tools on, 90
// left today, 2900 this month", "... off".
std::string ChannelStateText(const ChannelState& channel);

}  // namespace quaymark
