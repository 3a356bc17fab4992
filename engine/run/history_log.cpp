#include "engine/run/history_log.h"

namespace quaymark {

std::unordered_map<std::string, PageCheckRecord> HistoryLog::PageChecks() {
    return writer_.Ask<std::unordered_map<std::string, PageCheckRecord>>(&History::PageChecks);
}

std::vector<LastmodTrust> HistoryLog::LastmodTrusts() {
    return writer_.Ask<std::vector<LastmodTrust>>(&History::LastmodTrusts);
}

void HistoryLog::KeepChecks(std::vector<PageCheckRecord> checks, std::vector<LastmodTrust> trust) {
    writer_.PostWrite([checks = std::move(checks), trust = std::move(trust)](History& history) {
        std::string failure = history.KeepPageChecks(checks);
        return failure.empty() ? history.KeepLastmodTrust(trust) : failure;
    });
}

std::vector<KeyCheckRecord> HistoryLog::KeyChecks() {
    return writer_.Ask<std::vector<KeyCheckRecord>>(&History::KeyChecks);
}

void HistoryLog::KeepKeyChecks(std::vector<KeyCheckRecord> checks) {
    writer_.PostWrite(
        [checks = std::move(checks)](History& history) { return history.KeepKeyChecks(checks); });
}

std::vector<RememberedSitemap> HistoryGoogleMemory::Sitemaps() {
    return writer_.Ask<std::vector<RememberedSitemap>>(&History::Sitemaps);
}

std::unordered_map<std::string, std::int64_t> HistoryGoogleMemory::SitemapSubmissions() {
    return writer_.Ask<std::unordered_map<std::string, std::int64_t>>(&History::SitemapSubmissions);
}

void HistoryGoogleMemory::KeepSitemapSubmissions(
    std::vector<std::pair<std::string, std::int64_t>> done) {
    writer_.PostWrite([done = std::move(done)](History& history) {
        return history.KeepSitemapSubmissions(done);
    });
}

std::map<std::string, int> HistoryGoogleMemory::InspectionsSince(std::int64_t since) {
    return writer_.Ask<std::map<std::string, int>>(
        [since](History& history) { return history.InspectionsSince(since); });
}

std::unordered_map<std::string, GoogleInspection> HistoryGoogleMemory::Inspections() {
    return writer_.Ask<std::unordered_map<std::string, GoogleInspection>>(&History::Inspections);
}

std::vector<std::string> HistoryGoogleMemory::UnmatchedSites() {
    return writer_.Ask<std::vector<std::string>>(&History::UnmatchedSites);
}

void HistoryGoogleMemory::KeepUnmatchedSites(std::vector<std::string> told,
                                             std::vector<std::string> matched) {
    writer_.PostWrite([told = std::move(told), matched = std::move(matched)](History& history) {
        return history.KeepUnmatchedSites(told, matched);
    });
}

// In one turn, as one run's: what was inspected, what was sent, and what waits.
void HistoryGoogleMemory::Keep(GoogleKept kept) {
    writer_.PostWrite([kept = std::move(kept)](History& history) {
        std::string failure;
        if (!kept.inspected.empty()) {
            failure = history.KeepInspections(kept.inspected);
        }
        if (failure.empty() && (!kept.sent.empty() || kept.forgetSentBefore > 0)) {
            failure = history.KeepInspectionsSent(kept.sent, kept.forgetSentBefore);
        }
        if (failure.empty() && (!kept.waiting.empty() || !kept.settled.empty())) {
            failure = history.KeepGooglePending(kept.waiting, kept.settled);
        }
        return failure;
    });
}

std::vector<std::string> HistoryGoogleMemory::Pending() {
    return writer_.Ask<std::vector<std::string>>(&History::GooglePending);
}

std::vector<QuotaReading> HistoryQuotaMemory::LastQuotas(const std::string& channel) {
    return writer_.Ask<std::vector<QuotaReading>>(
        [&](History& history) { return history.LastQuotas(channel); });
}

std::vector<std::string> HistoryQuotaMemory::Pending(const std::string& channel) {
    return writer_.Ask<std::vector<std::string>>(
        [&](History& history) { return history.ChannelPending(channel); });
}

void HistoryQuotaMemory::Keep(QuotaKept kept) {
    writer_.PostWrite(
        [kept = std::move(kept)](History& history) { return history.KeepQuotaRun(kept); });
}

std::vector<RememberedSitemap> HistoryAnnounceMemory::Sitemaps() {
    return writer_.Ask<std::vector<RememberedSitemap>>(&History::Sitemaps);
}

std::vector<std::string> HistoryAnnounceMemory::KeptSitemaps() {
    return writer_.Ask<std::vector<std::string>>(&History::KeptSitemaps);
}

std::optional<std::vector<std::string>> HistoryAnnounceMemory::PagesOfSitemap(
    const std::string& sitemap) {
    return writer_.Ask<std::optional<std::vector<std::string>>>(
        [&](History& history) { return history.PagesOfSitemap(sitemap); });
}

NamedPages HistoryAnnounceMemory::PagesNamedBy(const std::vector<std::string>& sitemaps,
                                               std::int64_t recentSince) {
    return writer_.Ask<NamedPages>(
        [&](History& history) { return history.PagesNamedBy(sitemaps, recentSince); });
}

std::vector<std::string> HistoryAnnounceMemory::NamedAmong(const std::vector<std::string>& sitemaps,
                                                           const std::vector<std::string>& pages) {
    return writer_.Ask<std::vector<std::string>>(
        [&](History& history) { return history.NamedAmong(sitemaps, pages); });
}

std::vector<RemovedPage> HistoryAnnounceMemory::RemovedPages() {
    return writer_.Ask<std::vector<RemovedPage>>(&History::RemovedPages);
}

std::unordered_map<std::string, PageDates> HistoryAnnounceMemory::AnnouncedDates(
    const std::string& channel) {
    return writer_.Ask<std::unordered_map<std::string, PageDates>>(
        [&](History& history) { return history.AnnouncedDates(channel); });
}

std::unordered_map<std::string, PageDates> HistoryAnnounceMemory::DatesOf(
    const std::string& channel, const std::vector<std::string>& pages) {
    return writer_.Ask<std::unordered_map<std::string, PageDates>>(
        [&](History& history) { return history.DatesOf(channel, pages); });
}

void HistoryAnnounceMemory::KeepReading(std::vector<RememberedSitemap> sitemaps,
                                        std::vector<SitemapPages> pages,
                                        std::vector<std::pair<std::string, std::int64_t>> lastmods,
                                        std::vector<RemovedPage> removed,
                                        std::vector<std::string> cameBack) {
    writer_.RememberSitemaps(std::move(sitemaps), std::move(pages));
    writer_.SetLastmods(std::move(lastmods));
    writer_.PostWrite(
        [removed = std::move(removed), cameBack = std::move(cameBack)](History& history) {
            std::string failure = history.MarkRemoved(removed);
            return failure.empty() ? history.ForgetRemoved(cameBack) : failure;
        });
}

}  // namespace quaymark
