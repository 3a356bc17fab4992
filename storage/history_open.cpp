#include "storage/history.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <system_error>
#include <utility>

#include "storage/sqlite_statement.h"

namespace quaymark {
namespace {

using sqlite::Column;
using sqlite::ForEachRow;
using sqlite::Integer;

// A failure newer than the one kept (or the first).
#define NEWER_FAILURE                                                \
    "excluded.failure_time IS NOT NULL AND (failure_time IS NULL OR" \
    " excluded.failure_time >= failure_time)"

constexpr int kBusyTimeoutMilliseconds = 5000;
// A damaged database is left alone; so many new ones beside it are tried in turn.
constexpr int kCandidates = 10;

// Whether IndexNow has a page still to announce by the rule of new or changed: never
// accepted, or its lastmod or its text changed since its last acceptance. The pages of
// sitemaps that answered unchanged are decided over these few rows, never loaded.
#define DUE(page)                                                                            \
    "NOT EXISTS (SELECT 1 FROM summary AS s WHERE s.address = " page                         \
    " AND s.channel = 'IndexNow' AND s.last_accepted >= coalesce((SELECT lastmod FROM pages" \
    " WHERE address = " page                                                                 \
    "), 0) AND s.last_accepted >= coalesce((SELECT text_changed_at"                          \
    " FROM page_checks WHERE address = " page "), 0))"

// The tables of the first version; a file holding exactly these is an earlier history of ours.
constexpr const char* kRequestsTable =
    "CREATE TABLE IF NOT EXISTS requests("
    " time INTEGER NOT NULL, channel TEXT NOT NULL, address TEXT NOT NULL,"
    " request TEXT NOT NULL, verdict TEXT NOT NULL, reason TEXT NOT NULL,"
    " accepted INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS requests_by_address ON requests(address, channel, time);"
    "CREATE TABLE IF NOT EXISTS pages(address TEXT PRIMARY KEY, lastmod INTEGER NOT NULL)"
    " WITHOUT ROWID;";

// What the history keeps of each site: the sitemaps its imports read whole with their
// answers' validators, the pages each sitemap gave (and which sitemaps had them kept, an
// index or an empty one giving none), the pages that left every sitemap, the
// announcer's runs, the last check of each page, whether each site's lastmods are trusted,
// and what Google said of each page and when each sitemap was last submitted to it, every
// inspection sent within the last days (Google's quota counts them all) and the pages Google
// has still to inspect.
// Tables that earlier histories of ours lack and readers of them pass over: they are added where
// missing.
constexpr const char* kSitesTables =
    "CREATE TABLE IF NOT EXISTS sitemaps("
    " site TEXT NOT NULL, sitemap TEXT NOT NULL, etag TEXT NOT NULL,"
    " last_modified TEXT NOT NULL, read_at INTEGER NOT NULL, PRIMARY KEY(site, sitemap))"
    " WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS sitemap_pages("
    " sitemap TEXT NOT NULL, address TEXT NOT NULL, PRIMARY KEY(sitemap, address))"
    " WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS sitemaps_kept(sitemap TEXT PRIMARY KEY) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS removed_pages("
    " address TEXT PRIMARY KEY, site TEXT NOT NULL, since INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS announcer_runs("
    " time INTEGER NOT NULL, scheduled INTEGER NOT NULL, announced INTEGER NOT NULL,"
    " refused INTEGER NOT NULL, left_out INTEGER NOT NULL, exit_status INTEGER NOT NULL,"
    " result TEXT NOT NULL, told INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS page_checks("
    " address TEXT PRIMARY KEY, verdict TEXT NOT NULL, detail TEXT NOT NULL,"
    " etag TEXT NOT NULL, last_modified TEXT NOT NULL, fingerprint INTEGER, lastmod INTEGER,"
    " text_changed_at INTEGER, checked_at INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS lastmod_trust("
    " site TEXT PRIMARY KEY, trusted INTEGER NOT NULL, reason TEXT NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS google_inspections("
    " address TEXT PRIMARY KEY, property TEXT NOT NULL, verdict TEXT NOT NULL,"
    " coverage TEXT NOT NULL, last_crawl TEXT NOT NULL, canonical TEXT NOT NULL,"
    " inspected_at INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS google_inspections_by_property"
    " ON google_inspections(property, inspected_at);"
    "CREATE TABLE IF NOT EXISTS google_sitemaps("
    " sitemap TEXT PRIMARY KEY, submitted_at INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS google_unmatched(site TEXT PRIMARY KEY) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS google_sent(property TEXT NOT NULL, sent_at INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS google_sent_by_property ON google_sent(property, sent_at);"
    "CREATE TABLE IF NOT EXISTS google_pending(address TEXT PRIMARY KEY) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS summary_by_acceptance ON summary(channel, last_accepted);"
    "CREATE TABLE IF NOT EXISTS indexnow_due(address TEXT PRIMARY KEY) WITHOUT ROWID;"
    "CREATE TRIGGER IF NOT EXISTS due_when_named AFTER INSERT ON sitemap_pages BEGIN"
    " INSERT OR IGNORE INTO indexnow_due SELECT NEW.address WHERE " DUE("NEW.address") "; END;"
    "CREATE TRIGGER IF NOT EXISTS due_when_lastmod AFTER INSERT ON pages BEGIN"
    " INSERT OR IGNORE INTO indexnow_due SELECT NEW.address WHERE " DUE("NEW.address") "; END;"
    "CREATE TRIGGER IF NOT EXISTS due_when_lastmod_moves AFTER UPDATE OF lastmod ON pages BEGIN"
    " INSERT OR IGNORE INTO indexnow_due SELECT NEW.address WHERE " DUE("NEW.address") "; END;"
    "CREATE TRIGGER IF NOT EXISTS due_when_text AFTER INSERT ON page_checks BEGIN"
    " INSERT OR IGNORE INTO indexnow_due SELECT NEW.address WHERE " DUE("NEW.address") "; END;"
    "CREATE TRIGGER IF NOT EXISTS due_until_accepted AFTER INSERT ON summary"
    " WHEN NEW.channel = 'IndexNow' BEGIN"
    " DELETE FROM indexnow_due WHERE address = NEW.address AND NOT " DUE("NEW.address") "; END;"
    "CREATE TRIGGER IF NOT EXISTS due_until_accepted_again AFTER UPDATE OF last_accepted"
    " ON summary WHEN NEW.channel = 'IndexNow' BEGIN"
    " DELETE FROM indexnow_due WHERE address = NEW.address AND NOT " DUE("NEW.address") "; END;";

// What the sites' access logs told: the logs read for each site and where each read stopped;
// the requests of its pages by robots, with whether their addresses were the engines' (never
// the addresses themselves); those addresses' lookups for some days; every inspection of Google
// as a series; and the requests sent per site, channel and day, kept with every row.
#define SITE_OF(address) "substr(" address ", 1, instr(substr(" address ", 9), '/') + 8)"
#define ADD_DAY \
    "indexed = indexed + excluded.indexed, not_indexed = not_indexed + excluded.not_indexed"
constexpr const char* kCrawlTables =
    "CREATE TABLE IF NOT EXISTS site_logs("
    " site TEXT NOT NULL, path TEXT NOT NULL, device INTEGER NOT NULL DEFAULT 0,"
    " inode INTEGER NOT NULL DEFAULT 0, offset INTEGER NOT NULL DEFAULT 0,"
    " read_at INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(site, path)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS robot_visits("
    " site TEXT NOT NULL, address TEXT NOT NULL, engine TEXT NOT NULL, time INTEGER NOT NULL,"
    " status INTEGER NOT NULL, verified INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS robot_visits_by_page"
    " ON robot_visits(site, verified, address, time, engine, status);"
    "CREATE TABLE IF NOT EXISTS visits_by_day("
    " site TEXT NOT NULL, engine TEXT NOT NULL, day INTEGER NOT NULL, verified INTEGER NOT NULL,"
    " false_robots INTEGER NOT NULL, PRIMARY KEY(site, day, engine)) WITHOUT ROWID;"
    "CREATE TRIGGER IF NOT EXISTS visits_counted_by_day AFTER INSERT ON robot_visits BEGIN"
    " INSERT INTO visits_by_day VALUES(NEW.site, NEW.engine, NEW.time / 86400,"
    "  NEW.verified = 1, NEW.verified = 0) ON CONFLICT DO UPDATE SET"
    "  verified = verified + excluded.verified,"
    "  false_robots = false_robots + excluded.false_robots; END;"
    "CREATE TABLE IF NOT EXISTS robot_addresses("
    " address TEXT PRIMARY KEY, engine TEXT NOT NULL, verified INTEGER NOT NULL,"
    " checked_at INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS google_inspection_series("
    " address TEXT NOT NULL, verdict TEXT NOT NULL, coverage TEXT NOT NULL,"
    " last_crawl TEXT NOT NULL, inspected_at INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS google_series_by_address"
    " ON google_inspection_series(address, inspected_at);"
    "CREATE TRIGGER IF NOT EXISTS inspection_in_series AFTER INSERT ON google_inspections BEGIN"
    " INSERT INTO google_inspection_series VALUES(NEW.address, NEW.verdict, NEW.coverage,"
    "  NEW.last_crawl, NEW.inspected_at);"
    " INSERT INTO google_by_day VALUES(" SITE_OF("NEW.address") ", NEW.inspected_at / 86400,"
    "  NEW.verdict = 'PASS', NEW.verdict != 'PASS') ON CONFLICT DO UPDATE SET " ADD_DAY "; END;"
    // A page's earlier state ends the day its new inspection came.
    "CREATE TRIGGER IF NOT EXISTS inspection_ends_state BEFORE INSERT ON google_inspections BEGIN"
    " INSERT INTO google_by_day SELECT " SITE_OF("o.address") ", NEW.inspected_at / 86400,"
    "  -(o.verdict = 'PASS'), -(o.verdict != 'PASS') FROM google_inspections AS o"
    "  WHERE o.address = NEW.address ON CONFLICT DO UPDATE SET " ADD_DAY "; END;"
    // How many pages entered (or left) Google's index, and the rest, on each day.
    "CREATE TABLE IF NOT EXISTS google_by_day("
    " site TEXT NOT NULL, day INTEGER NOT NULL, indexed INTEGER NOT NULL,"
    " not_indexed INTEGER NOT NULL, PRIMARY KEY(site, day)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS requests_by_day("
    " site TEXT NOT NULL, channel TEXT NOT NULL, day INTEGER NOT NULL, sent INTEGER NOT NULL,"
    " accepted INTEGER NOT NULL, PRIMARY KEY(site, day, channel)) WITHOUT ROWID;"
    "CREATE TRIGGER IF NOT EXISTS requests_counted_by_day AFTER INSERT ON requests BEGIN"
    " INSERT INTO requests_by_day VALUES(" SITE_OF("NEW.address") ", NEW.channel,"
    "  NEW.time / 86400, 1, NEW.accepted != 0)"
    " ON CONFLICT DO UPDATE SET sent = sent + 1, accepted = accepted + excluded.accepted; END;";

// The engines' own channels: every quota told, the engines' figures by day, the pages waiting;
// and the gate's key checks.
constexpr const char* kQuotaTables =
    "CREATE TABLE IF NOT EXISTS channel_quotas("
    " channel TEXT NOT NULL, site TEXT NOT NULL, at INTEGER NOT NULL,"
    " daily_left INTEGER NOT NULL, daily_quota INTEGER, monthly_left INTEGER);"
    "CREATE INDEX IF NOT EXISTS channel_quotas_by_site ON channel_quotas(site, at);"
    "CREATE INDEX IF NOT EXISTS channel_quotas_by_channel ON channel_quotas(channel, site, at);"
    "CREATE TABLE IF NOT EXISTS engine_days("
    " channel TEXT NOT NULL, site TEXT NOT NULL, day INTEGER NOT NULL, series TEXT NOT NULL,"
    " count INTEGER NOT NULL, PRIMARY KEY(site, day, channel, series)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS channel_pending("
    " channel TEXT NOT NULL, address TEXT NOT NULL, PRIMARY KEY(channel, address))"
    " WITHOUT ROWID;"
    // The gate's last check of each host's IndexNow key.
    "CREATE TABLE IF NOT EXISTS key_checks("
    " host TEXT PRIMARY KEY, key TEXT NOT NULL, checked_at INTEGER NOT NULL,"
    " served INTEGER NOT NULL, words TEXT NOT NULL) WITHOUT ROWID;";

// A history from before them learns the series and the days from what it holds.
constexpr const char* kCrawlFromRows =
    "INSERT INTO google_inspection_series SELECT address, verdict, coverage, last_crawl,"
    " inspected_at FROM google_inspections;"
    "INSERT INTO requests_by_day SELECT " SITE_OF("address") ", channel, time / 86400,"
    " count(*), sum(accepted != 0) FROM requests GROUP BY 1, 2, 3;"
    "INSERT INTO google_by_day SELECT " SITE_OF("address") ", inspected_at / 86400,"
    " sum(verdict = 'PASS'), sum(verdict != 'PASS') FROM google_inspections GROUP BY 1, 2;";
#undef SITE_OF
#undef ADD_DAY

// A history that had no such table yet learns what is due from what it holds.
constexpr const char* kDueFromRows =
    "INSERT OR IGNORE INTO indexnow_due SELECT DISTINCT address FROM sitemap_pages AS n"
    " WHERE " DUE("n.address") ";";

// What each address had from each channel: the last request, the last acceptance and the
// last failure. The trigger keeps it with every row, whoever writes the row.
constexpr const char* kSummaryTable =
    "CREATE TABLE summary("
    " address TEXT NOT NULL, channel TEXT NOT NULL, last_sent INTEGER NOT NULL,"
    " last_accepted INTEGER, failure_time INTEGER, failure_request TEXT,"
    " failure_verdict TEXT, failure_reason TEXT, PRIMARY KEY(address, channel)) WITHOUT ROWID;"
    "CREATE TRIGGER requests_summary AFTER INSERT ON requests BEGIN"
    " INSERT INTO summary VALUES(NEW.address, NEW.channel, NEW.time,"
    "  CASE WHEN NEW.accepted THEN NEW.time END,"
    "  CASE WHEN NEW.accepted THEN NULL ELSE NEW.time END,"
    "  CASE WHEN NEW.accepted THEN NULL ELSE NEW.request END,"
    "  CASE WHEN NEW.accepted THEN NULL ELSE NEW.verdict END,"
    "  CASE WHEN NEW.accepted THEN NULL ELSE NEW.reason END)"
    " ON CONFLICT(address, channel) DO UPDATE SET"
    "  last_sent = max(last_sent, excluded.last_sent),"
    "  last_accepted = coalesce(max(last_accepted, excluded.last_accepted), last_accepted,"
    "   excluded.last_accepted),"
    "  failure_time = CASE WHEN " NEWER_FAILURE
    " THEN excluded.failure_time ELSE failure_time END,"
    "  failure_request = CASE WHEN " NEWER_FAILURE
    "   THEN excluded.failure_request ELSE failure_request END,"
    "  failure_verdict = CASE WHEN " NEWER_FAILURE
    "   THEN excluded.failure_verdict ELSE failure_verdict END,"
    "  failure_reason = CASE WHEN " NEWER_FAILURE
    "   THEN excluded.failure_reason ELSE failure_reason END;"
    "END;";

#undef NEWER_FAILURE
#undef DUE

// An earlier history's summary, made from its rows: the last failure of each address and
// channel is the row with the latest time, whose other columns SQLite takes with MAX.
constexpr const char* kSummaryFromRows =
    "INSERT INTO summary(address, channel, last_sent, last_accepted)"
    " SELECT address, channel, MAX(time), MAX(CASE WHEN accepted THEN time END)"
    " FROM requests GROUP BY address, channel;"
    "UPDATE summary SET failure_time = f.time, failure_request = f.request,"
    " failure_verdict = f.verdict, failure_reason = f.reason"
    " FROM (SELECT address, channel, request, verdict, reason, MAX(time) AS time FROM requests"
    "  WHERE NOT accepted GROUP BY address, channel) AS f"
    " WHERE summary.address = f.address AND summary.channel = f.channel;";

bool Damaged(int code) {
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

std::filesystem::path Candidate(const std::filesystem::path& path, int n) {
    if (n == 1) {
        return path;
    }
    return path.parent_path() /
           (path.stem().string() + "-" + std::to_string(n) + path.extension().string());
}

// The file is made the user's alone before SQLite sees it; one that is there keeps its mode.
std::error_code MakePrivateFile(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return {};
    }
    if (errno == EEXIST) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
            return std::make_error_code(std::errc::not_supported);
        }
        return {};
    }
    return {errno, std::generic_category()};
}

// What an existing file is, as seen through a read-only look that writes nothing.
enum class Found { Ours, Earlier, Fresh, Foreign, Newer, Damaged, Unreadable };

struct Look {
    Found found = Found::Unreadable;
    std::string reason;
};

// A file URI for SQLite: every byte but the plainest is percent-encoded.
std::string FileUri(const std::filesystem::path& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const char c : path.string()) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 || std::strchr("/-._~", c) != nullptr) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0x0F];
        }
    }
    return uri;
}

std::vector<std::string> Shape(sqlite3* db) {
    std::vector<std::string> shape;
    ForEachRow(db, "SELECT type, name FROM sqlite_schema ORDER BY type, name", {},
               [&](sqlite3_stmt* s) {
                   std::string entry = Column(s, 0) + " " + Column(s, 1) + ":";
                   ForEachRow(db, "SELECT name FROM pragma_table_info(?)", {Column(s, 1)},
                              [&](sqlite3_stmt* c) { entry += Column(c, 0) + ","; });
                   shape.push_back(std::move(entry));
               });
    return shape;
}

// The shape of the first version's database.
const std::vector<std::string>& EarlierShape() {
    static const std::vector<std::string> shape = [] {
        sqlite3* db = nullptr;
        sqlite3_open(":memory:", &db);
        sqlite3_exec(db, kRequestsTable, nullptr, nullptr, nullptr);
        std::vector<std::string> made = Shape(db);
        sqlite3_close(db);
        return made;
    }();
    return shape;
}

// Looks at a file before anything may write it. A file with no write-ahead log is opened
// immutable, so that not even a lock or a shared-memory file is made beside it.
Look LookAt(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::file_size(path, error) == 0 && !error) {
        return {Found::Fresh, {}};
    }
    const std::filesystem::path wal = path.string() + "-wal";
    const bool logged = std::filesystem::file_size(wal, error) > 0 && !error;
    const std::string uri = FileUri(path) + (logged ? "?mode=ro" : "?mode=ro&immutable=1");
    sqlite3* db = nullptr;
    int code = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> closing(db, &sqlite3_close_v2);
    if (code == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMilliseconds);
        code = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    }
    if (code != SQLITE_OK) {
        const std::string reason = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
        return {Damaged(code) ? Found::Damaged : Found::Unreadable, reason};
    }
    const std::int64_t application = Integer(db, "PRAGMA application_id");
    const std::int64_t version = Integer(db, "PRAGMA user_version");
    if (application == History::kApplicationId) {
        return {version > History::kSchemaVersion ? Found::Newer : Found::Ours, {}};
    }
    if (application != 0) {
        return {Found::Foreign, {}};
    }
    const std::vector<std::string> shape = Shape(db);
    if (shape.empty()) {
        return {Found::Fresh, {}};
    }
    return {shape == EarlierShape() ? Found::Earlier : Found::Foreign, {}};
}

// Makes a fresh database ours, or brings an earlier one up to date, in one transaction.
int MakeCurrent(sqlite3* db, Found found) {
    if (found == Found::Ours) {
        const bool learnDue =
            Integer(db, "SELECT count(*) FROM sqlite_schema WHERE name = 'indexnow_due'") == 0;
        const bool learnCrawl =
            Integer(db, "SELECT count(*) FROM sqlite_schema WHERE name = 'requests_by_day'") == 0;
        std::string sql = kSitesTables;
        sql += learnDue ? kDueFromRows : "";
        sql += kCrawlTables;
        sql += kQuotaTables;
        sql += learnCrawl ? kCrawlFromRows : "";
        // Only what must be learned from the rows takes the write lock.
        if (learnDue || learnCrawl) {
            sql = "BEGIN IMMEDIATE;" + sql + "COMMIT;";
        }
        const int code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        if (code != SQLITE_OK) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        return code;
    }
    const std::string marks = "PRAGMA application_id=" + std::to_string(History::kApplicationId) +
                              ";PRAGMA user_version=" + std::to_string(History::kSchemaVersion) +
                              ";";
    std::string sql = "BEGIN IMMEDIATE;";
    sql += kRequestsTable;
    sql += kSummaryTable;
    sql += kSitesTables;
    sql += kCrawlTables;
    sql += kQuotaTables;
    if (found == Found::Earlier) {
        sql += kSummaryFromRows;
        sql += kCrawlFromRows;
    }
    sql += marks + "COMMIT;";
    const int code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return code;
}

}  // namespace
History::Opened History::Open(const std::filesystem::path& path, std::int64_t maxBytes) {
    Opened opened;
    const auto tell = [&](const std::string& text) {
        opened.problem += (opened.problem.empty() ? "" : " ") + text;
    };
    for (int n = 1; n <= kCandidates; ++n) {
        const std::filesystem::path candidate = Candidate(path, n);
        opened.path = candidate;
        const std::string named = "The history " + candidate.string();
        if (const std::error_code error = MakePrivateFile(candidate)) {
            tell(named + " could not be opened: " +
                 (error == std::errc::not_supported ? "Not a regular file" : error.message()) +
                 ".");
            return opened;
        }
        const Look look = LookAt(candidate);
        switch (look.found) {
            case Found::Damaged:
                tell(named + " is damaged (" + look.reason + ") and is left as it is.");
                continue;
            case Found::Foreign:
                tell(named + " is not " + std::string(kProgramName) + "'s and is left as it is.");
                continue;
            case Found::Newer:
                tell(named + " is of a newer version of " + std::string(kProgramName) +
                     " and is left as it is.");
                continue;
            case Found::Unreadable:
                tell(named + " could not be opened: " + look.reason + ".");
                return opened;
            case Found::Ours:
            case Found::Earlier:
            case Found::Fresh:
                break;
        }
        sqlite3* db = nullptr;
        int code = sqlite3_open_v2(candidate.c_str(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
        std::unique_ptr<History> history(new History(db));
        if (code == SQLITE_OK) {
            sqlite3_busy_timeout(db, kBusyTimeoutMilliseconds);
            code = sqlite3_exec(db, "PRAGMA journal_mode=WAL;PRAGMA synchronous=NORMAL", nullptr,
                                nullptr, nullptr);
        }
        if (code == SQLITE_OK && maxBytes > 0) {
            const std::int64_t pages = maxBytes / Integer(db, "PRAGMA page_size");
            code = sqlite3_exec(db, ("PRAGMA max_page_count=" + std::to_string(pages)).c_str(),
                                nullptr, nullptr, nullptr);
        }
        if (code == SQLITE_OK) {
            code = MakeCurrent(db, look.found);
        }
        if (code == SQLITE_OK) {
            opened.history = std::move(history);
            return opened;
        }
        // A rolled-back transaction leaves no message of its own: the code then says it.
        tell(named + " could not be opened: " +
             (db != nullptr && sqlite3_errcode(db) == code ? sqlite3_errmsg(db)
                                                           : sqlite3_errstr(code)) +
             ".");
        return opened;
    }
    return opened;
}

}  // namespace quaymark
