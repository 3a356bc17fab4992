#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/classify.h"
#include "engine/indexnow.h"
#include "engine/page_fetcher.h"

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

// A failure as a run records it: the line "<engine><suffix> <item>" goes to the failure list,
// and statusText, "<engine><suffix>", is what the progress window's status line shows when
// setsStatusText holds.
struct FailureRecord {
    std::string_view engine;
    SubmitVerdict verdict;
    std::string_view item;
    std::string statusText;
    bool setsStatusText;
};

// What a run tells whoever follows it, in its own words. Every call comes from the worker
// thread and must return at once: a follower keeps the latest state and shows it in its own
// time.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // The run begins: so many items, each taking so many steps (7, or 1 when resending).
    virtual void RunStarted(int itemCount, int stepsPerItem) = 0;
    virtual void AddressStarted(const std::string& item) = 0;
    // An engine's turn, or kResendName's in resend mode.
    virtual void EngineStarted(std::string_view engine) = 0;
    // One step of the bar: a request done.
    virtual void RequestDone() = 0;
    virtual void FailureRecorded(const FailureRecord& failure) = 0;
    virtual void RunEnded() = 0;
};

// What a run is given.
struct SubmitJob {
    enum Mode : std::uint8_t { Normal = 0, Resend = 1 };

    // The addresses (normal mode) or complete request URLs (resend mode), in sending order.
    std::vector<std::string> items;
    std::uint8_t mode = Normal;
    // The e-mail address every request of the run carries; it cannot change during a run.
    std::string email;
    FetchLimits limits;
    // Where the error pages go: a directory of the program's own.
    std::filesystem::path errorPageDir;
    // Announcing each address through IndexNow after the seven engines; off by default.
    IndexNowJob indexNow;
    // Test routing for the run's fetches, and a certificate authority a test's own TLS server
    // is trusted through; both empty in the program.
    std::map<std::string, std::uint16_t> connectTo;
    std::string caFile;
};

// What a run leaves: whether any request failed, the failure lines (line n belongs to error
// page n) and the request URLs to send again.
struct RunResult {
    bool failed = false;
    std::vector<std::string> FailureList;
    std::vector<std::string> ResubmitList;
};

// One submission run. The starter resets it and hands SubmitWorker to a thread of its own;
// the user's cancel request may come from any thread meanwhile. The run keeps its state to
// itself, so runs do not meet; the user interface lets only one run at a time begin.
class SubmitRun {
public:
    SubmitRun(SubmitJob job, FetchPrompt& prompt, RunObserver& observer);

    // Before every run, on the starter's thread: clears the flags, the error page counter and
    // the lists.
    void Reset();
    // Sends the items and publishes the run's end; returns what the run left.
    RunResult SubmitWorker();
    // The request in flight is completed and, if it failed, recorded; the remaining engines of
    // the current address are passed over and the worker stops before the next item.
    void RequestCancel();
    // Whether the worker has published the end of the run.
    bool WorkerDone() const;

private:
    bool Cancelled() const;
    bool SendResend(PageFetcher& fetcher, const StatusFetcher& https, const std::string& item);
    bool SendToEngines(PageFetcher& fetcher, const std::string& item);
    bool SendToIndexNow(const StatusFetcher& fetcher, const std::string& item);
    bool IsIndexNowRequest(const std::string& url) const;
    bool SendIndexNowRequest(const StatusFetcher& fetcher, std::string_view name,
                             const std::string& item, const std::string& url);
    void IndexNowRecord(std::string_view name, std::string_view reason, long status,
                        const std::string& body, const std::string& item, const std::string& url);
    bool SendAndJudge(PageFetcher& fetcher, const EngineRow* row, const std::string& item,
                      const std::string& url);
    // Records a failure: its error page, the line "<name><suffix> <item>", and the URL to
    // resend when a request was made.
    void FullRecord(const PageLines& lines, SubmitVerdict verdict, std::string_view name,
                    std::string_view suffix, const std::string& item, const std::string& url);

    SubmitJob job_;
    FetchPrompt& prompt_;
    RunObserver& observer_;
    std::vector<std::string> FailureList;
    std::vector<std::string> ResubmitList;
    // The worker publishes the end in the order RunFailedFlag, CancelFlag, WorkerDoneFlag with
    // release stores; whoever sees CancelFlag or WorkerDoneFlag set with an acquire load also
    // sees the final RunFailedFlag.
    std::atomic<bool> CancelFlag{false};
    std::atomic<bool> RunFailedFlag{false};
    std::atomic<bool> WorkerDoneFlag{false};
    std::atomic<std::int32_t> ErrorPageCounter{0};
};

}  // namespace quaymark
