#include "engine/google/google_channel.h"

#include <algorithm>
#include <ctime>
#include <set>
#include <thread>

#include "engine/channel/error_pages.h"
#include "engine/net/http_text.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

constexpr std::int64_t kDaySeconds = 24 * 60 * 60;
// How long each inspection sent is kept for the quota: a day, and one more to spare.
constexpr std::int64_t kSentKeptSeconds = 2 * kDaySeconds;
constexpr std::string_view kJsonType = "application/json; charset=utf-8";
// How the failure lines name the sign-in and the properties' list.
constexpr std::string_view kSignInLabel = "sign-in";
// The status given to a 200 whose body is not what the API answers.
constexpr long kUnreadable = -1;

bool IsSitemapSubmission(const RunRequest& request) {
    return request.url.find("/sitemaps/") != std::string::npos;
}

bool Accepted(long status) {
    return status == 200 || status == 204;
}

// What an answer means and what to do about it, in our words.
struct Meaning {
    std::string reason;
    std::string advice;
};

Meaning MeaningOf(const StatusAnswer& answer, std::string_view property, std::string_view account) {
    const long status = answer.status;
    const std::string what = std::to_string(status);
    if (status == 0) {
        return {Describe(answer.failure),
                "No answer came from Google. Be sure you are connected to the Internet."};
    }
    if (status == kUnreadable) {
        return {"an answer that could not be read",
                "Google answered, but not as its API does. Try again later."};
    }
    if (status == 401) {
        return {"not signed in (401)",
                "Google did not take the service account's token, even a new one. Choose the key "
                "file again in the Channels window: the key may have been deleted in Google "
                "Cloud."};
    }
    if (status == 403) {
        return {"the service account is not an owner of " + std::string(property) + " (403)",
                "In Search Console, open the property " + std::string(property) +
                    ", then Settings, Users and permissions, and add " + std::string(account) +
                    " as an owner."};
    }
    if (status == 404) {
        return {"not found (404)",
                "Google knows no such property or address. Check that the property in Search "
                "Console covers the page or sitemap."};
    }
    if (status == 429) {
        return {"too many requests (429)",
                "Google takes no more requests for the property for now. What is left waits for "
                "the next run."};
    }
    if (status >= 500 && status <= 599) {
        return {"server error (" + what + ")", "Google had a problem of its own. Try again later."};
    }
    return {"answered " + what, "The request was not taken."};
}

}  // namespace

PageLines GoogleFailurePage(std::string_view reason, std::string_view advice,
                            const StatusAnswer& answer, std::string_view label) {
    PageLines page{
        "<HTML>",
        "<FONT SIZE=5>" + std::string(kGoogleName) + ": " + EscapeHtml(reason) + "</FONT><BR>",
        "<FONT SIZE=4>" + EscapeHtml(label) + "</FONT><BR><BR>",
        EscapeHtml(advice) + "<BR><BR>",
    };
    AppendAnswer(page, "Google's answer:", answer);
    return page;
}

GoogleChannel::GoogleChannel(GoogleJob job, const RunRouting& routing, RunControl& control,
                             RunRecorder& recorder)
    : job_(std::move(job)),
      signIn_(job_.key.value_or(ServiceKey{}), routing),
      fetcher_(routing),
      control_(control),
      recorder_(recorder) {}

std::string GoogleChannel::Label(const RunRequest& request) const {
    if (request.addresses.empty()) {
        return std::string(kSignInLabel);
    }
    return (IsSitemapSubmission(request) ? "sitemap " : "inspection of ") +
           request.addresses.front();
}

RunSteps GoogleChannel::Prepare(const std::vector<std::string>& addresses) {
    addresses_ = job_.pages.value_or(addresses);
    steps_ = 1 + static_cast<int>(addresses_.size());
    return {.beyond = steps_};
}

void GoogleChannel::Step() {
    if (steps_ > 0 && !control_.Cancelled()) {
        --steps_;
        recorder_.observer().RequestDone();
    }
}

StatusAnswer GoogleChannel::Call(const RunRequest& request) {
    using Method = ApiRequest::Method;
    StatusAnswer answer;
    signInProblem_.clear();
    for (;;) {
        const TokenAnswer token = signIn_.Token(std::time(nullptr));
        if (!token.token) {
            signInProblem_ = token.problem;
            return {.status = token.status, .statusLine = token.problem};
        }
        const ApiRequest api{
            .method = request.url == kInspectUrl     ? Method::Post
                      : IsSitemapSubmission(request) ? Method::Put
                                                     : Method::Get,
            .url = request.url,
            .body = request.body,
            .contentType = request.body.empty() ? std::string() : std::string(kJsonType),
            .authorization = "Bearer " + token.token->token};
        answer = SendWithBackoff([&] { return fetcher_.Send(api); }, job_.retry, kGoogleName,
                                 control_, recorder_.observer(), jitter_);
        if (answer.status != 401) {
            return answer;
        }
        // The token may have been revoked: one new one a run is worth asking. A 401 after
        // that would cost a sign-in and a request for every page; Google waits instead.
        if (renewed_) {
            stopped_ = true;
            return answer;
        }
        renewed_ = true;
        signIn_.Forget();
    }
}

bool GoogleChannel::Judge(std::string_view name, const RunRequest& request,
                          const StatusAnswer& answer) {
    const bool accepted = Accepted(answer.status) && signInProblem_.empty();
    Meaning meaning = MeaningOf(answer, request.host, signIn_.account());
    if (!signInProblem_.empty()) {
        meaning = {signInProblem_,
                   "The service account could not sign in. Check that its key file is the one "
                   "Google Cloud gave and that the key has not been deleted; choose it again in "
                   "the Channels window."};
    }
    recorder_.Log(request,
                  answer.status == 0 ? std::string("no answer") : std::to_string(answer.status),
                  accepted ? std::string() : meaning.reason, accepted);
    if (accepted) {
        return false;
    }
    const std::string message = ApiErrorMessage(answer.body);
    const std::string reason =
        meaning.reason + (message.empty() || !signInProblem_.empty() ? "" : ": " + message);
    recorder_.FullRecord(GoogleFailurePage(reason, meaning.advice, answer, Label(request)),
                         {.channel = std::string(kGoogleName),
                          .engine = std::string(name),
                          .status = answer.status,
                          .detail = reason + ".",
                          .target = Label(request)},
                         request.addresses.empty() ? RunRequest{} : request);
    return true;
}

std::optional<std::vector<Property>> GoogleChannel::Properties() {
    const RunRequest request{.channel = std::string(kGoogleName),
                             .url = std::string(kSitesUrl),
                             .engine = std::string(kGoogleName)};
    const StatusAnswer answer = Call(request);
    std::optional<std::vector<Property>> properties;
    if (Accepted(answer.status) && signInProblem_.empty()) {
        properties = ReadProperties(answer.body);
    }
    if (!properties) {
        StatusAnswer told = answer;
        if (Accepted(answer.status) && signInProblem_.empty()) {
            told.status = kUnreadable;  // a 200 that is no list of properties
        }
        Judge(kGoogleName, request, told);
    }
    return properties;
}

void GoogleChannel::SubmitSitemaps(const std::map<std::string, std::vector<std::string>>& pages,
                                   const std::vector<Property>& properties, bool& failed) {
    GoogleMemory* memory = job_.memory;
    if (memory == nullptr) {
        return;  // no remembered sitemap without a history
    }
    const std::vector<RememberedSitemap> sitemaps = memory->Sitemaps();
    const std::unordered_map<std::string, std::int64_t> submitted = memory->SitemapSubmissions();
    const std::int64_t now = std::time(nullptr);
    std::set<std::string> sites;
    for (const auto& [property, propertyPages] : pages) {
        for (const std::string& page : propertyPages) {
            sites.insert(SiteRoot(page).value_or(""));
        }
    }
    // A sitemap goes to the one property that covers its own address, once.
    std::vector<std::pair<std::string, std::int64_t>> done;
    std::set<std::string> sent;
    for (const RememberedSitemap& sitemap : sitemaps) {
        const auto last = submitted.find(sitemap.sitemap);
        const std::optional<std::string> property = PropertyFor(sitemap.sitemap, properties);
        if (sites.count(sitemap.site) == 0 || !property || stopped_ || control_.Cancelled() ||
            !sent.insert(sitemap.sitemap).second ||
            (last != submitted.end() && now - last->second < kDaySeconds)) {
            continue;
        }
        const RunRequest request{.channel = std::string(kGoogleName),
                                 .url = SitemapSubmitUrl(*property, sitemap.sitemap),
                                 .host = *property,
                                 .addresses = {sitemap.sitemap},
                                 .engine = std::string(kGoogleName)};
        recorder_.observer().AddressStarted(sitemap.sitemap);
        const bool refused = Judge(kGoogleName, request, Call(request));
        failed = refused || failed;
        if (!refused) {
            done.emplace_back(sitemap.sitemap, now);
        }
    }
    memory->KeepSitemapSubmissions(std::move(done));
}

bool GoogleChannel::WithinMinute(const std::string& property) {
    using Clock = std::chrono::steady_clock;
    const std::chrono::milliseconds minute = 60 * job_.retry.second;
    std::deque<Clock::time_point>& sent = minute_[property];
    while (!sent.empty() && Clock::now() - sent.front() >= minute) {
        sent.pop_front();
    }
    if (static_cast<int>(sent.size()) >= job_.minuteQuota) {
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(sent.front() + minute - Clock::now());
        RunObserver& observer = recorder_.observer();
        observer.WaitStarted(
            kGoogleName,
            std::chrono::seconds(std::max<std::int64_t>(
                1, wait.count() / std::max<std::int64_t>(1, job_.retry.second.count()))),
            "Google's quota of inspections a minute");
        const bool goOn = control_.WaitUnlessCancelled(wait);
        observer.WaitEnded();
        if (!goOn) {
            return false;
        }
        sent.pop_front();
    }
    sent.push_back(Clock::now());
    return true;
}

int InspectionsLeft(const GoogleJob& job, const std::string& site) {
    if (job.memory == nullptr) {
        return job.dailyQuota;
    }
    int spent = 0;
    const std::string host = HostOf(site).value_or("");
    constexpr std::string_view kDomain = "sc-domain:";
    for (const auto& [property, count] :
         job.memory->InspectionsSince(std::time(nullptr) - kDaySeconds)) {
        const std::string_view domain = std::string_view(property).substr(
            property.rfind(kDomain, 0) == 0 ? kDomain.size() : property.size());
        const bool covers =
            property == site ||
            (!domain.empty() &&
             (host == domain || (host.size() > domain.size() && host.ends_with(domain) &&
                                 host[host.size() - domain.size() - 1] == '.')));
        if (covers) {
            spent = std::max(spent, count);
        }
    }
    return std::max(job.dailyQuota - spent, 0);
}

void GoogleChannel::Inspect(const std::map<std::string, std::vector<std::string>>& pages,
                            bool& failed) {
    std::map<std::string, int> spent;
    if (job_.memory != nullptr) {
        spent = job_.memory->InspectionsSince(std::time(nullptr) - kDaySeconds);
    }
    for (const auto& [property, propertyPages] : pages) {
        bool refused = false;
        for (const std::string& page : propertyPages) {
            if (control_.Cancelled()) {
                return;
            }
            if (refused || stopped_ || spent[property] >= job_.dailyQuota ||
                !WithinMinute(property)) {
                ++waiting_;  // carried to the next run
                pending_.push_back(page);
                continue;
            }
            const RunRequest request{.channel = std::string(kGoogleName),
                                     .url = std::string(kInspectUrl),
                                     .body = InspectBody(page, property),
                                     .host = property,
                                     .addresses = {page},
                                     .engine = std::string(kGoogleName)};
            recorder_.observer().AddressStarted(page);
            const StatusAnswer answer = Call(request);
            ++spent[property];
            sent_.emplace_back(property, std::time(nullptr));
            const std::optional<Inspection> inspection =
                Accepted(answer.status) ? ReadInspection(answer.body) : std::nullopt;
            StatusAnswer judged = answer;
            if (Accepted(answer.status) && !inspection) {
                judged.status = kUnreadable;  // a 200 without a verdict
            }
            if (Judge(kGoogleName, request, judged)) {
                failed = true;
                refused = answer.status == 403 || answer.status == 429;
                pending_.push_back(page);
                continue;
            }
            settled_.push_back(page);
            inspected_.push_back({.address = page,
                                  .property = property,
                                  .verdict = inspection->verdict,
                                  .coverage = inspection->coverage,
                                  .lastCrawl = inspection->lastCrawl,
                                  .canonical = inspection->canonical,
                                  .inspectedAt = std::time(nullptr)});
            Step();
        }
    }
}

// A site without a property is told once, with what to do.
void GoogleChannel::TellUnmatched(const std::set<std::string>& unmatched,
                                  const std::set<std::string>& matched) {
    std::set<std::string> told;
    if (job_.memory != nullptr) {
        for (std::string& site : job_.memory->UnmatchedSites()) {
            told.insert(std::move(site));
        }
        job_.memory->KeepUnmatchedSites(std::vector(unmatched.begin(), unmatched.end()),
                                        std::vector(matched.begin(), matched.end()));
    }
    for (const std::string& site : unmatched) {
        if (told.count(site) == 0) {
            recorder_.Note(std::string(kGoogleName) + ": " + site +
                           " has no property the service account may use. Add the site in "
                           "Search Console and " +
                           signIn_.account() + " as an owner of it.");
        }
    }
}

bool GoogleChannel::Finish() {
    RunObserver& observer = recorder_.observer();
    observer.AddressStarted(std::string(kSignInLabel));
    observer.EngineStarted(kGoogleName);
    const std::optional<std::vector<Property>> properties = Properties();
    Step();
    GoogleMemory* memory = job_.memory;
    if (!properties) {
        // Google was not reached: its pages wait for the next run that reaches it.
        if (memory != nullptr) {
            memory->Keep({.waiting = addresses_});
        }
        return true;
    }

    // The pages changed since their last inspection, newest change first, by property.
    const auto inspections = memory != nullptr
                                 ? memory->Inspections()
                                 : std::unordered_map<std::string, GoogleInspection>{};
    std::vector<std::pair<std::int64_t, std::string>> changed;
    for (const std::string& page : addresses_) {
        const auto dates = job_.dates.find(page);
        std::int64_t change = 0;
        if (dates != job_.dates.end()) {
            const PageDates& known = dates->second;
            change = std::max(known.textChanged.value_or(0),
                              known.lastmodTrusted ? known.lastmod.value_or(0) : 0);
        }
        const auto last = inspections.find(page);
        if (last == inspections.end() || change > last->second.inspectedAt) {
            changed.emplace_back(change, page);
        } else {
            settled_.push_back(page);
            Step();
        }
    }
    std::stable_sort(changed.begin(), changed.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::map<std::string, std::vector<std::string>> byProperty;
    std::set<std::string> unmatched;
    std::set<std::string> matched;
    for (const auto& [change, page] : changed) {
        if (const std::optional<std::string> property = PropertyFor(page, *properties)) {
            byProperty[*property].push_back(page);
            matched.insert(SiteRoot(page).value_or(page));
        } else {
            unmatched.insert(SiteRoot(page).value_or(page));
            settled_.push_back(page);
            Step();
        }
    }
    TellUnmatched(unmatched, matched);

    bool failed = false;
    SubmitSitemaps(byProperty, *properties, failed);
    Inspect(byProperty, failed);
    if (stopped_) {
        recorder_.Note(std::string(kGoogleName) +
                       ": Google refused a new token too; what is left waits for the next run.");
    }
    if (memory != nullptr) {
        memory->Keep({.inspected = inspected_,
                      .sent = sent_,
                      .forgetSentBefore = std::time(nullptr) - kSentKeptSeconds,
                      .waiting = pending_,
                      .settled = settled_});
    }

    std::size_t indexed = 0;
    std::map<std::string, std::size_t> notIndexed;
    for (const GoogleInspection& inspection : inspected_) {
        if (inspection.verdict == "PASS") {
            ++indexed;
        } else {
            ++notIndexed[inspection.coverage.empty() ? inspection.verdict : inspection.coverage];
        }
    }
    if (!inspected_.empty() || waiting_ > 0) {
        std::string states;
        std::size_t notIndexedCount = 0;
        for (const auto& [state, count] : notIndexed) {
            states += (states.empty() ? " (" : ", ") + std::to_string(count) + " " + state;
            notIndexedCount += count;
        }
        recorder_.Note(std::string(kGoogleName) + ": " + Counted(indexed, "page", "pages") +
                       " indexed, " + std::to_string(notIndexedCount) + " not indexed" +
                       (states.empty() ? "" : states + ")") + ", " + std::to_string(waiting_) +
                       " waiting for the next run.");
    }
    while (steps_ > 0 && !control_.Cancelled()) {
        Step();
    }
    return failed;
}

bool GoogleChannel::Resend(const RunRequest& request) {
    const StatusAnswer answer = Call(request);
    const std::optional<Inspection> inspection =
        request.url == kInspectUrl && Accepted(answer.status) ? ReadInspection(answer.body)
                                                              : std::nullopt;
    const bool failed = Judge(kResendName, request, answer);
    if (request.url == kInspectUrl && job_.memory != nullptr) {
        const std::int64_t now = std::time(nullptr);
        GoogleKept kept{.sent = {{request.host, now}}, .forgetSentBefore = now - kSentKeptSeconds};
        if (!failed && inspection) {
            kept.inspected.push_back({.address = request.addresses.front(),
                                      .property = request.host,
                                      .verdict = inspection->verdict,
                                      .coverage = inspection->coverage,
                                      .lastCrawl = inspection->lastCrawl,
                                      .canonical = inspection->canonical,
                                      .inspectedAt = now});
        }
        job_.memory->Keep(std::move(kept));
    }
    return failed;
}

}  // namespace quaymark
