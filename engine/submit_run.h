#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/classify.h"
#include "engine/indexnow.h"
#include "engine/page_fetcher.h"
#include "storage/history.h"

namespace quaymark {

// The engine text and failure-line name of every request in resend mode.
inline constexpr std::string_view kResendName = "Sending";

struct QueryPiece {
    enum class Kind { Text, Address, Email };
    Kind kind;
    std::string_view text;
};

struct EngineRow {
    std::string_view name;
    std::string_view host;
    std::string_view path;
    std::array<QueryPiece, 5> query;
    std::size_t queryPieces;
    // A full record writes an error page and a failure line; a short one only asks to resend.
    bool fullRecord;
};

namespace detail {
constexpr QueryPiece Text(std::string_view text) {
    return {QueryPiece::Kind::Text, text};
}
inline constexpr QueryPiece kAddress{QueryPiece::Kind::Address, {}};
inline constexpr QueryPiece kEmail{QueryPiece::Kind::Email, {}};
}  // namespace detail

// The seven engines in sending order.
inline constexpr std::array<EngineRow, 7> EngineTable{{
    {"WebCrawler",
     "www.webcrawler.com",
     "/info/add_url/thanks/",
     {detail::Text("?url="), detail::kAddress, detail::Text("&email="), detail::kEmail,
      detail::Text("&country=US&brand=webcrawler")},
     5,
     true},
    {"HotBot",
     "www.hotbot.com",
     "/addurl.asp",
     {detail::Text("?newurl="), detail::kAddress, detail::Text("&MM=1&output=success&email="),
      detail::kEmail},
     4,
     true},
    {"Lycos",
     "www.lycos.com",
     "/cgi-bin/spider_now.pl",
     {detail::Text("?query="), detail::kAddress, detail::Text("&email="), detail::kEmail},
     4,
     true},
    {"AltaVista",
     "add-url.altavista.com",
     "/cgi-bin/newurl",
     {detail::Text("?ad=1&q="), detail::kAddress},
     2,
     true},
    {"Go!",
     "www.go.com",
     "/AddUrl/AddingURL",
     {detail::Text("?sv=IS&lk=noframes&url="), detail::kAddress,
      detail::Text("&CAT=Add%2FUpdate+URL")},
     3,
     true},
    {"Excite",
     "www.excite.com",
     "/info/add_url/thanks/",
     {detail::Text("?url="), detail::kAddress, detail::Text("&email="), detail::kEmail,
      detail::Text("&country=US&brand=excite")},
     5,
     true},
    {"Google",
     "www.google.com",
     "/addurl",
     {detail::Text("?q="), detail::kAddress, detail::Text("&dq=thanks")},
     3,
     false},
}};

// "http://", host, path and query, with the address and e-mail address inserted as they
// are stored: no escaping, no trimming.
std::string BuildRequestUrl(const EngineRow& row, std::string_view address, std::string_view email);

// The failure-line suffix of a verdict, such as ": failed.".
std::string_view FailureSuffix(SubmitVerdict verdict);

// A failure as a run records it: the engine (or kResendName, or IndexNow), its verdict, the
// item, and its text "<engine><suffix>". What a window makes of it is the window's choice.
struct FailureRecord {
    std::string_view engine;
    SubmitVerdict verdict;
    std::string_view item;
    std::string text;
};

// What a run tells whoever follows it, in its own words. Every call comes from the worker
// thread and must return at once: a follower keeps the latest state and shows it in its own
// time.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // The run begins: so many items, each taking so many steps (7, or 1 when resending), and
    // so many steps beyond them (one per IndexNow batch).
    virtual void RunStarted(int itemCount, int stepsPerItem, int extraSteps) = 0;
    virtual void AddressStarted(const std::string& item) = 0;
    // An engine's turn, or kResendName's in resend mode.
    virtual void EngineStarted(std::string_view engine) = 0;
    // One step of the bar: a request done.
    virtual void RequestDone() = 0;
    virtual void FailureRecorded(const FailureRecord& failure) = 0;
    // The run waits before it tries again, as the endpoint asked or as waiting may help: so
    // many seconds, and why ("too many requests").
    virtual void WaitStarted(std::string_view engine, std::chrono::seconds wait,
                             std::string_view why) = 0;
    virtual void WaitEnded() = 0;
    virtual void RunEnded() = 0;
};

// What a failed request is sent through when it is sent again.
enum class Channel : std::uint8_t { Engine, IndexNow };

// One failed request, to be sent again as it was: its channel and its complete request URL;
// for an IndexNow batch also the body it posts and its host. Also what the history names it
// by: the engine's name (or IndexNow) and the addresses it is for.
struct ResendItem {
    Channel channel = Channel::Engine;
    std::string url;
    std::string body{};
    std::string host{};
    std::vector<std::string> addresses{};
    std::string engine{};

    bool operator==(const ResendItem&) const = default;
};

// How the progress window and the failure lines name a resend item: an engine request by its
// URL, a batch as "<host> (<n> addresses)".
std::string ItemText(const ResendItem& item);

// One line of the failures window and the error page that explains it.
struct Failure {
    std::string line;
    std::filesystem::path page;
};

// What a run leaves: whether any request failed, its failures in order (line n has error page
// n), the failed requests to send again, Google's included, and what else the user should
// know of it (an IndexNow key still being checked).
struct RunResult {
    bool failed = false;
    std::vector<Failure> FailureList;
    std::vector<ResendItem> ResubmitList;
    std::vector<std::string> notes;
};

// What a run is given.
struct SubmitJob {
    enum Mode : std::uint8_t { Normal = 0, Resend = 1 };

    std::uint8_t mode = Normal;
    // Normal mode: the addresses, in sending order.
    std::vector<std::string> items;
    // Resend mode: the failed requests of an earlier run, in sending order.
    std::vector<ResendItem> resendItems;
    // The e-mail address every request of the run carries; it cannot change during a run.
    std::string email;
    // Where the error pages go: a directory of the program's own.
    std::filesystem::path errorPageDir;
    // Announcing the addresses through IndexNow after the seven engines; off by default.
    IndexNowJob indexNow;
    RetryPolicy retry;
    RunRouting routing;
    // Where every request is recorded; none when there is no history.
    RequestLog* log = nullptr;
};

// One submission run, used once: the starter hands SubmitWorker to a thread of its own; the
// user's cancel request may come from any thread meanwhile. The run keeps its state to
// itself, so runs do not meet.
class SubmitRun {
public:
    SubmitRun(SubmitJob job, FetchPrompt& prompt, RunObserver& observer);

    // Sends the items; returns what the run left.
    RunResult SubmitWorker();
    // The request in flight is completed and, if it failed, recorded; the remaining engines of
    // the current address are passed over and the worker stops before the next item.
    void RequestCancel();

private:
    bool Cancelled() const;
    // Waits so long unless the run is cancelled first; false when it was.
    bool WaitUnlessCancelled(std::chrono::milliseconds wait);
    bool SendResend(PageFetcher& fetcher, const StatusFetcher& https, const ResendItem& item);
    bool SendToEngines(PageFetcher& fetcher, const std::string& item);
    bool AnnounceThroughIndexNow(const StatusFetcher& fetcher,
                                 const std::vector<IndexNowBatch>& batches);
    // Posts one batch, waiting and trying again where waiting may help; returns whether it
    // failed, recording the failure under the name.
    bool SendBatch(const StatusFetcher& fetcher, std::string_view name, const ResendItem& batch);
    StatusAnswer PostWithBackoff(const StatusFetcher& fetcher, const ResendItem& batch);
    bool SendAndJudge(PageFetcher& fetcher, const EngineRow* row, const std::string& item,
                      ResendItem request);
    void Log(const ResendItem& request, std::string verdict, std::string reason, bool accepted);
    // The addresses IndexNow is to hear of, the rest told in the result.
    std::vector<std::string> AddressesToAnnounce();
    // Records a failure: its error page, the line "<name><suffix> <item>", and the request to
    // resend when one was made.
    void FullRecord(const PageLines& lines, SubmitVerdict verdict, std::string_view name,
                    std::string_view suffix, const std::string& item, ResendItem resend);

    SubmitJob job_;
    FetchPrompt& prompt_;
    RunObserver& observer_;
    // The worker's alone while it runs.
    RunResult result_;
    std::int32_t ErrorPageCounter = 0;
    std::atomic<bool> CancelFlag{false};
    // A wait between two tries ends at once when the run is cancelled.
    std::mutex cancelMutex_;
    std::condition_variable cancelled_;
    std::mt19937 jitter_{std::random_device{}()};
};

}  // namespace quaymark
