#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "storage/history.h"

namespace quaymark {

// What the history holds of every address, of each site's sitemaps and of the announcer.
struct HistoryContents {
    std::unordered_map<std::string, AddressHistory> summaries;
    std::vector<RememberedSitemap> sitemaps;
    std::vector<RemovedPage> removed{};
    std::vector<AnnouncerRun> announcerRuns{};
    std::unordered_map<std::string, PageCheckRecord> checks{};
    std::unordered_map<std::string, GoogleInspection> inspections{};
    // Each page's last fetch by each engine's verified robot.
    std::unordered_map<std::string, std::map<std::string, std::int64_t>> crawls{};
};

// Reads it all; the caller is the history's own thread.
HistoryContents ReadHistoryContents(History& history);

// The history of the list's pages as a table, the same for the window, its CSV export and the
// command line: the address and the last day's mark, the last acceptance by each channel that
// records one, the last failure; then, only when there are any, when a page left every
// sitemap, what its check found, what Google said of it, and its last fetch by each engine's
// verified robot. Cells are the history's bytes.
struct HistoryTable {
    struct Row {
        std::string address;
        // One per column after the address.
        std::vector<std::string> cells;
        // An engine had it within the last 24 hours.
        bool sentToday = false;
        // It is in no sitemap of its site any longer.
        bool leftSitemaps = false;
    };
    std::vector<std::string> columns;
    std::vector<Row> rows{};
    // The pages in no sitemap of their site any longer, in list order.
    std::vector<std::string> leftSitemaps{};
};

inline constexpr std::int64_t kDaySeconds = 24 * 60 * 60;

HistoryTable MakeHistoryTable(const std::vector<std::string>& addresses,
                              const HistoryContents& contents, std::int64_t now);

// The table's rows whose address holds the text, case aside (ASCII), with the column names
// first: what Export CSV writes and the command line prints.
std::vector<std::vector<std::string>> FilteredRows(const HistoryTable& table,
                                                   const std::string& filter = {});

// The history as the command line shows it: the list's pages, each site's sitemaps and the
// announcer's runs. A history not yet made is an empty one, and is not made.
struct HistoryShown {
    HistoryTable table{};
    HistoryContents contents{};
    // Why the list or the history could not be read; empty when they were.
    std::string failure{};
};
HistoryShown ShowHistory(std::int64_t now);

// Those rows as RFC 4180 CSV.
std::string HistoryCsv(const std::vector<std::vector<std::string>>& rows);

// A moment as the history shows it: "2026-12-09 06:12", local time.
std::string Moment(std::int64_t time);
// "http://a.test/: http://a.test/feed, read 2026-12-09 06:12".
std::string SitemapLine(const RememberedSitemap& sitemap);
// "2026-12-09 06:12, by the daily timer: Announced 3 pages (...)." and how it ended.
std::string AnnouncerRunLine(const AnnouncerRun& run);

}  // namespace quaymark
