// What the channels of the engines' own APIs keep: each site's quota as the engine told it, the
// engine's own figures by day, and the pages waiting for the quota.
#include <sqlite3.h>

#include "storage/history.h"
#include "storage/history_rows.h"
#include "storage/sqlite_statement.h"

namespace quaymark {

using sqlite::Bind;
using sqlite::Column;
using sqlite::ForEachRow;

namespace {

std::optional<int> OptionalInt(sqlite3_stmt* s, int column) {
    return sqlite3_column_type(s, column) == SQLITE_NULL
               ? std::nullopt
               : std::optional(sqlite3_column_int(s, column));
}

void BindOptional(sqlite3_stmt* s, int index, std::optional<int> value) {
    if (value) {
        sqlite3_bind_int(s, index, *value);
    } else {
        sqlite3_bind_null(s, index);
    }
}

QuotaReading ReadingOf(sqlite3_stmt* s) {
    return {.channel = Column(s, 0),
            .site = Column(s, 1),
            .at = sqlite3_column_int64(s, 2),
            .dailyLeft = sqlite3_column_int(s, 3),
            .dailyQuota = OptionalInt(s, 4),
            .monthlyLeft = OptionalInt(s, 5)};
}

constexpr const char* kReadingColumns =
    "SELECT channel, site, at, daily_left, daily_quota, monthly_left FROM channel_quotas";

}  // namespace

std::vector<QuotaReading> History::LastQuotas(const std::string& channel) {
    std::vector<QuotaReading> readings;
    if (!Closed()) {
        // SQLite takes the other columns from the row whose max() it is.
        ForEachRow(db_,
                   "SELECT channel, site, max(at), daily_left, daily_quota, monthly_left"
                   " FROM channel_quotas WHERE channel = ? GROUP BY site",
                   {channel}, [&](sqlite3_stmt* s) { readings.push_back(ReadingOf(s)); });
    }
    return readings;
}

std::vector<QuotaReading> History::QuotaReadings(const std::string& site, std::int64_t since) {
    std::vector<QuotaReading> readings;
    if (!Closed()) {
        const std::string sql = std::string(kReadingColumns) +
                                " WHERE site = ? AND at >= ?"
                                " ORDER BY at";
        ForEachRow(db_, sql.c_str(), {site, std::to_string(since)},
                   [&](sqlite3_stmt* s) { readings.push_back(ReadingOf(s)); });
    }
    return readings;
}

std::vector<EngineDay> History::EngineDays(const std::string& site, std::int64_t sinceDay) {
    std::vector<EngineDay> days;
    if (!Closed()) {
        ForEachRow(db_,
                   "SELECT channel, site, day, series, count FROM engine_days"
                   " WHERE site = ? AND day >= ? ORDER BY day",
                   {site, std::to_string(sinceDay)}, [&](sqlite3_stmt* s) {
                       days.push_back({.channel = Column(s, 0),
                                       .site = Column(s, 1),
                                       .day = sqlite3_column_int64(s, 2),
                                       .series = Column(s, 3),
                                       .count = sqlite3_column_int64(s, 4)});
                   });
    }
    return days;
}

std::vector<std::string> History::ChannelPending(const std::string& channel) {
    std::vector<std::string> pages;
    if (!Closed()) {
        ForEachRow(db_, "SELECT address FROM channel_pending WHERE channel = ?", {channel},
                   [&](sqlite3_stmt* s) { pages.push_back(Column(s, 0)); });
    }
    return pages;
}

std::string History::KeepQuotaRun(const QuotaKept& kept) {
    return InTransaction([&] {
        const sqlite::Statement quota = sqlite::Prepare(
            db_,
            "INSERT INTO channel_quotas(channel, site, at, daily_left, daily_quota, monthly_left)"
            " VALUES(?,?,?,?,?,?)");
        const sqlite::Statement day =
            sqlite::Prepare(db_,
                            "INSERT OR REPLACE INTO engine_days(channel, site, day, series, count)"
                            " VALUES(?,?,?,?,?)");
        const sqlite::Statement wait = sqlite::Prepare(
            db_, "INSERT OR IGNORE INTO channel_pending(channel, address) VALUES(?,?)");
        const sqlite::Statement settle =
            sqlite::Prepare(db_, "DELETE FROM channel_pending WHERE channel = ? AND address = ?");
        if (!quota || !day || !wait || !settle) {
            return false;
        }
        for (const QuotaReading& r : kept.quotas) {
            Bind(quota.get(), 1, r.channel);
            Bind(quota.get(), 2, r.site);
            sqlite3_bind_int64(quota.get(), 3, r.at);
            sqlite3_bind_int(quota.get(), 4, r.dailyLeft);
            BindOptional(quota.get(), 5, r.dailyQuota);
            BindOptional(quota.get(), 6, r.monthlyLeft);
            if (!StepOnce(quota.get())) {
                return false;
            }
        }
        for (const EngineDay& d : kept.days) {
            Bind(day.get(), 1, d.channel);
            Bind(day.get(), 2, d.site);
            sqlite3_bind_int64(day.get(), 3, d.day);
            Bind(day.get(), 4, d.series);
            sqlite3_bind_int64(day.get(), 5, d.count);
            if (!StepOnce(day.get())) {
                return false;
            }
        }
        // Settled first: a page both waits and settles only when a later batch failed it.
        for (const auto& [statement, pages] :
             {std::pair(settle.get(), &kept.settled), std::pair(wait.get(), &kept.waiting)}) {
            for (const std::string& page : *pages) {
                Bind(statement, 1, kept.channel);
                Bind(statement, 2, page);
                if (!StepOnce(statement)) {
                    return false;
                }
            }
        }
        return true;
    });
}

}  // namespace quaymark
