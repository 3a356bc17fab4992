#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/classify.h"
#include "engine/page_fetcher.h"

namespace quaymark {

// Ids of the progress window's text controls that a run writes.
inline constexpr int kAddressTextId = 1001;
inline constexpr int kEngineTextId = 1002;
inline constexpr int kStatusTextId = 1004;

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

// What the progress window offers a run. Calls come from the worker thread and return once
// the window has carried them out.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    // The number of entries in the run and how many steps each takes (7, or 1 when resending).
    virtual void SetAddressCount(int count, int stepsPerEntry) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void SetText(int controlId, const std::string& text) = 0;
    virtual void StepProgress() = 0;
};

// What a run fills: the failure lines (line n belongs to error page n), the request URLs to
// resend, and the e-mail address it reads for every request. The main window is one; the
// failures window's Re-Submit uses a fresh one that has no window.
class SubmitResults {
public:
    virtual ~SubmitResults() = default;

    // Adds the failure line "<engine><suffix> <item>" and, for most verdicts, shows
    // "<engine><suffix>" in the progress window's status text.
    void AppendFailure(ProgressView& progress, SubmitVerdict verdict, std::string_view engine,
                       std::string_view item);

    std::vector<std::string> FailureList;
    std::vector<std::string> ResubmitList;
    std::string m_strEmail;
};

// The failure-line suffix of a verdict, such as ": failed.".
std::string_view FailureSuffix(SubmitVerdict verdict);

struct SubmitJob {
    enum Mode : std::uint8_t { Normal = 0, Resend = 1 };

    SubmitResults* mainDlg = nullptr;
    ProgressView* progressDlg = nullptr;
    const std::vector<std::string>* items = nullptr;
    std::uint8_t mode = Normal;
    FetchPrompt* prompt = nullptr;
    FetchLimits limits;
    // Where the error pages go: a directory of the program's own.
    std::filesystem::path errorPageDir;
    // Test routing for the run's fetcher; empty in the program.
    std::map<std::string, std::uint16_t> connectTo;
    // Wakes the waiting starter once the run's end is published.
    std::function<void()> wakeStarter;
};

// Sends the job's items and publishes the end of the run; returns the RunFailedFlag value.
int SubmitWorker(const SubmitJob* job);

}  // namespace quaymark
