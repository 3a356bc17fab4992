#pragma once

#include <deque>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/channel/channel.h"
#include "engine/channel/run_context.h"
#include "engine/channel/waiting.h"
#include "engine/google/google_auth.h"
#include "engine/google/google_memory.h"
#include "engine/google/search_console.h"

namespace quaymark {

// What a run needs to reach Google Search Console: the service account's key (none: the
// channel is off), Google's quota, the pages' dates, and the pages the run's plan gives it.
struct GoogleJob {
    std::optional<ServiceKey> key{};
    RetryPolicy retry{};
    // Inspections a property may have a day, and a minute.
    int dailyQuota = 2000;
    int minuteQuota = 600;
    std::unordered_map<std::string, PageDates> dates{};
    // The pages the run's plan gives it, heard instead of the run's addresses.
    std::optional<std::vector<std::string>> pages{};
    // What it remembers from one run to the next; nothing is remembered without.
    GoogleMemory* memory = nullptr;

    bool announces() const { return key.has_value(); }
};

// The inspections left today to the property the site is in, as the job's memory counts them:
// its daily quota less those of the last 24 hours.
int InspectionsLeft(const GoogleJob& job, const std::string& site);

// Google Search Console after IndexNow: signed in with the service account, each page matched
// to its property; the remembered sitemaps of the sites with new or changed pages submitted
// (once a day each), then the pages changed since their last inspection inspected, newest
// change first, within the property's quota, the rest waiting for the next run. What Google
// says of each page is kept in the history.
class GoogleChannel : public Channel {
public:
    GoogleChannel(GoogleJob job, const RunRouting& routing, RunControl& control,
                  RunRecorder& recorder);

    std::string_view name() const override { return kGoogleName; }
    RunSteps Prepare(const std::vector<std::string>& addresses) override;
    bool Finish() override;
    bool Resend(const RunRequest& request) override;
    std::string Label(const RunRequest& request) const override;

private:
    // The request sent with a good token: once more with a new one after a 401, and again
    // after a wait where waiting may help.
    StatusAnswer Call(const RunRequest& request);
    // Records the answer; returns whether the request failed.
    bool Judge(std::string_view name, const RunRequest& request, const StatusAnswer& answer);
    std::optional<std::vector<Property>> Properties();
    // The pages to inspect, newest change first, by property; the sites without a property.
    void SubmitSitemaps(const std::map<std::string, std::vector<std::string>>& pages,
                        const std::vector<Property>& properties, bool& failed);
    void Inspect(const std::map<std::string, std::vector<std::string>>& pages, bool& failed);
    // Waits while the property has had its minute's inspections; false when cancelled.
    bool WithinMinute(const std::string& property);
    void TellUnmatched(const std::set<std::string>& unmatched,
                       const std::set<std::string>& matched);
    void Step();

    GoogleJob job_;
    GoogleSignIn signIn_;
    StatusFetcher fetcher_;
    RunControl& control_;
    RunRecorder& recorder_;
    std::vector<std::string> addresses_;
    int steps_ = 0;
    std::string signInProblem_;
    std::map<std::string, std::deque<std::chrono::steady_clock::time_point>> minute_;
    std::vector<GoogleInspection> inspected_;
    std::size_t waiting_ = 0;
    // Each inspection sent, by property, for the quota of the next runs.
    std::vector<std::pair<std::string, std::int64_t>> sent_;
    // The pages still to inspect, and those inspected or with nothing to inspect.
    std::vector<std::string> pending_;
    std::vector<std::string> settled_;
    // A new token was asked for after a 401; a second 401 stops Google for the run.
    bool renewed_ = false;
    bool stopped_ = false;
    std::mt19937 jitter_{std::random_device{}()};
};

// The failure page of a Google request: what the answer means and what to do, then Google's
// own answer; never the key.
PageLines GoogleFailurePage(std::string_view reason, std::string_view advice,
                            const StatusAnswer& answer, std::string_view label);

}  // namespace quaymark
