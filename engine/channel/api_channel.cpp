#include "engine/channel/api_channel.h"

#include <algorithm>
#include <ctime>

#include "base/counted.h"
#include "engine/channel/error_pages.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

using Kind = ApiJudgement::Kind;

constexpr std::string_view kMask = "****";

void Mask(std::string& text, std::string_view credential) {
    for (std::size_t at = 0;
         !credential.empty() && (at = text.find(credential, at)) != std::string::npos;) {
        text.replace(at, credential.size(), kMask);
        at += kMask.size();
    }
}

PageLines FailurePage(std::string_view engine, const ApiJudgement& judged,
                      const StatusAnswer& answer, std::string_view label) {
    PageLines page{
        "<HTML>",
        "<FONT SIZE=5>" + EscapeHtml(engine) + ": " + EscapeHtml(judged.reason) + "</FONT><BR>",
        "<FONT SIZE=4>" + EscapeHtml(label) + "</FONT><BR><BR>",
        EscapeHtml(judged.advice) + "<BR><BR>",
    };
    AppendAnswer(page, std::string(engine) + "'s answer:", answer);
    return page;
}

std::string Status(const StatusAnswer& answer) {
    return answer.status == 0 ? std::string("no answer") : std::to_string(answer.status);
}

}  // namespace

std::optional<ApiJudgement> SharedJudgement(const StatusAnswer& answer, std::string_view engine) {
    const long status = answer.status;
    const std::string what = std::to_string(status);
    const std::string name(engine);
    if (status == 0) {
        return ApiJudgement{.kind = Kind::Refused,
                            .reason = Describe(answer.failure),
                            .advice = "No answer came from " + name +
                                      ". Be sure you are connected to the Internet."};
    }
    if (status >= 300 && status <= 399) {
        return ApiJudgement{.kind = Kind::Refused,
                            .reason = "redirected (" + what + ")",
                            .advice = name +
                                      " sent the request elsewhere; it was not followed, "
                                      "so that the credential goes nowhere else."};
    }
    if (status == 429) {
        return ApiJudgement{.kind = Kind::Refused,
                            .reason = "too many requests (429)",
                            .advice = name + " takes no more requests for now. Try again later."};
    }
    if (status >= 500 && status <= 599) {
        return ApiJudgement{.kind = Kind::Refused,
                            .reason = "server error (" + what + ")",
                            .advice = name + " had a problem of its own. Try again later."};
    }
    return std::nullopt;
}

StatusAnswer WithoutCredential(StatusAnswer answer, std::string_view credential) {
    Mask(answer.statusLine, credential);
    Mask(answer.body, credential);
    Mask(answer.location, credential);
    Mask(answer.failure.detail, credential);
    return answer;
}

std::map<std::string, std::vector<std::string>> PagesBySite(
    const std::vector<std::string>& pages, const std::vector<std::string>& served) {
    std::map<std::string, std::vector<std::string>> sites;
    for (const std::string& page : pages) {
        const std::optional<std::string> site = SiteRoot(page);
        if (site && (served.empty() || std::ranges::find(served, *site) != served.end())) {
            sites[*site].push_back(page);
        }
    }
    return sites;
}

ApiChannel::ApiChannel(std::string_view name, std::unique_ptr<EngineApi> api, ApiJob job,
                       RetryPolicy retry, RunControl& control, RunRecorder& recorder)
    : name_(name),
      api_(std::move(api)),
      job_(std::move(job)),
      retry_(retry),
      control_(control),
      recorder_(recorder) {
    kept_.channel = std::string(name_);
}

std::string ApiChannel::Label(const RunRequest& request) const {
    if (request.addresses.empty()) {
        return "quota of " + request.host;
    }
    return request.addresses.size() == 1
               ? request.addresses.front()
               : request.host + " (" + Counted(request.addresses.size(), "page", "pages") + ")";
}

RunSteps ApiChannel::Prepare(const std::vector<std::string>& addresses) {
    sites_ = PagesBySite(job_.pages.value_or(addresses), job_.settings.sites);
    const std::size_t batch = std::max<std::size_t>(api_->BatchSize(), 1);
    for (const auto& [site, pages] : sites_) {
        steps_ += 1 + static_cast<int>((pages.size() + batch - 1) / batch);
    }
    return {.beyond = steps_};
}

void ApiChannel::Step() {
    if (steps_ > 0 && !control_.Cancelled()) {
        --steps_;
        recorder_.observer().RequestDone();
    }
}

void ApiChannel::Wait(const std::vector<std::string>& pages, std::size_t from) {
    kept_.waiting.insert(kept_.waiting.end(), pages.begin() + static_cast<std::ptrdiff_t>(from),
                         pages.end());
}

void ApiChannel::Fail(std::string_view name, const RunRequest& request, const StatusAnswer& answer,
                      const ApiJudgement& judged, bool resendable) {
    const StatusAnswer shown = WithoutCredential(answer, job_.credential);
    recorder_.FullRecord(FailurePage(name_, judged, shown, Label(request)),
                         {.channel = std::string(name_),
                          .engine = std::string(name),
                          .status = answer.status,
                          .detail = judged.reason + ".",
                          .target = Label(request)},
                         resendable ? request : RunRequest{});
    if (judged.kind == Kind::CredentialRefused && !stopped_) {
        stopped_ = true;
        recorder_.Note(std::string(name_) + ": " + judged.advice +
                       " What is left waits for the next run.");
    }
}

ApiJudgement ApiChannel::Record(std::string_view name, const RunRequest& request,
                                const StatusAnswer& answer) {
    // A quota spent is the engine's to tell, even as a 429.
    ApiJudgement judged = api_->Judge(request, answer);
    if (std::optional<ApiJudgement> shared = SharedJudgement(answer, name_);
        shared && judged.kind != Kind::QuotaSpent) {
        judged = std::move(*shared);
    }
    if (judged.kind == Kind::QuotaSpent) {
        recorder_.Log(request, Status(answer), judged.reason, false);
        return judged;
    }
    if (judged.kind != Kind::Accepted) {
        recorder_.Log(request, Status(answer), judged.reason, false);
        Fail(name, request, answer, judged, true);
        return judged;
    }
    RunRequest taken = request;
    RunRequest refused = request;
    std::erase_if(taken.addresses, [&](const std::string& a) {
        return std::ranges::find(judged.refused, a) != judged.refused.end();
    });
    std::erase_if(refused.addresses, [&](const std::string& a) {
        return std::ranges::find(judged.refused, a) == judged.refused.end();
    });
    recorder_.Log(taken, Status(answer), std::string(), true);
    accepted_ += taken.addresses.size();
    if (!refused.addresses.empty()) {
        recorder_.Log(refused, Status(answer), judged.refusedReason, false);
        Fail(name, refused, answer,
             {.kind = Kind::Refused,
              .reason = judged.refusedReason,
              .advice = "The engine took the other pages of the request but not these."},
             true);
    }
    return judged;
}

bool ApiChannel::SendSite(const std::string& site, const std::vector<std::string>& pages) {
    RunObserver& observer = recorder_.observer();
    observer.AddressStarted(site);
    observer.EngineStarted(name_);
    const QuotaAsk ask = api_->AskQuota(site);
    Step();
    if (ask.failure) {
        Fail(name_, ask.request, ask.answer, *ask.failure, false);
        Wait(pages, 0);
        if (ask.failure->kind == Kind::NotVerified) {
            recorder_.Note(std::string(name_) + ": " + ask.failure->advice);
        }
        return true;
    }
    std::optional<int> left;
    std::optional<int> monthLeft;
    if (ask.reading) {
        monthLeft = ask.reading->monthlyLeft;
        left = std::min(ask.reading->dailyLeft, monthLeft.value_or(ask.reading->dailyLeft));
    }
    const std::size_t batchSize = std::max<std::size_t>(api_->BatchSize(), 1);
    bool failed = false;
    std::size_t next = 0;
    while (next < pages.size() && !control_.Cancelled() && !stopped_) {
        if (left && *left <= 0) {
            break;
        }
        std::size_t count = std::min(batchSize, pages.size() - next);
        if (left) {
            count = std::min(count, static_cast<std::size_t>(*left));
        }
        const std::vector<std::string> batch(
            pages.begin() + static_cast<std::ptrdiff_t>(next),
            pages.begin() + static_cast<std::ptrdiff_t>(next + count));
        const RunRequest request = api_->Request(site, batch);
        observer.AddressStarted(Label(request));
        const StatusAnswer answer =
            SendWithBackoff([&] { return api_->Send(request); }, retry_, name_, control_, observer,
                            jitter_, [&](const StatusAnswer& a) { return api_->WorthWaiting(a); });
        const ApiJudgement judged = Record(name_, request, answer);
        Step();
        if (judged.kind == Kind::QuotaSpent) {
            left = 0;
            break;
        }
        next += count;
        if (judged.kind != Kind::Accepted) {
            failed = true;
            Wait(batch, 0);
            if (judged.kind == Kind::NotVerified) {
                recorder_.Note(std::string(name_) + ": " + judged.advice);
                break;
            }
            continue;
        }
        kept_.settled.insert(kept_.settled.end(), batch.begin(), batch.end());
        if (judged.remain) {
            left = *judged.remain;
        } else if (left) {
            *left -= static_cast<int>(count);
        }
        if (monthLeft) {
            *monthLeft -= static_cast<int>(count);
        }
    }
    if (next < pages.size()) {
        Wait(pages, next);
        if (left && *left <= 0) {
            recorder_.Note(std::string(name_) + ": the quota of " + site + " is spent for today; " +
                           Counted(pages.size() - next, "page waits", "pages wait") +
                           " for the next run.");
        }
    }
    if (left) {
        kept_.quotas.push_back({.channel = std::string(name_),
                                .site = site,
                                .at = std::time(nullptr),
                                .dailyLeft = std::max(*left, 0),
                                .dailyQuota = ask.reading ? ask.reading->dailyQuota : std::nullopt,
                                .monthlyLeft = monthLeft});
    }
    if (!stopped_ && !control_.Cancelled()) {
        std::vector<EngineDay> days = api_->Figures(site);
        kept_.days.insert(kept_.days.end(), std::make_move_iterator(days.begin()),
                          std::make_move_iterator(days.end()));
    }
    return failed;
}

bool ApiChannel::Finish() {
    bool failed = false;
    for (const auto& [site, pages] : sites_) {
        if (stopped_ || control_.Cancelled()) {
            Wait(pages, 0);
            continue;
        }
        failed = SendSite(site, pages) || failed;
    }
    if (accepted_ > 0 || !kept_.waiting.empty()) {
        recorder_.Note(std::string(name_) + ": " + Counted(accepted_, "page", "pages") +
                       " accepted, " + std::to_string(kept_.waiting.size()) +
                       " waiting for the next run.");
    }
    if (job_.memory != nullptr) {
        job_.memory->Keep(std::move(kept_));
    }
    while (steps_ > 0 && !control_.Cancelled()) {
        Step();
    }
    return failed;
}

bool ApiChannel::Resend(const RunRequest& request) {
    // Turned off since: without its credential the engine could only refuse it.
    if (job_.credential.empty()) {
        Fail(kResendName, request, {},
             {.kind = Kind::Refused,
              .reason = "not sent: the channel is off",
              .advice = "Turn " + std::string(name_) +
                        " on in the Channels window, with its credential, and send it again."},
             true);
        return true;
    }
    const StatusAnswer answer = SendWithBackoff(
        [&] { return api_->Send(request); }, retry_, name_, control_, recorder_.observer(), jitter_,
        [&](const StatusAnswer& a) { return api_->WorthWaiting(a); });
    const ApiJudgement judged = Record(kResendName, request, answer);
    if (judged.kind == Kind::QuotaSpent) {
        Fail(kResendName, request, answer, judged, true);
    }
    if (job_.memory != nullptr && judged.kind == Kind::Accepted) {
        job_.memory->Keep({.channel = std::string(name_), .settled = request.addresses});
    }
    return judged.kind != Kind::Accepted || !judged.refused.empty();
}

}  // namespace quaymark
