#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/product.h"
#include "storage/history_records.h"

struct sqlite3;

namespace quaymark {

// What follows the reason whenever the history cannot be kept.
inline const std::string kNoHistoryText = std::string(kProgramName) + " goes on without a history.";

// The history of every request in an SQLite database of the user's own (mode 0600, WAL, a
// busy timeout), marked as Quaymark's by its application id and schema version. What each
// address had from each channel is kept up to date, row by row, in a summary the database
// maintains itself, so that reading it never grows with the years of rows behind it.
class History {
public:
    static constexpr std::int32_t kApplicationId = 0x514D524B;  // "QMRK"
    static constexpr std::int32_t kSchemaVersion = 2;

    struct Opened {
        std::unique_ptr<History> history;
        // The database in use: the one asked for, or a new one beside it when that one is
        // damaged, is not Quaymark's or is of a newer version; such a file is looked at
        // read-only and never written, moved or removed.
        std::filesystem::path path;
        // What the user should be told: such a file, or why there is no history at all.
        std::string problem;
    };
    // A history of an earlier version of ours is brought up to date in one transaction. The
    // database may take at most maxBytes (none when 0): a test's way to fill a disk.
    static Opened Open(const std::filesystem::path& path, std::int64_t maxBytes = 0);

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
    // The last acceptance through the channel, the last change and the last text change of
    // every page known.
    std::unordered_map<std::string, PageDates> AnnouncedDates(const std::string& channel);
    // Each page's last check replaces the one before.
    std::string KeepPageChecks(const std::vector<PageCheckRecord>& checks);
    std::unordered_map<std::string, PageCheckRecord> PageChecks();
    std::string KeepLastmodTrust(const std::vector<LastmodTrust>& sites);
    std::vector<LastmodTrust> LastmodTrusts();
    std::string KeepKeyChecks(const std::vector<KeyCheckRecord>& checks);
    std::vector<KeyCheckRecord> KeyChecks();
    // Each page's latest inspection replaces the one before.
    std::string KeepInspections(const std::vector<GoogleInspection>& inspections);
    std::unordered_map<std::string, GoogleInspection> Inspections();
    // How many inspections each property was sent since then: what its daily quota has spent.
    std::map<std::string, int> InspectionsSince(std::int64_t since);
    // Each inspection sent, by property and time; those sent before the time are forgotten.
    std::string KeepInspectionsSent(const std::vector<std::pair<std::string, std::int64_t>>& sent,
                                    std::int64_t forgetBefore);
    // The pages Google has still to inspect: waiting for its quota, refused or failed.
    std::vector<std::string> GooglePending();
    // The engines' own channels: the last quota read of each site, every reading of a site
    // since then, the engine's figures by day, the pages waiting for the quota, and a run's
    // of them kept in one transaction.
    std::vector<QuotaReading> LastQuotas(const std::string& channel);
    std::vector<QuotaReading> QuotaReadings(const std::string& site, std::int64_t since);
    std::vector<EngineDay> EngineDays(const std::string& site, std::int64_t sinceDay);
    std::vector<std::string> ChannelPending(const std::string& channel);
    std::string KeepQuotaRun(const QuotaKept& kept);
    std::string KeepGooglePending(const std::vector<std::string>& waiting,
                                  const std::vector<std::string>& settled);
    // When each sitemap was last submitted to Google.
    std::string KeepSitemapSubmissions(
        const std::vector<std::pair<std::string, std::int64_t>>& sitemaps);
    std::unordered_map<std::string, std::int64_t> SitemapSubmissions();
    // The sites told that they have no property of the account's; one that has one again is
    // forgotten, so that losing it is told again.
    std::vector<std::string> UnmatchedSites();
    std::string KeepUnmatchedSites(const std::vector<std::string>& told,
                                   const std::vector<std::string>& matched);
    // The sitemaps each site's imports read, the latest read of each kept.
    std::string RememberSitemaps(const std::vector<RememberedSitemap>& sitemaps);
    // Every site's sitemaps, by site.
    std::vector<RememberedSitemap> Sitemaps();
    // Each sitemap's pages replace what it gave before, in one transaction.
    std::string KeepSitemapPages(const std::vector<SitemapPages>& sitemaps);
    // The pages the sitemap gave when it was last read whole; none when they were never kept
    // (an index or an empty sitemap gives an empty list).
    std::optional<std::vector<std::string>> PagesOfSitemap(const std::string& sitemap);
    // The sitemaps whose pages were kept.
    std::vector<std::string> KeptSitemaps();
    // How many pages each sitemap gave when last read whole.
    std::unordered_map<std::string, std::size_t> PagesBySitemap();
    // What the pages sitemaps gave at their last read come to, decided here rather than
    // loaded: every page once, in the sitemaps' order, and the dates of only those IndexNow
    // may announce: never accepted, accepted since the time given (to be passed over as
    // recent), or changed since their acceptance. The history keeps what IndexNow has due as
    // it is written, so this costs what is due, not what the sites hold.
    NamedPages PagesNamedBy(const std::vector<std::string>& sitemaps, std::int64_t recentSince);
    // The dates of these pages alone, as AnnouncedDates gives them.
    std::unordered_map<std::string, PageDates> DatesOf(const std::string& channel,
                                                       const std::vector<std::string>& pages);
    // Those of the pages that the sitemaps gave at their last read.
    std::vector<std::string> NamedAmong(const std::vector<std::string>& sitemaps,
                                        const std::vector<std::string>& pages);
    // Pages that left every sitemap of their site; one already marked keeps its date.
    std::string MarkRemoved(const std::vector<RemovedPage>& pages);
    // Pages a sitemap names again, or that left the list.
    std::string ForgetRemoved(const std::vector<std::string>& addresses);
    // A site no longer announced: its sitemaps, their pages, its removed pages and the trust in
    // its lastmods; what was sent for its pages stays in the record.
    std::string ForgetSite(const std::string& site);
    std::vector<RemovedPage> RemovedPages();
    // The access logs read for each site, with where each read last stopped.
    std::vector<SiteLog> SiteLogs();
    std::string AddSiteLog(const std::string& site, const std::string& path);
    std::string RemoveSiteLog(const std::string& site, const std::string& path);
    // A read's visits kept and its log's cursor moved, in one transaction: a read kept half
    // would be read again.
    std::string KeepLogRead(const SiteLog& log, const std::vector<CrawlVisit>& visits);
    // What the lookups said of robots' addresses checked since then.
    std::unordered_map<std::string, RobotAddress> RobotAddresses(std::int64_t since);
    // Those checked before the time given are forgotten: an engine's addresses change hands.
    std::string KeepRobotAddresses(const std::vector<RobotAddress>& addresses,
                                   std::int64_t forgetBefore);
    // Everything that happened to the page, oldest first.
    std::vector<PageEvent> PageTimeline(const std::string& address);
    // By day since then, of the pages of a site (the addresses from its root on): requests
    // sent and accepted per channel, and robots' visits verified and false per engine.
    std::vector<DayCounts> SentByDay(const std::string& site, std::int64_t since);
    std::vector<DayCounts> VisitsByDay(const std::string& site, std::int64_t since);
    // Of all days: how many of the site's pages entered (or, below zero, left) Google's index,
    // and how many entered (or left) the pages it inspected and did not index.
    std::vector<DayCounts> GoogleByDay(const std::string& site);
    // Each page of the site accepted by a channel since then, with the first verified visit
    // of each engine after that acceptance (engine empty when none came), by address.
    void ForEachAnnouncedCrawl(
        const std::string& site, std::int64_t since,
        const std::function<void(const std::string& address, const std::string& channel,
                                 std::int64_t accepted, const std::string& engine,
                                 std::int64_t crawled)>& each);
    // Each page's last fetch by each engine's verified robot.
    std::unordered_map<std::string, std::map<std::string, std::int64_t>> LastCrawls();
    // The last acceptance of any of the site's pages; 0 when none.
    std::int64_t LastAcceptance(const std::string& site);
    std::string RecordAnnouncerRun(const AnnouncerRun& run);
    // The latest runs of the announcer, newest first.
    std::vector<AnnouncerRun> AnnouncerRuns(int count);
    // The timer's latest run when it failed and nobody has been told yet; from then on it
    // counts as told.
    std::optional<AnnouncerRun> TakeUntoldFailure();
    const std::string& failure() const { return failure_; }
    // After a write failed: what was under way is rolled back, the write-ahead log
    // checkpointed and truncated, and the database closed, so that a full disk gets back all
    // the history took; nothing is read or written afterwards.
    void GiveBack();

    // What a write leaves free on the disk beyond the write-ahead log's own size.
    static constexpr std::uintmax_t kRoomKeptBytes = std::uintmax_t{4} << 20;

private:
    explicit History(sqlite3* db) : db_(db) {}
    // Whether a write may begin without taking the room the log's checkpoint and the list need.
    bool RoomLeft();
    bool Exec(const char* sql);
    std::string InTransaction(const std::function<bool()>& work);
    // Writes the rows in one transaction, each through the statement as bindRow binds it.
    template <typename Row, typename BindRow>
    std::string WriteRows(const char* sql, const std::vector<Row>& rows, BindRow bindRow);
    bool Closed();
    // The first column of every row the query gives.
    std::vector<std::string> Texts(const char* sql);
    // The texts in the temporary table of that name, in order, for a query to join.
    bool Stage(const char* table, const std::vector<std::string>& texts);
    // A set of texts kept in a table of one column: the added ones inserted, the removed
    // ones deleted.
    std::string KeepSet(const char* insert, const std::vector<std::string>& added,
                        const char* remove, const std::vector<std::string>& removed);

    sqlite3* db_;
    std::string failure_;
};

// The one user of the history from start to end, on a thread of its own: the runs' records
// are written in transactions of many rows, and the reads and the pages' last changes are
// done in the order they were asked, so that no run and no window ever waits for the disk or
// for another reader of the database. After a failed write it gives the history back and
// writes nothing more.
class HistoryWriter {
public:
    static constexpr std::size_t kRowsPerTransaction = 512;

    // The failure, from the writer's thread, once.
    using FailureHandler = std::function<void(const std::string& failure)>;

    explicit HistoryWriter(History& history, FailureHandler onFailure = {});
    // Writes what is kept first.
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    // From any thread.
    void Record(HistoryRow row);
    // The records so far are handed on to be written; returns at once.
    void HandOn();
    // The last acceptance through the channel and the last change of every page known; the
    // caller waits for them.
    std::unordered_map<std::string, PageDates> AnnouncedDates(const std::string& channel);
    // The sitemap's last change of each page, written in its turn.
    void SetLastmods(std::vector<std::pair<std::string, std::int64_t>> lastmods);
    // The sitemaps an import read and the pages each gave, written in their turn.
    void RememberSitemaps(std::vector<RememberedSitemap> sitemaps,
                          std::vector<SitemapPages> pages = {});
    // Reads in its turn; the history is none once it has been given back. The call comes on
    // the writer's thread.
    void Read(std::function<void(History* history)> read);
    // Reads in its turn and waits for the answer, which is empty when there is no history.
    template <typename Answer>
    Answer Ask(std::function<Answer(History&)> ask) {
        HandOn();
        std::promise<Answer> answer;
        Read([&](History* history) {
            answer.set_value(history != nullptr ? ask(*history) : Answer{});
        });
        return answer.get_future().get();
    }
    // A write in its turn; its failure is the writer's, and after one nothing is written.
    void PostWrite(std::function<std::string(History&)> write);
    // Returns once everything recorded is written, or has failed to be.
    void Flush();
    // The first failure, to be told; once there is one, nothing more is written.
    std::string failure() const;

private:
    using Task = std::function<void()>;
    void Post(Task task);
    void Work();
    void Write(const std::vector<HistoryRow>& rows);
    void Failed(std::string failure);

    History& history_;
    FailureHandler onFailure_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // The rows not yet handed on.
    std::vector<HistoryRow> rows_;
    std::deque<Task> pending_;
    bool working_ = false;
    bool stopping_ = false;
    std::string failure_;
    std::thread thread_;
};

}  // namespace quaymark
