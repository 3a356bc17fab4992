#include "storage/history.h"

#include <sqlite3.h>

#include "storage/history_rows.h"
#include "storage/sqlite_statement.h"

// What the history keeps of the pages themselves: their last checks, whether each site's
// lastmods are trusted, and what Google said of them.
namespace quaymark {

using sqlite::Bind;
using sqlite::Column;
using sqlite::ForEachRow;

std::string History::KeepPageChecks(const std::vector<PageCheckRecord>& checks) {
    return WriteRows(
        "INSERT OR REPLACE INTO page_checks(address, verdict, detail, etag, last_modified,"
        " fingerprint, lastmod, text_changed_at, checked_at) VALUES(?,?,?,?,?,?,?,?,?)",
        checks, [](sqlite3_stmt* s, const PageCheckRecord& check) {
            Bind(s, 1, check.address);
            Bind(s, 2, check.verdict);
            Bind(s, 3, check.detail);
            Bind(s, 4, check.etag);
            Bind(s, 5, check.lastModified);
            // SQLite's integers are signed: the fingerprint's 64 bits are kept as they are.
            BindOptional(s, 6,
                         check.fingerprint
                             ? std::optional(static_cast<std::int64_t>(*check.fingerprint))
                             : std::nullopt);
            BindOptional(s, 7, check.lastmod);
            BindOptional(s, 8, check.textChangedAt);
            sqlite3_bind_int64(s, 9, check.checkedAt);
        });
}

std::unordered_map<std::string, PageCheckRecord> History::PageChecks() {
    std::unordered_map<std::string, PageCheckRecord> checks;
    if (Closed()) {
        return checks;
    }
    ForEachRow(db_,
               "SELECT address, verdict, detail, etag, last_modified, fingerprint, lastmod,"
               " text_changed_at, checked_at FROM page_checks",
               {}, [&](sqlite3_stmt* s) {
                   const std::optional<std::int64_t> fingerprint = OptionalColumn(s, 5);
                   std::string address = Column(s, 0);
                   checks.emplace(
                       address,
                       PageCheckRecord{
                           .address = address,
                           .verdict = Column(s, 1),
                           .detail = Column(s, 2),
                           .etag = Column(s, 3),
                           .lastModified = Column(s, 4),
                           .fingerprint =
                               fingerprint ? std::optional(static_cast<std::uint64_t>(*fingerprint))
                                           : std::nullopt,
                           .lastmod = OptionalColumn(s, 6),
                           .textChangedAt = OptionalColumn(s, 7),
                           .checkedAt = sqlite3_column_int64(s, 8)});
               });
    return checks;
}

std::string History::KeepLastmodTrust(const std::vector<LastmodTrust>& sites) {
    return WriteRows("INSERT OR REPLACE INTO lastmod_trust(site, trusted, reason) VALUES(?,?,?)",
                     sites, [](sqlite3_stmt* s, const LastmodTrust& site) {
                         Bind(s, 1, site.site);
                         sqlite3_bind_int(s, 2, site.trusted ? 1 : 0);
                         Bind(s, 3, site.reason);
                     });
}

std::vector<LastmodTrust> History::LastmodTrusts() {
    std::vector<LastmodTrust> sites;
    if (Closed()) {
        return sites;
    }
    ForEachRow(db_, "SELECT site, trusted, reason FROM lastmod_trust ORDER BY site", {},
               [&](sqlite3_stmt* s) {
                   sites.push_back({.site = Column(s, 0),
                                    .trusted = sqlite3_column_int(s, 1) != 0,
                                    .reason = Column(s, 2)});
               });
    return sites;
}

std::string History::KeepKeyChecks(const std::vector<KeyCheckRecord>& checks) {
    return WriteRows(
        "INSERT OR REPLACE INTO key_checks(host, key, checked_at, served, words) VALUES(?,?,?,?,?)",
        checks, [](sqlite3_stmt* s, const KeyCheckRecord& check) {
            Bind(s, 1, check.host);
            Bind(s, 2, check.key);
            sqlite3_bind_int64(s, 3, check.checkedAt);
            sqlite3_bind_int(s, 4, check.served ? 1 : 0);
            Bind(s, 5, check.words);
        });
}

std::vector<KeyCheckRecord> History::KeyChecks() {
    std::vector<KeyCheckRecord> checks;
    if (Closed()) {
        return checks;
    }
    ForEachRow(db_, "SELECT host, key, checked_at, served, words FROM key_checks", {},
               [&](sqlite3_stmt* s) {
                   checks.push_back({.host = Column(s, 0),
                                     .key = Column(s, 1),
                                     .checkedAt = sqlite3_column_int64(s, 2),
                                     .served = sqlite3_column_int(s, 3) != 0,
                                     .words = Column(s, 4)});
               });
    return checks;
}

std::string History::KeepInspections(const std::vector<GoogleInspection>& inspections) {
    return WriteRows(
        "INSERT OR REPLACE INTO google_inspections(address, property, verdict, coverage,"
        " last_crawl, canonical, inspected_at) VALUES(?,?,?,?,?,?,?)",
        inspections, [](sqlite3_stmt* s, const GoogleInspection& inspection) {
            Bind(s, 1, inspection.address);
            Bind(s, 2, inspection.property);
            Bind(s, 3, inspection.verdict);
            Bind(s, 4, inspection.coverage);
            Bind(s, 5, inspection.lastCrawl);
            Bind(s, 6, inspection.canonical);
            sqlite3_bind_int64(s, 7, inspection.inspectedAt);
        });
}

std::unordered_map<std::string, GoogleInspection> History::Inspections() {
    std::unordered_map<std::string, GoogleInspection> inspections;
    if (Closed()) {
        return inspections;
    }
    ForEachRow(db_,
               "SELECT address, property, verdict, coverage, last_crawl, canonical, inspected_at"
               " FROM google_inspections",
               {}, [&](sqlite3_stmt* s) {
                   std::string address = Column(s, 0);
                   inspections.emplace(address,
                                       GoogleInspection{.address = address,
                                                        .property = Column(s, 1),
                                                        .verdict = Column(s, 2),
                                                        .coverage = Column(s, 3),
                                                        .lastCrawl = Column(s, 4),
                                                        .canonical = Column(s, 5),
                                                        .inspectedAt = sqlite3_column_int64(s, 6)});
               });
    return inspections;
}

std::map<std::string, int> History::InspectionsSince(std::int64_t since) {
    std::map<std::string, int> spent;
    if (Closed()) {
        return spent;
    }
    // A history from before inspections were counted one by one has only each page's latest.
    ForEachRow(db_,
               "SELECT property, max(n) FROM ("
               " SELECT property, count(*) AS n FROM google_sent WHERE sent_at >= ?1"
               " GROUP BY property UNION ALL"
               " SELECT property, count(*) AS n FROM google_inspections WHERE inspected_at >= ?1"
               " GROUP BY property) GROUP BY property",
               {std::to_string(since)},
               [&](sqlite3_stmt* s) { spent[Column(s, 0)] = sqlite3_column_int(s, 1); });
    return spent;
}

std::string History::KeepInspectionsSent(
    const std::vector<std::pair<std::string, std::int64_t>>& sent, std::int64_t forgetBefore) {
    std::string failure =
        WriteRows("INSERT INTO google_sent(property, sent_at) VALUES(?,?)", sent,
                  [](sqlite3_stmt* s, const std::pair<std::string, std::int64_t>& one) {
                      Bind(s, 1, one.first);
                      sqlite3_bind_int64(s, 2, one.second);
                  });
    return failure.empty() ? WriteRows("DELETE FROM google_sent WHERE sent_at < ?",
                                       std::vector<std::int64_t>{forgetBefore},
                                       [](sqlite3_stmt* s, std::int64_t before) {
                                           sqlite3_bind_int64(s, 1, before);
                                       })
                           : failure;
}

std::vector<std::string> History::GooglePending() {
    return Texts("SELECT address FROM google_pending");
}

std::string History::KeepGooglePending(const std::vector<std::string>& waiting,
                                       const std::vector<std::string>& settled) {
    return KeepSet("INSERT OR IGNORE INTO google_pending(address) VALUES(?)", waiting,
                   "DELETE FROM google_pending WHERE address = ?", settled);
}

std::string History::KeepSitemapSubmissions(
    const std::vector<std::pair<std::string, std::int64_t>>& sitemaps) {
    return WriteRows("INSERT OR REPLACE INTO google_sitemaps(sitemap, submitted_at) VALUES(?,?)",
                     sitemaps,
                     [](sqlite3_stmt* s, const std::pair<std::string, std::int64_t>& sitemap) {
                         Bind(s, 1, sitemap.first);
                         sqlite3_bind_int64(s, 2, sitemap.second);
                     });
}

std::unordered_map<std::string, std::int64_t> History::SitemapSubmissions() {
    std::unordered_map<std::string, std::int64_t> submitted;
    if (Closed()) {
        return submitted;
    }
    ForEachRow(db_, "SELECT sitemap, submitted_at FROM google_sitemaps", {},
               [&](sqlite3_stmt* s) { submitted[Column(s, 0)] = sqlite3_column_int64(s, 1); });
    return submitted;
}

std::vector<std::string> History::UnmatchedSites() {
    return Texts("SELECT site FROM google_unmatched");
}

std::string History::KeepUnmatchedSites(const std::vector<std::string>& told,
                                        const std::vector<std::string>& matched) {
    return KeepSet("INSERT OR IGNORE INTO google_unmatched(site) VALUES(?)", told,
                   "DELETE FROM google_unmatched WHERE site = ?", matched);
}

std::vector<std::string> History::Texts(const char* sql) {
    std::vector<std::string> texts;
    if (!Closed()) {
        ForEachRow(db_, sql, {}, [&](sqlite3_stmt* s) { texts.push_back(Column(s, 0)); });
    }
    return texts;
}

std::string History::KeepSet(const char* insert, const std::vector<std::string>& added,
                             const char* remove, const std::vector<std::string>& removed) {
    const auto bind = [](sqlite3_stmt* s, const std::string& text) { Bind(s, 1, text); };
    std::string failure = WriteRows(insert, added, bind);
    return failure.empty() ? WriteRows(remove, removed, bind) : failure;
}

}  // namespace quaymark
