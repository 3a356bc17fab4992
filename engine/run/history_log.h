#pragma once

#include "engine/channel/channel.h"
#include "engine/google/google_memory.h"
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

private:
    HistoryWriter& writer_;
};

// Everything a run remembers, kept in the history: its requests and checks, and each
// channel's memory. A channel with a memory of its own gets it in Attach.
class HistoryStores {
public:
    explicit HistoryStores(HistoryWriter& writer) : requests_(writer), google_(writer) {}

    RequestLog& requests() { return requests_; }
    void Attach(SubmitJob& job) {
        job.log = &requests_;
        job.google.memory = &google_;
    }

private:
    HistoryLog requests_;
    HistoryGoogleMemory google_;
};

}  // namespace quaymark
