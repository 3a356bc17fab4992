#include "storage/history.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <system_error>
#include <utility>

namespace quaymark {
namespace {

constexpr int kBusyTimeoutMilliseconds = 5000;
// A damaged database is left alone; so many new ones beside it are tried in turn.
constexpr int kCandidates = 10;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS requests("
    " time INTEGER NOT NULL, channel TEXT NOT NULL, address TEXT NOT NULL,"
    " request TEXT NOT NULL, verdict TEXT NOT NULL, reason TEXT NOT NULL,"
    " accepted INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS requests_by_address ON requests(address, channel, time);"
    "CREATE TABLE IF NOT EXISTS pages(address TEXT PRIMARY KEY, lastmod INTEGER NOT NULL)"
    " WITHOUT ROWID;";

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

}  // namespace

History::Opened History::Open(const std::filesystem::path& path) {
    Opened opened;
    for (int n = 1; n <= kCandidates; ++n) {
        const std::filesystem::path candidate = Candidate(path, n);
        opened.path = candidate;
        if (const std::error_code error = MakePrivateFile(candidate)) {
            opened.problem +=
                "The history " + candidate.string() + " could not be opened: " +
                (error == std::errc::not_supported ? "Not a regular file" : error.message()) + ".";
            return opened;
        }
        sqlite3* db = nullptr;
        int code = sqlite3_open_v2(candidate.c_str(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
        std::unique_ptr<History> history(new History(db));
        if (code == SQLITE_OK) {
            sqlite3_busy_timeout(db, kBusyTimeoutMilliseconds);
            // The header is read before anything could be written: a damaged file says so
            // here and stays as it is.
            code = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
            if (code == SQLITE_OK) {
                code = sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
            }
            if (code == SQLITE_OK) {
                code = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
            }
        }
        if (code == SQLITE_OK) {
            opened.history = std::move(history);
            return opened;
        }
        const std::string reason = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
        if (!Damaged(code)) {
            opened.problem +=
                "The history " + candidate.string() + " could not be opened: " + reason + ".";
            return opened;
        }
        opened.problem += std::string(opened.problem.empty() ? "" : " ") + "The history " +
                          candidate.string() + " is damaged (" + reason + ") and is left as it is.";
    }
    return opened;
}

std::unique_ptr<History> History::OpenAt(const std::filesystem::path& path, std::string& problem) {
    Opened opened = Open(path);
    if (opened.history && opened.path == path) {
        return std::move(opened.history);
    }
    problem = opened.problem;
    return nullptr;
}

History::~History() {
    sqlite3_close_v2(db_);
}

bool History::Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) {
        return true;
    }
    failure_ = sqlite3_errmsg(db_);
    return false;
}

std::string History::Append(const std::vector<HistoryRow>& rows) {
    if (!Exec("BEGIN IMMEDIATE")) {
        return failure_;
    }
    const Statement insert = Prepare(db_,
                                     "INSERT INTO requests(time, channel, address, request, "
                                     "verdict, reason, accepted) VALUES(?,?,?,?,?,?,?)");
    bool ok = insert != nullptr;
    for (const HistoryRow& row : rows) {
        if (!ok) {
            break;
        }
        sqlite3_stmt* s = insert.get();
        sqlite3_bind_int64(s, 1, row.time);
        Bind(s, 2, row.channel);
        Bind(s, 3, row.address);
        Bind(s, 4, row.request);
        Bind(s, 5, row.verdict);
        Bind(s, 6, row.reason);
        sqlite3_bind_int(s, 7, row.accepted ? 1 : 0);
        ok = sqlite3_step(s) == SQLITE_DONE;
        sqlite3_reset(s);
    }
    if (!ok) {
        failure_ = sqlite3_errmsg(db_);
        Exec("ROLLBACK");
        return failure_;
    }
    return Exec("COMMIT") ? std::string() : failure_;
}

std::unordered_map<std::string, AddressHistory> History::Summaries(
    const std::string& announceChannel) {
    std::unordered_map<std::string, AddressHistory> summaries;
    ForEachRow(db_,
               "SELECT address, channel, MAX(time) FROM requests WHERE accepted = 1 "
               "GROUP BY address, channel",
               {}, [&](sqlite3_stmt* s) {
                   summaries[Column(s, 0)].lastAccepted[Column(s, 1)] = sqlite3_column_int64(s, 2);
               });
    // SQLite takes the other columns from the row that holds the latest time.
    ForEachRow(db_,
               "SELECT address, channel, request, verdict, reason, MAX(time) FROM requests "
               "WHERE accepted = 0 GROUP BY address",
               {}, [&](sqlite3_stmt* s) {
                   summaries[Column(s, 0)].lastFailure = HistoryRow{sqlite3_column_int64(s, 5),
                                                                    Column(s, 1),
                                                                    Column(s, 0),
                                                                    Column(s, 2),
                                                                    Column(s, 3),
                                                                    Column(s, 4),
                                                                    false};
               });
    ForEachRow(db_, "SELECT address, MAX(time) FROM requests WHERE channel <> ? GROUP BY address",
               {announceChannel}, [&](sqlite3_stmt* s) {
                   summaries[Column(s, 0)].lastSentToEngine = sqlite3_column_int64(s, 1);
               });
    return summaries;
}

std::string History::SetLastmods(
    const std::vector<std::pair<std::string, std::int64_t>>& lastmods) {
    if (!Exec("BEGIN IMMEDIATE")) {
        return failure_;
    }
    const Statement upsert =
        Prepare(db_,
                "INSERT INTO pages(address, lastmod) VALUES(?,?) "
                "ON CONFLICT(address) DO UPDATE SET lastmod = excluded.lastmod");
    bool ok = upsert != nullptr;
    for (const auto& [address, lastmod] : lastmods) {
        if (!ok) {
            break;
        }
        Bind(upsert.get(), 1, address);
        sqlite3_bind_int64(upsert.get(), 2, lastmod);
        ok = sqlite3_step(upsert.get()) == SQLITE_DONE;
        sqlite3_reset(upsert.get());
    }
    if (!ok) {
        failure_ = sqlite3_errmsg(db_);
        Exec("ROLLBACK");
        return failure_;
    }
    return Exec("COMMIT") ? std::string() : failure_;
}

std::unordered_map<std::string, PageDates> History::AnnouncedDates(const std::string& channel) {
    std::unordered_map<std::string, PageDates> dates;
    ForEachRow(db_,
               "SELECT address, MAX(time) FROM requests WHERE channel = ? AND accepted = 1 "
               "GROUP BY address",
               {channel}, [&](sqlite3_stmt* s) {
                   dates[Column(s, 0)].lastAnnounced = sqlite3_column_int64(s, 1);
               });
    ForEachRow(db_, "SELECT address, lastmod FROM pages", {},
               [&](sqlite3_stmt* s) { dates[Column(s, 0)].lastmod = sqlite3_column_int64(s, 1); });
    return dates;
}

HistoryWriter::HistoryWriter(History& history)
    : history_(history), thread_([this] { WriteBatches(); }) {}

HistoryWriter::~HistoryWriter() {
    Flush();
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void HistoryWriter::Record(HistoryRow row) {
    rows_.push_back(std::move(row));
    if (rows_.size() >= kRowsPerTransaction) {
        HandOn();
    }
}

void HistoryWriter::HandOn() {
    if (rows_.empty()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        pending_.push_back(std::exchange(rows_, {}));
    }
    changed_.notify_all();
}

void HistoryWriter::Flush() {
    HandOn();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return pending_.empty() && !writing_; });
}

std::string HistoryWriter::failure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

void HistoryWriter::WriteBatches() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (pending_.empty()) {
            return;
        }
        const std::vector<HistoryRow> batch = std::move(pending_.front());
        pending_.pop_front();
        const bool failed = !failure_.empty();
        writing_ = true;
        lock.unlock();
        std::string failure = failed ? std::string() : history_.Append(batch);
        lock.lock();
        writing_ = false;
        if (!failed) {
            failure_ = std::move(failure);
        }
        changed_.notify_all();
    }
}

}  // namespace quaymark
