#pragma once

#include "engine/channel/channel.h"
#include "engine/run/run_stores.h"
#include "engine/run/submit_run.h"
#include "storage/history.h"

namespace quaymark {

// A run's records go to the history's writer, which keeps them on its own thread.
class HistoryLog : public RequestLog {
public:
    explicit HistoryLog(HistoryWriter& writer) : writer_(writer) {}

    void Record(HistoryRow row) override { writer_.Record(std::move(row)); }
    void HandOn() override { writer_.HandOn(); }
    std::unordered_map<std::string, PageDates> AnnouncedDates(const std::string& channel) override {
        return writer_.AnnouncedDates(channel);
    }
    std::unordered_map<std::string, PageCheckRecord> PageChecks() override;
    std::vector<LastmodTrust> LastmodTrusts() override;
    void KeepChecks(std::vector<PageCheckRecord> checks, std::vector<LastmodTrust> trust) override;
    std::vector<KeyCheckRecord> KeyChecks() override;
    void KeepKeyChecks(std::vector<KeyCheckRecord> checks) override;

private:
    HistoryWriter& writer_;
};

// What Google's channel remembers, kept in the history.
class HistoryGoogleMemory : public GoogleMemory {
public:
    explicit HistoryGoogleMemory(HistoryWriter& writer) : writer_(writer) {}

    std::vector<RememberedSitemap> Sitemaps() override;
    std::unordered_map<std::string, std::int64_t> SitemapSubmissions() override;
    void KeepSitemapSubmissions(std::vector<std::pair<std::string, std::int64_t>> done) override;
    std::map<std::string, int> InspectionsSince(std::int64_t since) override;
    std::unordered_map<std::string, GoogleInspection> Inspections() override;
    std::vector<std::string> UnmatchedSites() override;
    void KeepUnmatchedSites(std::vector<std::string> told,
                            std::vector<std::string> matched) override;
    void Keep(GoogleKept kept) override;
    std::vector<std::string> Pending() override;

private:
    HistoryWriter& writer_;
};

// What the channels of the engines' own APIs remember, kept in the history.
class HistoryQuotaMemory : public QuotaMemory {
public:
    explicit HistoryQuotaMemory(HistoryWriter& writer) : writer_(writer) {}

    std::vector<QuotaReading> LastQuotas(const std::string& channel) override;
    std::vector<std::string> Pending(const std::string& channel) override;
    void Keep(QuotaKept kept) override;

private:
    HistoryWriter& writer_;
};

// What Announce Changes remembers of the sites, kept in the history.
class HistoryAnnounceMemory : public AnnounceMemory {
public:
    explicit HistoryAnnounceMemory(HistoryWriter& writer) : writer_(writer) {}

    std::vector<RememberedSitemap> Sitemaps() override;
    std::vector<std::string> KeptSitemaps() override;
    std::optional<std::vector<std::string>> PagesOfSitemap(const std::string& sitemap) override;
    NamedPages PagesNamedBy(const std::vector<std::string>& sitemaps,
                            std::int64_t recentSince) override;
    std::vector<std::string> NamedAmong(const std::vector<std::string>& sitemaps,
                                        const std::vector<std::string>& pages) override;
    std::vector<RemovedPage> RemovedPages() override;
    std::unordered_map<std::string, PageDates> AnnouncedDates(const std::string& channel) override;
    std::unordered_map<std::string, PageDates> DatesOf(
        const std::string& channel, const std::vector<std::string>& pages) override;
    void KeepReading(std::vector<RememberedSitemap> sitemaps, std::vector<SitemapPages> pages,
                     std::vector<std::pair<std::string, std::int64_t>> lastmods,
                     std::vector<RemovedPage> removed, std::vector<std::string> cameBack) override;
    void HandOn() override { writer_.HandOn(); }

private:
    HistoryWriter& writer_;
};

// Everything a run remembers, kept in the history's database through its writer.
class HistoryStores : public RunStores {
public:
    explicit HistoryStores(HistoryWriter& writer)
        : requests_(writer), google_(writer), quotas_(writer), sites_(writer) {}

    RequestLog& requests() override { return requests_; }
    GoogleMemory& google() override { return google_; }
    QuotaMemory& quotas() override { return quotas_; }
    AnnounceMemory& sites() override { return sites_; }

private:
    HistoryLog requests_;
    HistoryGoogleMemory google_;
    HistoryQuotaMemory quotas_;
    HistoryAnnounceMemory sites_;
};

}  // namespace quaymark
