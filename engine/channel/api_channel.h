#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/channel/channel.h"
#include "engine/channel/quota_memory.h"
#include "engine/channel/run_context.h"
#include "engine/channel/waiting.h"
#include "engine/net/status_fetcher.h"
#include "storage/indexnow_settings.h"

namespace quaymark {

// What the user is told of an engine's own channel where it is set up: the name of its section
// and command ("bing"), its credential and where the engine gives it, the sites it takes, and,
// where the engine answers only plain http, the warning read before choosing it.
struct AccountKind {
    std::string_view section;
    std::string_view credential;
    std::string_view where;
    std::string_view sites;
    std::string_view plainHttpWarning{};
};

// What a run needs to announce through an engine's own API: the user's settings for it, the
// credential the engine gave, the pages the run's plan gives it and its memory.
struct ApiJob {
    AccountSettings settings{};
    std::string credential{};
    std::optional<std::vector<std::string>> pages{};
    QuotaMemory* memory = nullptr;

    bool announces() const { return settings.enabled && !credential.empty(); }
};

// How an engine judged one request, by its own rules.
struct ApiJudgement {
    enum class Kind {
        Accepted,
        QuotaSpent,         // nothing more today: the rest waits
        NotVerified,        // the site is not the user's in the engine's tools
        CredentialRefused,  // the engine took no request of this credential
        Refused,            // this request, for its own reasons
        Unreadable,         // an answer that is not the API's
    };
    Kind kind = Kind::Accepted;
    // What went wrong and what to do, in the user's words; empty when accepted.
    std::string reason{};
    std::string advice{};
    // Of an accepted request, the addresses the engine would not take, and why.
    std::vector<std::string> refused{};
    std::string refusedReason{};
    // What is left of today's quota, where the answer tells.
    std::optional<int> remain{};
};

// A site's quota as the engine told it, or the request that failed to ask it.
struct QuotaAsk {
    // None when the engine tells its quota only as it takes pages.
    std::optional<QuotaReading> reading{};
    RunRequest request{};
    StatusAnswer answer{};
    std::optional<ApiJudgement> failure{};
};

// One engine's API, as its channel drives it. Its requests never hold the credential: Send adds
// it, so that no history row, resend or error page can carry it.
class EngineApi {
public:
    virtual ~EngineApi() = default;
    // At most so many pages in one request.
    virtual std::size_t BatchSize() const = 0;
    virtual QuotaAsk AskQuota(const std::string& site) = 0;
    virtual RunRequest Request(const std::string& site, const std::vector<std::string>& pages) = 0;
    virtual StatusAnswer Send(const RunRequest& request) = 0;
    // An answer of the API's own (2xx, 4xx); the statuses every API shares are judged before.
    virtual ApiJudgement Judge(const RunRequest& request, const StatusAnswer& answer) = 0;
    // A 429 or 5xx that waiting may help; a quota spent for the day is not one.
    virtual bool WorthWaiting(const StatusAnswer& /*answer*/) { return true; }
    // What the engine tells of the site by day; nothing when it tells nothing or cannot be asked.
    virtual std::vector<EngineDay> Figures(const std::string& /*site*/) { return {}; }
};

// The statuses every API shares: no answer, a redirect (never followed), 429 and 5xx after
// their waits; none for an answer the API judges itself.
std::optional<ApiJudgement> SharedJudgement(const StatusAnswer& answer, std::string_view engine);

// The answer with every appearance of the credential masked, as an error page may show it.
StatusAnswer WithoutCredential(StatusAnswer answer, std::string_view credential);

// A channel of an engine's own API: the plan's pages by site (those of the sites it serves),
// each site's quota asked first, pages sent in batches within it in the plan's order, the rest
// waiting for the next run; the engine's figures read after. A refused credential stops the
// channel for the run; a site the engine does not know as the user's stops that site.
class ApiChannel : public Channel {
public:
    ApiChannel(std::string_view name, std::unique_ptr<EngineApi> api, ApiJob job, RetryPolicy retry,
               RunControl& control, RunRecorder& recorder);

    std::string_view name() const override { return name_; }
    RunSteps Prepare(const std::vector<std::string>& addresses) override;
    bool Finish() override;
    bool Resend(const RunRequest& request) override;
    std::string Label(const RunRequest& request) const override;

private:
    // Sends one site's pages within its quota; returns whether a request failed.
    bool SendSite(const std::string& site, const std::vector<std::string>& pages);
    // Judges and records one request's answer.
    ApiJudgement Record(std::string_view name, const RunRequest& request,
                        const StatusAnswer& answer);
    void Fail(std::string_view name, const RunRequest& request, const StatusAnswer& answer,
              const ApiJudgement& judged, bool resendable);
    void Step();
    void Wait(const std::vector<std::string>& pages, std::size_t from);

    std::string_view name_;
    std::unique_ptr<EngineApi> api_;
    ApiJob job_;
    RetryPolicy retry_;
    RunControl& control_;
    RunRecorder& recorder_;
    std::map<std::string, std::vector<std::string>> sites_;
    int steps_ = 0;
    bool stopped_ = false;
    std::size_t accepted_ = 0;
    QuotaKept kept_;
    std::mt19937 jitter_{std::random_device{}()};
};

// The pages of the sites a channel serves, by site, in the plan's order: every site when it
// names none.
std::map<std::string, std::vector<std::string>> PagesBySite(const std::vector<std::string>& pages,
                                                            const std::vector<std::string>& served);

}  // namespace quaymark
