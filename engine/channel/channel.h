#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "storage/history_records.h"

namespace quaymark {

// The engine text and failure-line name of every request in resend mode.
inline constexpr std::string_view kResendName = "Sending";

// What came of one request, as its channel judged it: taken; refused; taken before, so nothing
// new was done; the address itself refused as no valid one; the engine could not reach the
// site; no answer to judge at all.
enum class SubmitVerdict : int {
    Accepted = 0,
    Failed = 1,
    AlreadyKnown = 2,
    AddressRefused = 3,
    SiteUnreachable = 4,
    NoAnswer = 5,
};

// One request a run sent, to be sent again as it was: the channel that sends it and its
// complete request URL; for a request that posts, also its body and its host. Also what
// the history names it by: the engine's name (or the channel's) and the addresses it is for.
struct RunRequest {
    std::string channel;
    std::string url;
    std::string body{};
    std::string host{};
    std::vector<std::string> addresses{};
    std::string engine{};

    bool operator==(const RunRequest&) const = default;
};

// A failure as a run records it: the engine (or the channel), its verdict, the item, and its
// text "<engine><suffix>". What a window makes of it is the window's choice.
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
    // The run begins: so many items, each taking so many steps, and so many steps beyond them
    // (what the channels take once the items have had their turn).
    virtual void RunStarted(int itemCount, int stepsPerItem, int extraSteps) = 0;
    virtual void AddressStarted(const std::string& item) = 0;
    // An engine's turn, or the resend's.
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

// How many steps a run takes in all: what fills the progress bar.
constexpr long long TotalSteps(int itemCount, int stepsPerItem, int extraSteps) {
    return static_cast<long long>(itemCount) * stepsPerItem + extraSteps;
}

// A failure as a value until a person reads it: the channel that failed, the name its line
// gives (the engine's, the channel's, or the resend's), its verdict, the answer's HTTP status
// (0: none came, or the channel does not tell), what went wrong as the line words it
// ("failed.", "too many requests (429)."; empty where the verdict says it all), what it
// concerned, whether its request was kept to send again, and the error page that explains it.
struct Failure {
    std::string channel{};
    std::string engine{};
    SubmitVerdict verdict = SubmitVerdict::Failed;
    long status = 0;
    std::string detail{};
    std::string target{};
    bool resendable = false;
    std::filesystem::path page{};
};

// "<engine>: <detail> <target>", the one wording of a failure's line: the failures window's,
// the progress window's and the announcer's.
std::string FailureLine(const Failure& failure);

// What a run leaves: whether any request failed, its failures in order (line n has error page
// n), the failed requests to send again, Google's included, and what else the user should
// know of it (a key still being checked).
struct RunResult {
    bool failed = false;
    std::vector<Failure> FailureList;
    std::vector<RunRequest> ResubmitList;
    std::vector<std::string> notes;
    // Failures with no request to send again: a channel that failed before it could send
    // (its sign-in, its list of properties), an address it cannot take.
    std::size_t unsendable = 0;
};

// What a run records of each request it sends. From the worker thread; a record that cannot
// be kept costs the run nothing.
class RequestLog {
public:
    virtual ~RequestLog() = default;
    virtual void Record(HistoryRow row) = 0;
    // The run's records so far are handed on to be written; returns at once.
    virtual void HandOn() {}
    // The last acceptance through the channel and the last change of every page known; the
    // worker waits for them, the UI thread never does.
    virtual std::unordered_map<std::string, PageDates> AnnouncedDates(const std::string&) {
        return {};
    }
    // The last check of every page and what each site's lastmods are worth; the worker waits.
    virtual std::unordered_map<std::string, PageCheckRecord> PageChecks() { return {}; }
    virtual std::vector<LastmodTrust> LastmodTrusts() { return {}; }
    // What the checks found, written in its turn.
    virtual void KeepChecks(std::vector<PageCheckRecord> /*checks*/,
                            std::vector<LastmodTrust> /*trust*/) {}
    // The gate's last check of each host's IndexNow key; the worker waits.
    virtual std::vector<KeyCheckRecord> KeyChecks() { return {}; }
    virtual void KeepKeyChecks(std::vector<KeyCheckRecord> /*checks*/) {}
};

// The progress a channel takes in a run: so many steps for each address, so many beyond them.
struct RunSteps {
    int perAddress = 0;
    int beyond = 0;
};

// One way of announcing pages; engine/run/channel_kinds.h lists them and tells how to add
// one. A run hands every channel the same addresses in turn; a channel tells the run's
// observer, records into the run's result and history, and sends its own failed requests
// again.
class Channel {
public:
    virtual ~Channel() = default;
    // The name its requests carry, so that a resend finds the channel that sent them.
    virtual std::string_view name() const = 0;
    // Normal mode, before the run starts: the channel learns the run's addresses and says
    // how many steps it takes.
    virtual RunSteps Prepare(const std::vector<std::string>& addresses) = 0;
    // Normal mode, each address in list order; returns whether a request failed.
    virtual bool SendAddress(const std::string& /*address*/) { return false; }
    // Normal mode, once every address has had its turn and the run is not cancelled.
    virtual bool Finish() { return false; }
    // Resend mode: one of its own failed requests, sent again as it was.
    virtual bool Resend(const RunRequest& request) = 0;
    // How the progress window and the failure lines name one of its requests.
    virtual std::string Label(const RunRequest& request) const = 0;
};

}  // namespace quaymark
