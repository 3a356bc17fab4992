#include <sqlite3.h>

#include "storage/history.h"
#include "storage/history_rows.h"

// What the sites' access logs told of the engines' robots, and each page's way from announced
// to crawled to indexed.
namespace quaymark {

using sqlite::Bind;
using sqlite::Column;
using sqlite::ForEachRow;

namespace {

// The addresses of a site's pages run from its root ("https://host/") to just before the root
// with its last character raised: an index's range, not a pattern.
std::string SiteEnd(const std::string& site) {
    std::string end = site;
    if (!end.empty()) {
        end.back() = static_cast<char>(end.back() + 1);
    }
    return end;
}

// Counts by day, as the query gives them: who, day and the two counts.
std::vector<DayCounts> DayRows(sqlite3* db, const char* sql,
                               std::initializer_list<std::string> parameters) {
    std::vector<DayCounts> days;
    ForEachRow(db, sql, parameters, [&](sqlite3_stmt* s) {
        days.push_back({.who = Column(s, 0),
                        .day = sqlite3_column_int64(s, 1),
                        .first = sqlite3_column_int64(s, 2),
                        .second = sqlite3_column_int64(s, 3)});
    });
    return days;
}

}  // namespace

std::vector<SiteLog> History::SiteLogs() {
    std::vector<SiteLog> logs;
    if (Closed()) {
        return logs;
    }
    ForEachRow(db_,
               "SELECT site, path, device, inode, offset, read_at FROM site_logs"
               " ORDER BY site, path",
               {}, [&](sqlite3_stmt* s) {
                   logs.push_back({.site = Column(s, 0),
                                   .path = Column(s, 1),
                                   .device = static_cast<std::uint64_t>(sqlite3_column_int64(s, 2)),
                                   .inode = static_cast<std::uint64_t>(sqlite3_column_int64(s, 3)),
                                   .offset = static_cast<std::uint64_t>(sqlite3_column_int64(s, 4)),
                                   .readAt = sqlite3_column_int64(s, 5)});
               });
    return logs;
}

std::string History::AddSiteLog(const std::string& site, const std::string& path) {
    return WriteRows("INSERT OR IGNORE INTO site_logs(site, path) VALUES(?,?)",
                     std::vector<std::string>{path}, [&](sqlite3_stmt* s, const std::string& p) {
                         Bind(s, 1, site);
                         Bind(s, 2, p);
                     });
}

std::string History::RemoveSiteLog(const std::string& site, const std::string& path) {
    return WriteRows("DELETE FROM site_logs WHERE site = ? AND path = ?",
                     std::vector<std::string>{path}, [&](sqlite3_stmt* s, const std::string& p) {
                         Bind(s, 1, site);
                         Bind(s, 2, p);
                     });
}

std::string History::KeepLogRead(const SiteLog& log, const std::vector<CrawlVisit>& visits) {
    return InTransaction([&] {
        const sqlite::Statement cursor = sqlite::Prepare(
            db_,
            "UPDATE site_logs SET device = ?3, inode = ?4, offset = ?5, read_at = ?6"
            " WHERE site = ?1 AND path = ?2");
        const sqlite::Statement visit = sqlite::Prepare(
            db_,
            "INSERT INTO robot_visits(site, address, engine, time, status, verified)"
            " VALUES(?,?,?,?,?,?)");
        if (!cursor || !visit) {
            return false;
        }
        for (const CrawlVisit& v : visits) {
            Bind(visit.get(), 1, v.site);
            Bind(visit.get(), 2, v.address);
            Bind(visit.get(), 3, v.engine);
            sqlite3_bind_int64(visit.get(), 4, v.time);
            sqlite3_bind_int(visit.get(), 5, v.status);
            sqlite3_bind_int(visit.get(), 6, static_cast<int>(v.check));
            if (!StepOnce(visit.get())) {
                return false;
            }
        }
        Bind(cursor.get(), 1, log.site);
        Bind(cursor.get(), 2, log.path);
        sqlite3_bind_int64(cursor.get(), 3, static_cast<std::int64_t>(log.device));
        sqlite3_bind_int64(cursor.get(), 4, static_cast<std::int64_t>(log.inode));
        sqlite3_bind_int64(cursor.get(), 5, static_cast<std::int64_t>(log.offset));
        sqlite3_bind_int64(cursor.get(), 6, log.readAt);
        return sqlite3_step(cursor.get()) == SQLITE_DONE;
    });
}

std::unordered_map<std::string, RobotAddress> History::RobotAddresses(std::int64_t since) {
    std::unordered_map<std::string, RobotAddress> known;
    if (Closed()) {
        return known;
    }
    ForEachRow(db_,
               "SELECT address, engine, verified, checked_at FROM robot_addresses"
               " WHERE checked_at >= ?",
               {std::to_string(since)}, [&](sqlite3_stmt* s) {
                   std::string address = Column(s, 0);
                   known.emplace(
                       address,
                       RobotAddress{.address = address,
                                    .engine = Column(s, 1),
                                    .check = static_cast<VisitCheck>(sqlite3_column_int(s, 2)),
                                    .checkedAt = sqlite3_column_int64(s, 3)});
               });
    return known;
}

std::string History::KeepRobotAddresses(const std::vector<RobotAddress>& addresses,
                                        std::int64_t forgetBefore) {
    const std::string forgotten = WriteRows(
        "DELETE FROM robot_addresses WHERE checked_at < ?", std::vector<std::int64_t>{forgetBefore},
        [](sqlite3_stmt* s, std::int64_t before) { sqlite3_bind_int64(s, 1, before); });
    if (!forgotten.empty()) {
        return forgotten;
    }
    return WriteRows(
        "INSERT OR REPLACE INTO robot_addresses(address, engine, verified, checked_at)"
        " VALUES(?,?,?,?)",
        addresses, [](sqlite3_stmt* s, const RobotAddress& a) {
            Bind(s, 1, a.address);
            Bind(s, 2, a.engine);
            sqlite3_bind_int(s, 3, static_cast<int>(a.check));
            sqlite3_bind_int64(s, 4, a.checkedAt);
        });
}

std::vector<PageEvent> History::PageTimeline(const std::string& address) {
    std::vector<PageEvent> events;
    if (Closed()) {
        return events;
    }
    using Kind = PageEvent::Kind;
    ForEachRow(db_,
               "SELECT 0, time, channel, verdict || CASE WHEN reason = '' THEN '' ELSE"
               "  ': ' || reason END, accepted FROM requests WHERE address = ?1"
               " UNION ALL SELECT 1, time, engine, status, status < 400 FROM robot_visits"
               "  WHERE site = substr(?1, 1, instr(substr(?1, 9), '/') + 8) AND address = ?1"
               "  AND verified = 1"
               " UNION ALL SELECT 2, inspected_at, 'Google', verdict || CASE WHEN coverage = ''"
               "  THEN '' ELSE ': ' || coverage END || CASE WHEN last_crawl = '' THEN '' ELSE"
               "  '; last crawl ' || last_crawl END, verdict = 'PASS'"
               "  FROM google_inspection_series WHERE address = ?1"
               " ORDER BY 2, 1",
               {address}, [&](sqlite3_stmt* s) {
                   events.push_back({.kind = static_cast<Kind>(sqlite3_column_int(s, 0)),
                                     .time = sqlite3_column_int64(s, 1),
                                     .who = Column(s, 2),
                                     .what = Column(s, 3),
                                     .good = sqlite3_column_int(s, 4) != 0});
               });
    return events;
}

std::vector<DayCounts> History::SentByDay(const std::string& site, std::int64_t since) {
    return Closed() ? std::vector<DayCounts>{}
                    : DayRows(db_,
                              "SELECT channel, day, sent, accepted FROM requests_by_day"
                              " WHERE site = ?1 AND day >= ?2 / 86400 ORDER BY channel, day",
                              {site, std::to_string(since)});
}

std::vector<DayCounts> History::VisitsByDay(const std::string& site, std::int64_t since) {
    return Closed() ? std::vector<DayCounts>{}
                    : DayRows(db_,
                              "SELECT engine, day, verified, false_robots FROM visits_by_day"
                              " WHERE site = ?1 AND day >= ?2 / 86400 ORDER BY engine, day",
                              {site, std::to_string(since)});
}

std::vector<DayCounts> History::GoogleByDay(const std::string& site) {
    return Closed() ? std::vector<DayCounts>{}
                    : DayRows(db_,
                              "SELECT '', day, indexed, not_indexed FROM google_by_day"
                              " WHERE site = ?1 ORDER BY day",
                              {site});
}

void History::ForEachAnnouncedCrawl(
    const std::string& site, std::int64_t since,
    const std::function<void(const std::string& address, const std::string& channel,
                             std::int64_t accepted, const std::string& engine,
                             std::int64_t crawled)>& each) {
    if (Closed()) {
        return;
    }
    // Two scans in address order, joined here: a join in SQL would look each page up again.
    const sqlite::Statement accepted = sqlite::Prepare(
        db_,
        "SELECT address, channel, last_accepted FROM summary"
        " WHERE address >= ?1 AND address < ?2 AND last_accepted >= ?3 ORDER BY address");
    const sqlite::Statement visits =
        sqlite::Prepare(db_,
                        "SELECT address, engine, time FROM robot_visits"
                        " WHERE site = ?1 AND verified = 1 AND time >= ?2 ORDER BY address, time");
    if (!accepted || !visits) {
        return;
    }
    Bind(accepted.get(), 1, site);
    Bind(accepted.get(), 2, SiteEnd(site));
    sqlite3_bind_int64(accepted.get(), 3, since);
    Bind(visits.get(), 1, site);
    sqlite3_bind_int64(visits.get(), 2, since);
    bool visitRow = sqlite3_step(visits.get()) == SQLITE_ROW;
    std::string page;
    // The page's verified visits, oldest first.
    std::vector<std::pair<std::string, std::int64_t>> fetched;
    while (sqlite3_step(accepted.get()) == SQLITE_ROW) {
        const std::string address = Column(accepted.get(), 0);
        if (address != page) {
            page = address;
            fetched.clear();
            while (visitRow && Column(visits.get(), 0) < page) {
                visitRow = sqlite3_step(visits.get()) == SQLITE_ROW;
            }
            while (visitRow && Column(visits.get(), 0) == page) {
                fetched.emplace_back(Column(visits.get(), 1),
                                     sqlite3_column_int64(visits.get(), 2));
                visitRow = sqlite3_step(visits.get()) == SQLITE_ROW;
            }
        }
        const std::string channel = Column(accepted.get(), 1);
        const std::int64_t at = sqlite3_column_int64(accepted.get(), 2);
        std::map<std::string, std::int64_t> first;
        for (const auto& [engine, time] : fetched) {
            if (time >= at) {
                first.emplace(engine, time);
            }
        }
        if (first.empty()) {
            each(page, channel, at, {}, 0);
        }
        for (const auto& [engine, time] : first) {
            each(page, channel, at, engine, time);
        }
    }
}

std::unordered_map<std::string, std::map<std::string, std::int64_t>> History::LastCrawls() {
    std::unordered_map<std::string, std::map<std::string, std::int64_t>> crawls;
    if (Closed()) {
        return crawls;
    }
    ForEachRow(db_,
               "SELECT address, engine, max(time) FROM robot_visits WHERE verified = 1"
               " GROUP BY address, engine",
               {}, [&](sqlite3_stmt* s) {
                   crawls[Column(s, 0)][Column(s, 1)] = sqlite3_column_int64(s, 2);
               });
    return crawls;
}

std::int64_t History::LastAcceptance(const std::string& site) {
    std::int64_t last = 0;
    if (Closed()) {
        return last;
    }
    ForEachRow(db_, "SELECT max(last_accepted) FROM summary WHERE address >= ?1 AND address < ?2",
               {site, SiteEnd(site)}, [&](sqlite3_stmt* s) { last = sqlite3_column_int64(s, 0); });
    return last;
}

}  // namespace quaymark
