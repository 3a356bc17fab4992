#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "storage/history_records.h"

namespace quaymark {

// What Announce Changes remembers of the sites: their sitemaps, the pages each gave, the pages
// that left them, and what each page had from the channels. Its readings hold the worker until
// they are answered; its writings are handed on and kept in their turn.
class AnnounceMemory {
public:
    virtual ~AnnounceMemory() = default;
    virtual std::vector<RememberedSitemap> Sitemaps() = 0;
    // The sitemaps whose pages were kept, and what one gave at its last read (none: never kept).
    virtual std::vector<std::string> KeptSitemaps() = 0;
    virtual std::optional<std::vector<std::string>> PagesOfSitemap(const std::string& sitemap) = 0;
    // What the pages of these sitemaps come to, decided by the memory: every page once, and
    // the dates of those that may be announced, those accepted since the time given included.
    virtual NamedPages PagesNamedBy(const std::vector<std::string>& sitemaps,
                                    std::int64_t recentSince) = 0;
    // Those of the pages the sitemaps gave at their last read.
    virtual std::vector<std::string> NamedAmong(const std::vector<std::string>& sitemaps,
                                                const std::vector<std::string>& pages) = 0;
    virtual std::vector<RemovedPage> RemovedPages() = 0;
    // The dates of every page, or of these alone, as the channel's acceptances give them.
    virtual std::unordered_map<std::string, PageDates> AnnouncedDates(
        const std::string& channel) = 0;
    virtual std::unordered_map<std::string, PageDates> DatesOf(
        const std::string& channel, const std::vector<std::string>& pages) = 0;

    // A site read again: its sitemaps with what they gave, the pages' lastmods, the pages that
    // left every sitemap and those named again.
    virtual void KeepReading(std::vector<RememberedSitemap> sitemaps,
                             std::vector<SitemapPages> pages,
                             std::vector<std::pair<std::string, std::int64_t>> lastmods,
                             std::vector<RemovedPage> removed,
                             std::vector<std::string> cameBack) = 0;
    // Everything written so far is handed on; returns at once.
    virtual void HandOn() = 0;
};

}  // namespace quaymark
