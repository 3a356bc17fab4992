#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

struct sqlite3;

namespace quaymark {

// One request a run sent: when (seconds since the epoch), through which channel (an engine's
// name, or IndexNow), for which address, the request itself, what came of it and, for a
// failure, why.
struct HistoryRow {
    std::int64_t time = 0;
    std::string channel;
    std::string address;
    std::string request;
    std::string verdict;
    std::string reason;
    bool accepted = false;
};

// What a run records of each request it sends. From the worker thread; a record that cannot
// be kept costs the run nothing.
class RequestLog {
public:
    virtual ~RequestLog() = default;
    virtual void Record(HistoryRow row) = 0;
};

// What the history holds of one address.
struct AddressHistory {
    // The last acceptance by each channel.
    std::map<std::string, std::int64_t> lastAccepted;
    std::optional<HistoryRow> lastFailure;
    // The last request to any of the engines, accepted or not.
    std::optional<std::int64_t> lastSentToEngine;
};

// What decides whether IndexNow hears of an address again: its last acceptance there and
// its last change as its sitemap gave it.
struct PageDates {
    std::optional<std::int64_t> lastAnnounced;
    std::optional<std::int64_t> lastmod;
};

// The database's name, in the program's data directory beside the URL list.
inline constexpr std::string_view kHistoryFileName = "history.sqlite";

// What follows the reason whenever the history cannot be kept.
inline constexpr std::string_view kNoHistoryText = "Quaymark! goes on without a history.";

// The history of every request in an SQLite database of the user's own (mode 0600, WAL, a
// busy timeout), one connection per owner: the runs write through their own, the windows
// read through theirs.
class History {
public:
    struct Opened {
        std::unique_ptr<History> history;
        // The database in use: the one asked for, or a new one beside it when that one is
        // damaged; a damaged file is never written, moved or removed.
        std::filesystem::path path;
        // What the user should be told: a damaged file, or why there is no history at all.
        std::string problem;
    };
    static Opened Open(const std::filesystem::path& path);
    // The database at exactly that path, as the runs and windows open the one chosen at
    // start; nothing, with the reason, when it can no longer be used there.
    static std::unique_ptr<History> OpenAt(const std::filesystem::path& path, std::string& problem);

    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Adds the rows in one transaction; says why when they could not be kept.
    std::string Append(const std::vector<HistoryRow>& rows);
    // What is known of each address; the announcing channel's requests do not count as
    // sent to an engine.
    std::unordered_map<std::string, AddressHistory> Summaries(const std::string& announceChannel);
    // The sitemap's last change of each page; a page without one keeps what it had.
    std::string SetLastmods(const std::vector<std::pair<std::string, std::int64_t>>& lastmods);
    // The last acceptance through the channel and the last change of every page known.
    std::unordered_map<std::string, PageDates> AnnouncedDates(const std::string& channel);
    const std::string& failure() const { return failure_; }

private:
    explicit History(sqlite3* db) : db_(db) {}
    bool Exec(const char* sql);

    sqlite3* db_;
    std::string failure_;
};

// Keeps a run's records and writes them in transactions of many rows on a thread of its own,
// so that the run never waits for the disk, nor for another reader of the database.
class HistoryWriter : public RequestLog {
public:
    static constexpr std::size_t kRowsPerTransaction = 512;

    explicit HistoryWriter(History& history);
    // Writes what is kept first.
    ~HistoryWriter() override;
    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    // From one recording thread at a time.
    void Record(HistoryRow row) override;
    // Returns once everything recorded is written, or has failed to be.
    void Flush();
    // The first failure, to be told; once there is one, nothing more is written.
    std::string failure() const;

private:
    void HandOn();
    void WriteBatches();

    History& history_;
    // The recording thread's own until handed on.
    std::vector<HistoryRow> rows_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<HistoryRow>> pending_;
    bool writing_ = false;
    bool stopping_ = false;
    std::string failure_;
    std::thread thread_;
};

}  // namespace quaymark
