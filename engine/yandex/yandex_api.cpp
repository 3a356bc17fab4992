#include "engine/yandex/yandex_api.h"

#include <algorithm>
#include <ctime>
#include <map>

#include "engine/channel/api_json.h"
#include "engine/net/http_text.h"

namespace quaymark {
namespace {

using json = nlohmann::json;
using Kind = ApiJudgement::Kind;

constexpr int kTaskPage = 100;
// At most so many pages of the queue are read after a run.
constexpr int kTaskPages = 10;
constexpr std::int64_t kDay = 24 * 60 * 60;
constexpr int kTaskDays = 14;

// A site as Yandex writes it, with its slash.
std::string WithSlash(std::string site) {
    if (!site.ends_with('/')) {
        site += '/';
    }
    return site;
}

// "2026-12-09T00:00:00,000+0000" for the queue's dates.
std::string IsoDate(std::int64_t when) {
    const std::time_t time = when;
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S,000+0000", &utc);
    return text;
}

// Days since 1970 of "YYYY-MM-DD...": the day the task was added, as Yandex told it.
std::optional<std::int64_t> DayOf(std::string_view time) {
    std::tm day{};
    const std::string date(time.substr(0, 10));
    if (date.size() != 10 || strptime(date.c_str(), "%Y-%m-%d", &day) == nullptr) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(timegm(&day)) / kDay;
}

class YandexApi : public EngineApi {
public:
    YandexApi(std::string token, const RunRouting& routing)
        : token_(std::move(token)), fetcher_(routing) {}

    std::size_t BatchSize() const override { return 1; }

    QuotaAsk AskQuota(const std::string& site) override {
        QuotaAsk ask{.request = {.channel = std::string(kYandexName),
                                 .url = std::string(kYandexApi),
                                 .host = site,
                                 .engine = std::string(kYandexName)}};
        if (user_.empty() && !Ask(ask, [&](std::string_view body) {
                user_ = ReadYandexUser(body).value_or("");
                return !user_.empty();
            })) {
            return ask;
        }
        ask.request.url = Base() + "/hosts";
        if (!hosts_ && !Ask(ask, [&](std::string_view body) {
                hosts_ = ReadYandexHosts(body);
                return hosts_.has_value();
            })) {
            return ask;
        }
        const auto host =
            std::ranges::find(*hosts_, WithSlash(site), &std::pair<std::string, YandexHost>::first);
        if (host == hosts_->end() || !host->second.verified) {
            ask.failure = ApiJudgement{
                .kind = Kind::NotVerified,
                .reason = host == hosts_->end() ? "site not in the account" : "site not verified",
                .advice = site +
                          " is not a verified site of the token's Yandex account. Add and "
                          "verify it in Yandex Webmaster, or name it as Yandex knows it."};
            return ask;
        }
        hostIds_[site] = host->second.id;
        ask.request.url = HostUrl(site) + "/recrawl/quota";
        Ask(ask, [&](std::string_view body) {
            ask.reading = ReadYandexQuota(body);
            return ask.reading.has_value();
        });
        if (ask.reading) {
            ask.reading->site = site;
        }
        return ask;
    }

    RunRequest Request(const std::string& site, const std::vector<std::string>& pages) override {
        return {.channel = std::string(kYandexName),
                .url = HostUrl(site) + "/recrawl/queue",
                .body = json{{"url", pages.front()}}.dump(-1, ' ', true,
                                                          json::error_handler_t::replace),
                .host = site,
                .addresses = pages,
                .engine = std::string(kYandexName)};
    }

    StatusAnswer Send(const RunRequest& request) override {
        const bool post = !request.body.empty();
        return fetcher_.Send({.method = post ? ApiRequest::Method::Post : ApiRequest::Method::Get,
                              .url = request.url,
                              .body = request.body,
                              .contentType = post ? "application/json" : "",
                              .authorization = "OAuth " + token_});
    }

    ApiJudgement Judge(const RunRequest& request, const StatusAnswer& answer) override {
        return JudgeYandex(answer, request.host);
    }

    bool WorthWaiting(const StatusAnswer& answer) override {
        return TextIn(JsonOf(answer.body), "error_code") != "QUOTA_EXCEEDED";
    }

    std::vector<EngineDay> Figures(const std::string& site) override {
        const std::int64_t now = std::time(nullptr);
        std::vector<EngineDay> days;
        for (int page = 0; page < kTaskPages; ++page) {
            const StatusAnswer answer =
                Send({.channel = std::string(kYandexName),
                      .url = HostUrl(site) + "/recrawl/queue?date_from=" +
                             ComponentEncoded(IsoDate(now - kTaskDays * kDay)) +
                             "&date_to=" + ComponentEncoded(IsoDate(now)) +
                             "&limit=" + std::to_string(kTaskPage) +
                             "&offset=" + std::to_string(page * kTaskPage)});
            const std::optional<YandexTasks> tasks =
                answer.status == 200 ? ReadYandexTasks(answer.body, site) : std::nullopt;
            if (!tasks) {
                return {};  // a part of the days would tell less than none
            }
            days.insert(days.end(), tasks->days.begin(), tasks->days.end());
            if (tasks->count < static_cast<std::size_t>(kTaskPage)) {
                break;
            }
        }
        // The pages' counts of one day and state, added up.
        std::map<std::pair<std::int64_t, std::string>, std::int64_t> summed;
        for (const EngineDay& day : days) {
            summed[{day.day, day.series}] += day.count;
        }
        days.clear();
        for (const auto& [key, count] : summed) {
            days.push_back({.channel = std::string(kYandexName),
                            .site = site,
                            .day = key.first,
                            .series = key.second,
                            .count = count});
        }
        return days;
    }

private:
    std::string Base() const { return std::string(kYandexApi) + "/" + user_; }
    std::string HostUrl(const std::string& site) const {
        const auto id = hostIds_.find(site);
        return Base() + "/hosts/" + ComponentEncoded(id == hostIds_.end() ? "" : id->second);
    }

    // Asks the request's address; false, with the failure set, unless the answer is read.
    template <class Read>
    bool Ask(QuotaAsk& ask, Read read) {
        ask.answer = Send(ask.request);
        if (std::optional<ApiJudgement> shared = SharedJudgement(ask.answer, kYandexName)) {
            ask.failure = std::move(shared);
            return false;
        }
        if (ask.answer.status == 200 && read(std::string_view(ask.answer.body))) {
            return true;
        }
        ApiJudgement judged = JudgeYandex(ask.answer, ask.request.host);
        if (judged.kind == Kind::Accepted) {
            judged = {.kind = Kind::Unreadable,
                      .reason = "an answer that could not be read",
                      .advice = "Yandex answered, but not as its API does. Try again later."};
        }
        ask.failure = std::move(judged);
        return false;
    }

    std::string token_;
    StatusFetcher fetcher_;
    std::string user_;
    std::optional<std::vector<std::pair<std::string, YandexHost>>> hosts_;
    std::map<std::string, std::string> hostIds_;
};

}  // namespace

std::optional<std::string> ReadYandexUser(std::string_view body) {
    const json parsed = JsonOf(body);
    if (!parsed.is_object()) {
        return std::nullopt;
    }
    const auto user = parsed.find("user_id");
    if (user == parsed.end() || !user->is_number_unsigned()) {
        return std::nullopt;
    }
    return std::to_string(user->get<std::uint64_t>());
}

std::optional<std::vector<std::pair<std::string, YandexHost>>> ReadYandexHosts(
    std::string_view body) {
    const json parsed = JsonOf(body);
    if (!parsed.is_object() || !parsed.contains("hosts") || !parsed["hosts"].is_array()) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, YandexHost>> hosts;
    for (const json& host : parsed["hosts"]) {
        if (!host.is_object()) {
            continue;
        }
        const std::string id = TextIn(host, "host_id");
        const std::string url = TextIn(host, "ascii_host_url");
        const auto verified = host.find("verified");
        if (!id.empty() && !url.empty()) {
            hosts.emplace_back(WithSlash(url), YandexHost{.id = id,
                                                          .verified = verified != host.end() &&
                                                                      verified->is_boolean() &&
                                                                      verified->get<bool>()});
        }
    }
    return hosts;
}

std::optional<QuotaReading> ReadYandexQuota(std::string_view body) {
    const json parsed = JsonOf(body);
    if (!parsed.is_object()) {
        return std::nullopt;
    }
    const std::optional<int> daily = CountIn(parsed, "daily_quota");
    const std::optional<int> left = CountIn(parsed, "quota_remainder");
    if (!daily || !left) {
        return std::nullopt;
    }
    return QuotaReading{.channel = std::string(kYandexName),
                        .site = std::string(),
                        .dailyLeft = *left,
                        .dailyQuota = daily};
}

std::optional<YandexTasks> ReadYandexTasks(std::string_view body, const std::string& site) {
    const json parsed = JsonOf(body);
    if (!parsed.is_object() || !parsed.contains("tasks") || !parsed["tasks"].is_array()) {
        return std::nullopt;
    }
    YandexTasks tasks;
    for (const json& task : parsed["tasks"]) {
        ++tasks.count;
        if (!task.is_object()) {
            continue;
        }
        const std::string state = TextIn(task, "state");
        const std::optional<std::int64_t> day = DayOf(TextIn(task, "added_time"));
        const std::string_view series = state == "DONE"          ? "Yandex: recrawls done"
                                        : state == "FAILED"      ? "Yandex: recrawls failed"
                                        : state == "IN_PROGRESS" ? "Yandex: recrawls in progress"
                                                                 : "";
        if (day && !series.empty()) {
            tasks.days.push_back({.channel = std::string(kYandexName),
                                  .site = site,
                                  .day = *day,
                                  .series = std::string(series),
                                  .count = 1});
        }
    }
    return tasks;
}

ApiJudgement JudgeYandex(const StatusAnswer& answer, std::string_view site) {
    const json parsed = JsonOf(answer.body);
    const std::string status = std::to_string(answer.status);
    if (answer.status == 200 || answer.status == 202) {
        if (!parsed.is_object()) {
            return {.kind = Kind::Unreadable,
                    .reason = "an answer that could not be read",
                    .advice = "Yandex answered, but not as its API does. Try again later."};
        }
        ApiJudgement taken;
        if (const std::optional<int> left = CountIn(parsed, "quota_remainder")) {
            taken.remain = left;
        }
        return taken;
    }
    const std::string code = parsed.is_object() ? TextIn(parsed, "error_code") : "";
    const std::string message = parsed.is_object() ? TextIn(parsed, "error_message") : "";
    const std::string told =
        code.empty() ? "" : ": " + code + (message.empty() ? "" : ", " + message);
    if (answer.status == 401) {
        return {.kind = Kind::CredentialRefused,
                .reason = "token refused (401)" + told,
                .advice =
                    "Yandex did not take the OAuth token: it may have expired or been "
                    "revoked. Obtain a new one for the program at oauth.yandex.com and give "
                    "it again."};
    }
    if (answer.status == 403 || code == "HOST_NOT_VERIFIED") {
        return {.kind = Kind::NotVerified,
                .reason = "site not verified (" + status + ")" + told,
                .advice = std::string(site) +
                          " is not verified for the token's account in Yandex Webmaster. Verify "
                          "it there, or give the token of its owner."};
    }
    if (code == "QUOTA_EXCEEDED") {
        return {.kind = Kind::QuotaSpent, .reason = "quota spent (" + status + ")" + told};
    }
    return {.kind = code.empty() ? Kind::Unreadable : Kind::Refused,
            .reason = "answered " + status + told,
            .advice = "The request was not taken."};
}

std::unique_ptr<Channel> MakeYandexChannel(ApiJob job, RetryPolicy retry, const RunRouting& routing,
                                           RunControl& control, RunRecorder& recorder) {
    auto api = std::make_unique<YandexApi>(job.credential, routing);
    return std::make_unique<ApiChannel>(kYandexName, std::move(api), std::move(job), retry, control,
                                        recorder);
}

}  // namespace quaymark
