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

namespace quaymark {
namespace {

// A failure newer than the one kept (or the first).
#define NEWER_FAILURE                                                \
    "excluded.failure_time IS NOT NULL AND (failure_time IS NULL OR" \
    " excluded.failure_time >= failure_time)"

constexpr int kBusyTimeoutMilliseconds = 5000;
// A damaged database is left alone; so many new ones beside it are tried in turn.
constexpr int kCandidates = 10;

// The tables of the first version; a file holding exactly these is an earlier history of ours.
constexpr const char* kRequestsTable =
    "CREATE TABLE IF NOT EXISTS requests("
    " time INTEGER NOT NULL, channel TEXT NOT NULL, address TEXT NOT NULL,"
    " request TEXT NOT NULL, verdict TEXT NOT NULL, reason TEXT NOT NULL,"
    " accepted INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS requests_by_address ON requests(address, channel, time);"
    "CREATE TABLE IF NOT EXISTS pages(address TEXT PRIMARY KEY, lastmod INTEGER NOT NULL)"
    " WITHOUT ROWID;";

// The sitemaps each site's imports read whole, with their answers' validators. A table that
// earlier histories of ours lack and readers of them pass over: it is added where missing.
constexpr const char* kSitemapsTable =
    "CREATE TABLE IF NOT EXISTS sitemaps("
    " site TEXT NOT NULL, sitemap TEXT NOT NULL, etag TEXT NOT NULL,"
    " last_modified TEXT NOT NULL, read_at INTEGER NOT NULL, PRIMARY KEY(site, sitemap))"
    " WITHOUT ROWID;";

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

struct StatementFinalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalize>;

Statement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Statement(statement);
}

void Bind(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

std::string Column(sqlite3_stmt* statement, int index) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
    return text == nullptr
               ? std::string()
               : std::string(text,
                             static_cast<std::size_t>(sqlite3_column_bytes(statement, index)));
}

// Runs a query, handing each row on.
template <typename EachRow>
void ForEachRow(sqlite3* db, const char* sql, std::initializer_list<std::string> parameters,
                EachRow eachRow) {
    const Statement statement = Prepare(db, sql);
    int index = 0;
    for (const std::string& parameter : parameters) {
        Bind(statement.get(), ++index, parameter);
    }
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
        eachRow(statement.get());
    }
}

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

std::int64_t Integer(sqlite3* db, const char* sql) {
    const Statement statement = Prepare(db, sql);
    return statement && sqlite3_step(statement.get()) == SQLITE_ROW
               ? sqlite3_column_int64(statement.get(), 0)
               : 0;
}

// The tables, indexes and triggers a database declares, each as "type name: column,...".
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
        return sqlite3_exec(db, kSitemapsTable, nullptr, nullptr, nullptr);
    }
    const std::string marks = "PRAGMA application_id=" + std::to_string(History::kApplicationId) +
                              ";PRAGMA user_version=" + std::to_string(History::kSchemaVersion) +
                              ";";
    std::string sql = "BEGIN IMMEDIATE;";
    sql += kRequestsTable;
    sql += kSummaryTable;
    sql += kSitemapsTable;
    if (found == Found::Earlier) {
        sql += kSummaryFromRows;
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
        tell(named + " could not be opened: " +
             (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code)) + ".");
        return opened;
    }
    return opened;
}

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

template <typename Row, typename BindRow>
std::string History::WriteRows(const char* sql, const std::vector<Row>& rows, BindRow bindRow) {
    if (!Exec("BEGIN IMMEDIATE")) {
        return failure_;
    }
    const Statement statement = Prepare(db_, sql);
    bool ok = statement != nullptr;
    for (const Row& row : rows) {
        if (!ok) {
            break;
        }
        bindRow(statement.get(), row);
        ok = sqlite3_step(statement.get()) == SQLITE_DONE;
        sqlite3_reset(statement.get());
    }
    if (!ok) {
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
    return dates;
}

}  // namespace quaymark
