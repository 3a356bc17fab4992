#include "storage/history.h"

#include <sys/statvfs.h>

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "storage/history_rows.h"
#include "storage/sqlite_statement.h"

namespace quaymark {

using sqlite::Bind;
using sqlite::Column;
using sqlite::ForEachRow;
using sqlite::Prepare;
using sqlite::Statement;

History::~History() {
    sqlite3_close_v2(db_);
}

bool History::Closed() {
    if (db_ == nullptr) {
        failure_ = "the history was given back after a failure";
        return true;
    }
    return false;
}

bool History::Exec(const char* sql) {
    if (Closed()) {
        return false;
    }
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) {
        return true;
    }
    failure_ = sqlite3_errmsg(db_);
    return false;
}

void History::GiveBack() {
    if (db_ == nullptr) {
        return;
    }
    if (sqlite3_get_autocommit(db_) == 0) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db_, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

// Runs the work in one transaction; a step that fails rolls all of it back and says why.
// The history never takes the last room on its disk: it stops while there is still room to
// fold its write-ahead log back into the database, which then gives the log's room back, and
// room for the user's list to be saved after it.
bool History::RoomLeft() {
    const char* file = sqlite3_db_filename(db_, "main");
    struct statvfs disk {};
    if (file == nullptr || *file == '\0' || ::statvfs(file, &disk) != 0) {
        return true;  // nothing to measure: SQLite's own errors tell of a full disk
    }
    std::error_code error;
    const std::uintmax_t logged = std::filesystem::file_size(std::string(file) + "-wal", error);
    const std::uintmax_t free = static_cast<std::uintmax_t>(disk.f_bavail) * disk.f_frsize;
    if (free >= (error ? 0 : logged) + kRoomKeptBytes) {
        return true;
    }
    failure_ = "No space left on device (less than " + std::to_string(kRoomKeptBytes >> 10) +
               " KiB would be left): nothing more is kept, so that your list keeps its room";
    return false;
}

std::string History::InTransaction(const std::function<bool()>& work) {
    if (!Closed() && !RoomLeft()) {
        return failure_;
    }
    if (!Exec("BEGIN IMMEDIATE")) {
        return failure_;
    }
    if (!work()) {
        failure_ = sqlite3_errmsg(db_);
        Exec("ROLLBACK");
        return failure_;
    }
    return Exec("COMMIT") ? std::string() : failure_;
}

std::string History::Append(const std::vector<HistoryRow>& rows) {
    return WriteRows(
        "INSERT INTO requests(time, channel, address, request, verdict, reason, accepted)"
        " VALUES(?,?,?,?,?,?,?)",
        rows, [](sqlite3_stmt* s, const HistoryRow& row) {
            sqlite3_bind_int64(s, 1, row.time);
            Bind(s, 2, row.channel);
            Bind(s, 3, row.address);
            Bind(s, 4, row.request);
            Bind(s, 5, row.verdict);
            Bind(s, 6, row.reason);
            sqlite3_bind_int(s, 7, row.accepted ? 1 : 0);
        });
}

std::unordered_map<std::string, AddressHistory> History::Summaries(
    const std::string& announceChannel) {
    std::unordered_map<std::string, AddressHistory> summaries;
    if (Closed()) {
        return summaries;
    }
    ForEachRow(db_,
               "SELECT address, channel, last_sent, last_accepted, failure_time, failure_request,"
               " failure_verdict, failure_reason FROM summary",
               {}, [&](sqlite3_stmt* s) {
                   AddressHistory& past = summaries[Column(s, 0)];
                   const std::string channel = Column(s, 1);
                   if (channel != announceChannel) {
                       past.lastSentToEngine =
                           std::max(past.lastSentToEngine.value_or(INT64_MIN),
                                    static_cast<std::int64_t>(sqlite3_column_int64(s, 2)));
                   }
                   if (sqlite3_column_type(s, 3) != SQLITE_NULL) {
                       past.lastAccepted[channel] = sqlite3_column_int64(s, 3);
                   }
                   const std::int64_t failed = sqlite3_column_int64(s, 4);
                   if (sqlite3_column_type(s, 4) != SQLITE_NULL &&
                       (!past.lastFailure || failed >= past.lastFailure->time)) {
                       past.lastFailure = HistoryRow{.time = failed,
                                                     .channel = channel,
                                                     .address = Column(s, 0),
                                                     .request = Column(s, 5),
                                                     .verdict = Column(s, 6),
                                                     .reason = Column(s, 7),
                                                     .accepted = false};
                   }
               });
    return summaries;
}

std::string History::SetLastmods(
    const std::vector<std::pair<std::string, std::int64_t>>& lastmods) {
    return WriteRows(
        "INSERT INTO pages(address, lastmod) VALUES(?,?)"
        " ON CONFLICT(address) DO UPDATE SET lastmod = excluded.lastmod",
        lastmods, [](sqlite3_stmt* s, const std::pair<std::string, std::int64_t>& page) {
            Bind(s, 1, page.first);
            sqlite3_bind_int64(s, 2, page.second);
        });
}

std::unordered_map<std::string, PageDates> History::AnnouncedDates(const std::string& channel) {
    std::unordered_map<std::string, PageDates> dates;
    if (Closed()) {
        return dates;
    }
    ForEachRow(db_,
               "SELECT address, last_accepted FROM summary"
               " WHERE channel = ? AND last_accepted IS NOT NULL",
               {channel}, [&](sqlite3_stmt* s) {
                   dates[Column(s, 0)].lastAnnounced = sqlite3_column_int64(s, 1);
               });
    ForEachRow(db_, "SELECT address, lastmod FROM pages", {},
               [&](sqlite3_stmt* s) { dates[Column(s, 0)].lastmod = sqlite3_column_int64(s, 1); });
    ForEachRow(
        db_,
        "SELECT address, text_changed_at FROM page_checks"
        " WHERE text_changed_at IS NOT NULL",
        {}, [&](sqlite3_stmt* s) { dates[Column(s, 0)].textChanged = sqlite3_column_int64(s, 1); });
    return dates;
}

namespace {

// A page's dates from a row of its last acceptance, its lastmod and its last text change,
// after its address.
PageDates DatesInRow(sqlite3_stmt* s) {
    const auto date = [s](int column) -> std::optional<std::int64_t> {
        if (sqlite3_column_type(s, column) == SQLITE_NULL) {
            return std::nullopt;
        }
        return sqlite3_column_int64(s, column);
    };
    return {.lastAnnounced = date(1), .lastmod = date(2), .textChanged = date(3)};
}

}  // namespace

bool History::Stage(const char* table, const std::vector<std::string>& texts) {
    const std::string name(table);
    if (!Exec(("CREATE TEMP TABLE IF NOT EXISTS " + name +
               "(rank INTEGER PRIMARY KEY, text TEXT NOT NULL);DELETE FROM " + name)
                  .c_str())) {
        return false;
    }
    const Statement insert = Prepare(db_, ("INSERT INTO " + name + "(text) VALUES(?)").c_str());
    return insert && std::all_of(texts.begin(), texts.end(), [&](const std::string& text) {
               Bind(insert.get(), 1, text);
               return StepOnce(insert.get());
           });
}

NamedPages History::PagesNamedBy(const std::vector<std::string>& sitemaps,
                                 std::int64_t recentSince) {
    NamedPages named;
    if (Closed() || !Stage("asked_sitemaps", sitemaps)) {
        return named;
    }
    // Every page once, where its first sitemap names it.
    std::vector<std::string> all;
    for (const std::string& sitemap : sitemaps) {
        ForEachRow(db_, "SELECT address FROM sitemap_pages WHERE sitemap = ?", {sitemap},
                   [&](sqlite3_stmt* s) { all.push_back(Column(s, 0)); });
    }
    std::unordered_set<std::string_view> seen;
    seen.reserve(all.size());
    std::vector<bool> first(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        first[i] = seen.insert(all[i]).second;
    }
    named.pages.reserve(seen.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (first[i]) {
            named.pages.push_back(std::move(all[i]));
        }
    }
    // What IndexNow has due, and what it accepted lately, among them, with their dates: a few
    // rows, however large the sites.
    ForEachRow(db_,
               "SELECT d.address, s.last_accepted, p.lastmod, c.text_changed_at FROM"
               " (SELECT address FROM indexnow_due UNION SELECT address FROM summary"
               "  WHERE channel = 'IndexNow' AND last_accepted > ?1) AS d"
               " LEFT JOIN summary AS s ON s.address = d.address AND s.channel = 'IndexNow'"
               " LEFT JOIN pages AS p ON p.address = d.address"
               " LEFT JOIN page_checks AS c ON c.address = d.address"
               " WHERE EXISTS (SELECT 1 FROM temp.asked_sitemaps AS a JOIN sitemap_pages AS n"
               "  ON n.sitemap = a.text AND n.address = d.address)",
               {std::to_string(recentSince)},
               [&](sqlite3_stmt* s) { named.open[Column(s, 0)] = DatesInRow(s); });
    return named;
}

std::unordered_map<std::string, PageDates> History::DatesOf(const std::string& channel,
                                                            const std::vector<std::string>& pages) {
    std::unordered_map<std::string, PageDates> dates;
    if (Closed() || pages.empty() || !Stage("asked_pages", pages)) {
        return dates;
    }
    ForEachRow(db_,
               "SELECT a.text, s.last_accepted, p.lastmod, c.text_changed_at"
               " FROM temp.asked_pages AS a"
               " LEFT JOIN summary AS s ON s.address = a.text AND s.channel = ?1"
               " LEFT JOIN pages AS p ON p.address = a.text"
               " LEFT JOIN page_checks AS c ON c.address = a.text"
               " WHERE s.last_accepted IS NOT NULL OR p.lastmod IS NOT NULL"
               "  OR c.text_changed_at IS NOT NULL",
               {channel}, [&](sqlite3_stmt* s) { dates[Column(s, 0)] = DatesInRow(s); });
    return dates;
}

std::vector<std::string> History::NamedAmong(const std::vector<std::string>& sitemaps,
                                             const std::vector<std::string>& pages) {
    std::vector<std::string> named;
    if (Closed() || pages.empty() || !Stage("asked_sitemaps", sitemaps) ||
        !Stage("asked_pages", pages)) {
        return named;
    }
    ForEachRow(db_,
               "SELECT DISTINCT a.text FROM temp.asked_pages AS a JOIN sitemap_pages AS p"
               " ON p.address = a.text JOIN temp.asked_sitemaps AS m ON p.sitemap = m.text",
               {}, [&](sqlite3_stmt* s) { named.push_back(Column(s, 0)); });
    return named;
}

std::unordered_map<std::string, std::size_t> History::PagesBySitemap() {
    std::unordered_map<std::string, std::size_t> counts;
    if (!Closed()) {
        ForEachRow(db_, "SELECT sitemap, count(*) FROM sitemap_pages GROUP BY sitemap", {},
                   [&](sqlite3_stmt* s) {
                       counts[Column(s, 0)] = static_cast<std::size_t>(sqlite3_column_int64(s, 1));
                   });
    }
    return counts;
}

std::vector<std::string> History::KeptSitemaps() {
    return Texts("SELECT sitemap FROM sitemaps_kept");
}

std::string History::RememberSitemaps(const std::vector<RememberedSitemap>& sitemaps) {
    return WriteRows(
        "INSERT INTO sitemaps(site, sitemap, etag, last_modified, read_at) VALUES(?,?,?,?,?)"
        " ON CONFLICT(site, sitemap) DO UPDATE SET etag = excluded.etag,"
        " last_modified = excluded.last_modified, read_at = excluded.read_at",
        sitemaps, [](sqlite3_stmt* s, const RememberedSitemap& sitemap) {
            Bind(s, 1, sitemap.site);
            Bind(s, 2, sitemap.sitemap);
            Bind(s, 3, sitemap.etag);
            Bind(s, 4, sitemap.lastModified);
            sqlite3_bind_int64(s, 5, sitemap.readAt);
        });
}

std::vector<RememberedSitemap> History::Sitemaps() {
    std::vector<RememberedSitemap> sitemaps;
    if (Closed()) {
        return sitemaps;
    }
    ForEachRow(db_,
               "SELECT site, sitemap, etag, last_modified, read_at FROM sitemaps"
               " ORDER BY site, sitemap",
               {}, [&](sqlite3_stmt* s) {
                   sitemaps.push_back({.site = Column(s, 0),
                                       .sitemap = Column(s, 1),
                                       .etag = Column(s, 2),
                                       .lastModified = Column(s, 3),
                                       .readAt = sqlite3_column_int64(s, 4)});
               });
    return sitemaps;
}

// Each sitemap's pages are replaced whole: a page it no longer names is gone from it.
std::string History::KeepSitemapPages(const std::vector<SitemapPages>& sitemaps) {
    return InTransaction([&] {
        const Statement clear = Prepare(db_, "DELETE FROM sitemap_pages WHERE sitemap = ?");
        const Statement kept =
            Prepare(db_, "INSERT OR IGNORE INTO sitemaps_kept(sitemap) VALUES(?)");
        const Statement insert =
            Prepare(db_, "INSERT OR IGNORE INTO sitemap_pages(sitemap, address) VALUES(?,?)");
        if (!clear || !kept || !insert) {
            return false;
        }
        return std::all_of(sitemaps.begin(), sitemaps.end(), [&](const SitemapPages& sitemap) {
            Bind(clear.get(), 1, sitemap.sitemap);
            Bind(kept.get(), 1, sitemap.sitemap);
            return StepOnce(clear.get()) && StepOnce(kept.get()) &&
                   std::all_of(sitemap.pages.begin(), sitemap.pages.end(),
                               [&](const std::string& page) {
                                   Bind(insert.get(), 1, sitemap.sitemap);
                                   Bind(insert.get(), 2, page);
                                   return StepOnce(insert.get());
                               });
        });
    });
}

std::optional<std::vector<std::string>> History::PagesOfSitemap(const std::string& sitemap) {
    bool kept = false;
    if (!Closed()) {
        ForEachRow(db_, "SELECT 1 FROM sitemaps_kept WHERE sitemap = ?", {sitemap},
                   [&](sqlite3_stmt*) { kept = true; });
    }
    if (!kept) {
        return std::nullopt;
    }
    std::vector<std::string> pages;
    ForEachRow(db_, "SELECT address FROM sitemap_pages WHERE sitemap = ?", {sitemap},
               [&](sqlite3_stmt* s) { pages.push_back(Column(s, 0)); });
    return pages;
}

std::string History::MarkRemoved(const std::vector<RemovedPage>& pages) {
    return WriteRows("INSERT OR IGNORE INTO removed_pages(address, site, since) VALUES(?,?,?)",
                     pages, [](sqlite3_stmt* s, const RemovedPage& page) {
                         Bind(s, 1, page.address);
                         Bind(s, 2, page.site);
                         sqlite3_bind_int64(s, 3, page.since);
                     });
}

std::string History::ForgetRemoved(const std::vector<std::string>& addresses) {
    return WriteRows("DELETE FROM removed_pages WHERE address = ?", addresses,
                     [](sqlite3_stmt* s, const std::string& address) { Bind(s, 1, address); });
}

std::string History::ForgetSite(const std::string& site) {
    // A sitemap another site remembers too keeps its pages for that one.
    static constexpr const char* kForget[] = {
        "DELETE FROM sitemap_pages WHERE sitemap IN (SELECT sitemap FROM sitemaps WHERE site = ?1)"
        " AND sitemap NOT IN (SELECT sitemap FROM sitemaps WHERE site <> ?1)",
        "DELETE FROM sitemaps_kept WHERE sitemap IN (SELECT sitemap FROM sitemaps WHERE site = ?1)"
        " AND sitemap NOT IN (SELECT sitemap FROM sitemaps WHERE site <> ?1)",
        "DELETE FROM removed_pages WHERE site = ?1",
        "DELETE FROM lastmod_trust WHERE site = ?1",
        "DELETE FROM sitemaps WHERE site = ?1",
    };
    return InTransaction([&] {
        return std::all_of(std::begin(kForget), std::end(kForget), [&](const char* sql) {
            const Statement forget = Prepare(db_, sql);
            if (!forget) {
                return false;
            }
            Bind(forget.get(), 1, site);
            return StepOnce(forget.get());
        });
    });
}

std::vector<RemovedPage> History::RemovedPages() {
    std::vector<RemovedPage> pages;
    if (Closed()) {
        return pages;
    }
    ForEachRow(db_, "SELECT address, site, since FROM removed_pages ORDER BY site, address", {},
               [&](sqlite3_stmt* s) {
                   pages.push_back({.address = Column(s, 0),
                                    .site = Column(s, 1),
                                    .since = sqlite3_column_int64(s, 2)});
               });
    return pages;
}

std::string History::RecordAnnouncerRun(const AnnouncerRun& run) {
    return WriteRows(
        "INSERT INTO announcer_runs(time, scheduled, announced, refused, left_out, exit_status,"
        " result) VALUES(?,?,?,?,?,?,?)",
        std::vector{run}, [](sqlite3_stmt* s, const AnnouncerRun& row) {
            sqlite3_bind_int64(s, 1, row.time);
            sqlite3_bind_int(s, 2, row.scheduled ? 1 : 0);
            sqlite3_bind_int64(s, 3, row.announced);
            sqlite3_bind_int64(s, 4, row.refused);
            sqlite3_bind_int64(s, 5, row.leftOut);
            sqlite3_bind_int(s, 6, row.exitStatus);
            Bind(s, 7, row.result);
        });
}

std::vector<AnnouncerRun> History::AnnouncerRuns(int count) {
    std::vector<AnnouncerRun> runs;
    if (Closed()) {
        return runs;
    }
    ForEachRow(db_,
               "SELECT time, scheduled, announced, refused, left_out, exit_status, result"
               " FROM announcer_runs ORDER BY time DESC, rowid DESC LIMIT ?",
               {std::to_string(count)}, [&](sqlite3_stmt* s) {
                   runs.push_back({.time = sqlite3_column_int64(s, 0),
                                   .scheduled = sqlite3_column_int(s, 1) != 0,
                                   .announced = sqlite3_column_int64(s, 2),
                                   .refused = sqlite3_column_int64(s, 3),
                                   .leftOut = sqlite3_column_int64(s, 4),
                                   .exitStatus = sqlite3_column_int(s, 5),
                                   .result = Column(s, 6)});
               });
    return runs;
}

std::optional<AnnouncerRun> History::TakeUntoldFailure() {
    if (Closed()) {
        return std::nullopt;
    }
    std::optional<AnnouncerRun> failed;
    ForEachRow(db_,
               "SELECT time, announced, refused, left_out, exit_status, result FROM announcer_runs"
               " WHERE scheduled AND NOT told ORDER BY time DESC, rowid DESC LIMIT 1",
               {}, [&](sqlite3_stmt* s) {
                   if (sqlite3_column_int(s, 4) != 0) {
                       failed = AnnouncerRun{.time = sqlite3_column_int64(s, 0),
                                             .scheduled = true,
                                             .announced = sqlite3_column_int64(s, 1),
                                             .refused = sqlite3_column_int64(s, 2),
                                             .leftOut = sqlite3_column_int64(s, 3),
                                             .exitStatus = sqlite3_column_int(s, 4),
                                             .result = Column(s, 5)};
                   }
               });
    Exec("UPDATE announcer_runs SET told = 1 WHERE scheduled AND NOT told");
    return failed;
}

}  // namespace quaymark
