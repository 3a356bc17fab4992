#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "storage/history_records.h"

namespace quaymark {

// What a run of Google's channel keeps, written in one turn.
struct GoogleKept {
    std::vector<GoogleInspection> inspected{};
    // Inspections sent, by property, and those sent before this time forgotten (none when 0).
    std::vector<std::pair<std::string, std::int64_t>> sent{};
    std::int64_t forgetSentBefore = 0;
    // Pages carried to the next run, and those that no longer wait.
    std::vector<std::string> waiting{};
    std::vector<std::string> settled{};
};

// What Google's channel remembers from one run to the next. Its readings hold the worker until
// they are answered; its writings are handed on and kept in their turn.
class GoogleMemory {
public:
    virtual ~GoogleMemory() = default;
    virtual std::vector<RememberedSitemap> Sitemaps() = 0;
    // When each sitemap was last submitted.
    virtual std::unordered_map<std::string, std::int64_t> SitemapSubmissions() = 0;
    virtual void KeepSitemapSubmissions(std::vector<std::pair<std::string, std::int64_t>> done) = 0;
    // The inspections each property has had since then.
    virtual std::map<std::string, int> InspectionsSince(std::int64_t since) = 0;
    // The last inspection of every page.
    virtual std::unordered_map<std::string, GoogleInspection> Inspections() = 0;
    // The sites already told they have no property, and those that now have one.
    virtual std::vector<std::string> UnmatchedSites() = 0;
    virtual void KeepUnmatchedSites(std::vector<std::string> told,
                                    std::vector<std::string> matched) = 0;
    virtual void Keep(GoogleKept kept) = 0;
    // The pages still waiting for an inspection.
    virtual std::vector<std::string> Pending() = 0;
};

}  // namespace quaymark
