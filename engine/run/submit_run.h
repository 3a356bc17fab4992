#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/channel/api_channel.h"
#include "engine/channel/channel.h"
#include "engine/channel/run_context.h"
#include "engine/google/google_channel.h"
#include "engine/indexnow/indexnow.h"
#include "engine/indexnow/status_meaning.h"
#include "engine/net/page_fetcher.h"
#include "engine/run/run_plan.h"

namespace quaymark {

// What a run is given.
struct SubmitJob {
    enum Mode : std::uint8_t { Normal = 0, Resend = 1 };

    std::uint8_t mode = Normal;
    // Normal mode: the addresses, in sending order.
    std::vector<std::string> items{};
    // Resend mode: the failed requests of an earlier run, in sending order.
    std::vector<RunRequest> resendItems{};
    // The e-mail address every request of the run carries; it cannot change during a run.
    std::string email{};
    // Where the error pages go: a directory of the program's own.
    std::filesystem::path errorPageDir{};
    // Sending to the seven classic add-URL pages; on by default.
    bool classic = true;
    // Announcing the addresses through IndexNow after the seven engines; off by default.
    IndexNowJob indexNow{};
    // Google Search Console after IndexNow; off unless a key is given.
    GoogleJob google{};
    // The engines' own APIs, by their settings' section; off when not here.
    std::map<std::string, ApiJob, std::less<>> apis{};
    RetryPolicy retry{};
    RunRouting routing{};
    // Where every request is recorded; none when there is no history.
    RequestLog* log = nullptr;
    // What is known of the pages, when the caller knows it; else the history is asked.
    std::unordered_map<std::string, PageDates> dates{};
    // What each channel sends, when the caller decided it; else the run decides.
    std::optional<RunPlan> plan{};
};

// One submission run, used once: the starter hands SubmitWorker to a thread of its own. The run
// hands its addresses to each of its channels in turn and knows nothing of what a channel does; it
// keeps its state to itself, so runs do not meet.
class SubmitRun {
public:
    // The stop token is the user's cancel request, from any thread: the request in flight is
    // completed and, if it failed, recorded; the remaining requests of the current address
    // are passed over and the worker stops before the next item.
    SubmitRun(SubmitJob job, FetchPrompt& prompt, RunObserver& observer, std::stop_token stop = {});

    // Sends the items; returns what the run left.
    RunResult SubmitWorker();

private:
    // Decides what each channel hears of: the pages their checks let through to its robots,
    // and of those only the new or changed ones where its settings ask so.
    void Plan();
    bool SendEach(std::vector<std::unique_ptr<Channel>>& channels);
    bool SendAgain(std::vector<std::unique_ptr<Channel>>& channels);

    SubmitJob job_;
    FetchPrompt& prompt_;
    RunObserver& observer_;
    RunControl control_;
    RunRecorder recorder_;
};

}  // namespace quaymark
