#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// What the history keeps, as plain values: the rooms above speak of them through stores of
// their own, and never see the database that keeps them.
namespace quaymark {

// One request a run sent: when (seconds since the epoch), through which channel (an engine's
// name, or IndexNow), for which address, the request itself, what came of it and, for a
// failure, why.
struct HistoryRow {
    std::int64_t time = 0;
    std::string channel;
    std::string address;
    std::string request;
    std::string verdict;
    std::string reason;
    bool accepted = false;
};

// What decides whether a channel hears of an address again: its last acceptance there,
// its last change as its sitemap gave it, and when a check last saw its text change (or saw it
// gone). A site whose lastmods say nothing of its changes has them passed over.
struct PageDates {
    std::optional<std::int64_t> lastAnnounced;
    std::optional<std::int64_t> lastmod;
    std::optional<std::int64_t> textChanged{};
    bool lastmodTrusted = true;
};

// The last check of a page: its verdict in words with what goes with it (the canonical
// address, the redirect's target, why it failed), the answer's validators for the next check,
// the fingerprint of its text, the sitemap's lastmod at the time, when a check last saw its
// text change (none until one has) and when it was checked.
struct PageCheckRecord {
    std::string address;
    std::string verdict;
    std::string detail{};
    std::string etag{};
    std::string lastModified{};
    std::optional<std::uint64_t> fingerprint{};
    std::optional<std::int64_t> lastmod{};
    std::optional<std::int64_t> textChangedAt{};
    std::int64_t checkedAt = 0;

    bool operator==(const PageCheckRecord&) const = default;
};

// What Google's inspection said of a page, under which property, and when.
struct GoogleInspection {
    std::string address;
    std::string property;
    std::string verdict;
    std::string coverage{};
    std::string lastCrawl{};
    std::string canonical{};
    std::int64_t inspectedAt = 0;

    bool operator==(const GoogleInspection&) const = default;
};

// Whether a site's sitemap lastmods tell when its pages change, and why not when they do not.
struct LastmodTrust {
    std::string site;
    bool trusted = true;
    std::string reason{};

    bool operator==(const LastmodTrust&) const = default;
};

// The last check of a host's IndexNow key: for which key, when, and what it found.
struct KeyCheckRecord {
    std::string host;
    std::string key;
    std::int64_t checkedAt = 0;
    bool served = false;
    std::string words{};

    bool operator==(const KeyCheckRecord&) const = default;
};

// A sitemap an import of the site read whole: the validators of its answer, and when.
struct RememberedSitemap {
    std::string site;
    std::string sitemap;
    std::string etag{};
    std::string lastModified{};
    std::int64_t readAt = 0;

    bool operator==(const RememberedSitemap&) const = default;
};

// The pages a sitemap gave when it was last read whole.
struct SitemapPages {
    std::string sitemap;
    std::vector<std::string> pages{};
};

// What the pages some sitemaps gave at their last read come to: every page once, in the
// sitemaps' order, and the dates of those that may be announced.
struct NamedPages {
    std::vector<std::string> pages;
    std::unordered_map<std::string, PageDates> open;
};

// A page that left every sitemap of its site, and since when; it is one again once a sitemap
// names it.
struct RemovedPage {
    std::string address;
    std::string site;
    std::int64_t since = 0;

    bool operator==(const RemovedPage&) const = default;
};

// One run of the headless announcer: when, whether its timer started it, how many pages it
// announced, how many were refused and left out, its exit status and what it said of itself.
struct AnnouncerRun {
    std::int64_t time = 0;
    bool scheduled = false;
    std::int64_t announced = 0;
    std::int64_t refused = 0;
    std::int64_t leftOut = 0;
    int exitStatus = 0;
    std::string result;

    bool operator==(const AnnouncerRun&) const = default;
};

// What the history holds of one address.
struct AddressHistory {
    // The last acceptance by each channel.
    std::map<std::string, std::int64_t> lastAccepted;
    std::optional<HistoryRow> lastFailure;
    // The last request to any of the engines, accepted or not.
    std::optional<std::int64_t> lastSentToEngine;
};

// An access log the history reads for a site, and where its last read stopped.
struct SiteLog {
    std::string site;
    std::string path;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t offset = 0;
    std::int64_t readAt = 0;

    bool operator==(const SiteLog&) const = default;
};

// What the DNS said of a robot's address.
enum class VisitCheck { False = 0, Verified = 1, Unknown = 2 };

// A request of a site's page by what claimed to be an engine's robot; its address is not kept.
struct CrawlVisit {
    std::string site;
    std::string address;
    std::string engine;
    std::int64_t time = 0;
    int status = 0;
    VisitCheck check = VisitCheck::Unknown;
};

// An address that claimed an engine's robot and what its lookups said, kept for some days.
struct RobotAddress {
    std::string address;
    std::string engine;
    VisitCheck check = VisitCheck::Unknown;
    std::int64_t checkedAt = 0;
};

// One thing that happened to a page: sent through a channel and answered, fetched by an
// engine's verified robot, or inspected by Google.
struct PageEvent {
    enum class Kind { Sent, Crawled, Inspected };
    Kind kind = Kind::Sent;
    std::int64_t time = 0;
    // The channel or the engine.
    std::string who;
    // The verdict, the status fetched, or Google's verdict and coverage.
    std::string what;
    bool good = false;
};

// Counts of one channel or engine on one day (days since 1970, UTC).
struct DayCounts {
    std::string who;
    std::int64_t day = 0;
    // Requests sent and accepted; or robot visits verified and false.
    std::int64_t first = 0;
    std::int64_t second = 0;
};

// What an engine said of a site's quota when it was last asked: what is left today, and this
// month where it counts months too.
struct QuotaReading {
    std::string channel;
    std::string site;
    std::int64_t at = 0;
    int dailyLeft = 0;
    std::optional<int> dailyQuota{};
    std::optional<int> monthlyLeft{};
};

// One figure an engine gives of a site for one day (days since 1970, UTC): pages its robot
// crawled, its crawl errors, its recrawl tasks by state.
struct EngineDay {
    std::string channel;
    std::string site;
    std::int64_t day = 0;
    std::string series;
    std::int64_t count = 0;
};

// What a run of an engine's own channel keeps, written in one turn: the quotas read, the
// engine's figures by day (a day's figure replacing the one kept before), the pages carried to
// the next run and those that no longer wait.
struct QuotaKept {
    std::string channel;
    std::vector<QuotaReading> quotas{};
    std::vector<EngineDay> days{};
    std::vector<std::string> waiting{};
    std::vector<std::string> settled{};
};

}  // namespace quaymark
