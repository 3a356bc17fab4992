#include "engine/bing/bing_api.h"

#include <algorithm>
#include <cctype>

#include "engine/channel/api_json.h"
#include "engine/net/http_text.h"

namespace quaymark {
namespace {

using json = nlohmann::json;
using Kind = ApiJudgement::Kind;

constexpr int kInvalidApiKey = 3;
constexpr int kInvalidUrl = 7;
constexpr int kNotAllowed = 13;
constexpr int kNotAuthorized = 14;
constexpr std::int64_t kDayMs = 24LL * 60 * 60 * 1000;

bool MentionsQuota(std::string message) {
    std::ranges::transform(message, message.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return message.find("quota") != std::string::npos;
}

class BingApi : public EngineApi {
public:
    BingApi(std::string key, const RunRouting& routing) : key_(std::move(key)), fetcher_(routing) {}

    std::size_t BatchSize() const override { return kBingBatch; }

    QuotaAsk AskQuota(const std::string& site) override {
        QuotaAsk ask{.request = {.channel = std::string(kBingName),
                                 .url = std::string(kBingApi) +
                                        "GetUrlSubmissionQuota?siteUrl=" + ComponentEncoded(site),
                                 .host = site,
                                 .engine = std::string(kBingName)}};
        ask.answer = Send(ask.request);
        if (std::optional<ApiJudgement> shared = SharedJudgement(ask.answer, kBingName)) {
            ask.failure = std::move(shared);
            return ask;
        }
        const std::optional<BingQuota> quota =
            ask.answer.status == 200 ? ReadBingQuota(ask.answer.body) : std::nullopt;
        if (!quota) {
            ApiJudgement judged = JudgeBing(ask.answer, site);
            if (judged.kind == Kind::Accepted) {
                judged = {.kind = Kind::Unreadable,
                          .reason = "an answer that could not be read",
                          .advice = "Bing answered, but not as its API does. Try again later."};
            }
            ask.failure = std::move(judged);
            return ask;
        }
        ask.reading = QuotaReading{.channel = std::string(kBingName),
                                   .site = site,
                                   .dailyLeft = quota->daily,
                                   .monthlyLeft = quota->monthly};
        return ask;
    }

    RunRequest Request(const std::string& site, const std::vector<std::string>& pages) override {
        return {.channel = std::string(kBingName),
                .url = std::string(kBingApi) + "SubmitUrlBatch",
                .body = json{{"siteUrl", site}, {"urlList", pages}}.dump(
                    -1, ' ', true, json::error_handler_t::replace),
                .host = site,
                .addresses = pages,
                .engine = std::string(kBingName)};
    }

    StatusAnswer Send(const RunRequest& request) override {
        const bool post = !request.body.empty();
        const std::string url = request.url +
                                (request.url.find('?') == std::string::npos ? "?" : "&") +
                                "apikey=" + ComponentEncoded(key_);
        return fetcher_.Send({.method = post ? ApiRequest::Method::Post : ApiRequest::Method::Get,
                              .url = url,
                              .body = request.body,
                              .contentType = post ? "application/json; charset=utf-8" : ""});
    }

    ApiJudgement Judge(const RunRequest& request, const StatusAnswer& answer) override {
        return JudgeBing(answer, request.host);
    }

    bool WorthWaiting(const StatusAnswer& answer) override {
        const std::optional<BingError> error = ReadBingError(answer.body);
        return !error || !MentionsQuota(error->message);
    }

    std::vector<EngineDay> Figures(const std::string& site) override {
        const StatusAnswer answer = Send(
            {.channel = std::string(kBingName),
             .url = std::string(kBingApi) + "GetCrawlStats?siteUrl=" + ComponentEncoded(site)});
        if (answer.status != 200) {
            return {};
        }
        return ReadBingCrawlStats(answer.body, site).value_or(std::vector<EngineDay>{});
    }

private:
    std::string key_;
    StatusFetcher fetcher_;
};

}  // namespace

std::optional<BingQuota> ReadBingQuota(std::string_view body) {
    const json parsed = JsonOf(body);
    if (!parsed.is_object() || !parsed.contains("d") || !parsed["d"].is_object()) {
        return std::nullopt;
    }
    const std::optional<int> daily = CountIn(parsed["d"], "DailyQuota");
    const std::optional<int> monthly = CountIn(parsed["d"], "MonthlyQuota");
    if (!daily || !monthly) {
        return std::nullopt;
    }
    return BingQuota{.daily = *daily, .monthly = *monthly};
}

std::optional<BingError> ReadBingError(std::string_view body) {
    const json parsed = JsonOf(body);
    if (!parsed.is_object()) {
        return std::nullopt;
    }
    const std::optional<int> code = CountIn(parsed, "ErrorCode");
    const auto message = parsed.find("Message");
    if (!code) {
        return std::nullopt;
    }
    BingError error{.code = *code};
    if (message != parsed.end() && message->is_string()) {
        error.message = message->get<std::string>().substr(0, 300);
    }
    return error;
}

ApiJudgement JudgeBing(const StatusAnswer& answer, std::string_view site) {
    const std::string status = std::to_string(answer.status);
    if (answer.status == 200) {
        const json parsed = JsonOf(answer.body);
        if (parsed.is_object() && parsed.contains("d")) {
            return {};
        }
        return {.kind = Kind::Unreadable,
                .reason = "an answer that could not be read",
                .advice = "Bing answered, but not as its API does. Try again later."};
    }
    const std::optional<BingError> error = ReadBingError(answer.body);
    const std::string told = error && !error->message.empty() ? ": " + error->message : "";
    if (answer.status == 401 || (error && error->code == kInvalidApiKey)) {
        return {.kind = Kind::CredentialRefused,
                .reason = "API key refused (" + status + ")" + told,
                .advice =
                    "Bing did not take the API key. In Bing Webmaster Tools open Settings, "
                    "then API access, copy the API key and give it again."};
    }
    if (error && (error->code == kNotAuthorized || error->code == kNotAllowed)) {
        return {.kind = Kind::NotVerified,
                .reason = "site not verified (" + status + ")" + told,
                .advice = std::string(site) +
                          " is not a verified site of the API key's account. Add and verify it "
                          "in Bing Webmaster Tools, or name the site as Bing knows it."};
    }
    if (error && MentionsQuota(error->message)) {
        return {.kind = Kind::QuotaSpent, .reason = "quota spent (" + status + ")" + told};
    }
    if (error && error->code == kInvalidUrl) {
        return {.kind = Kind::Refused,
                .reason = "address not taken (" + status + ")" + told,
                .advice = "Bing takes only addresses of the site the request names."};
    }
    return {.kind = error ? Kind::Refused : Kind::Unreadable,
            .reason = "answered " + status + told,
            .advice = "The request was not taken."};
}

std::optional<std::vector<EngineDay>> ReadBingCrawlStats(std::string_view body,
                                                         const std::string& site) {
    const json parsed = JsonOf(body);
    if (!parsed.is_object() || !parsed.contains("d") || !parsed["d"].is_array()) {
        return std::nullopt;
    }
    std::vector<EngineDay> days;
    for (const json& day : parsed["d"]) {
        const auto date = day.is_object() ? day.find("Date") : day.end();
        if (!day.is_object() || date == day.end() || !date->is_string()) {
            continue;
        }
        // "/Date(1607500800000-0800)/": milliseconds since 1970, then the zone it was told in.
        const std::string text = date->get<std::string>();
        const std::size_t open = text.find('(');
        if (open == std::string::npos) {
            continue;
        }
        std::int64_t ms = 0;
        std::size_t at = open + 1;
        for (; at < text.size() && at < open + 16 &&
               std::isdigit(static_cast<unsigned char>(text[at]));
             ++at) {
            ms = ms * 10 + (text[at] - '0');
        }
        if (at == open + 1) {
            continue;
        }
        const std::int64_t dayNumber = ms / kDayMs;
        const std::string channel(kBingName);
        days.push_back({.channel = channel,
                        .site = site,
                        .day = dayNumber,
                        .series = "Bing: pages crawled",
                        .count = CountIn(day, "CrawledPages").value_or(0)});
        days.push_back({.channel = channel,
                        .site = site,
                        .day = dayNumber,
                        .series = "Bing: crawl errors",
                        .count = CountIn(day, "CrawlErrors").value_or(0)});
    }
    return days;
}

std::unique_ptr<Channel> MakeBingChannel(ApiJob job, RetryPolicy retry, const RunRouting& routing,
                                         RunControl& control, RunRecorder& recorder) {
    auto api = std::make_unique<BingApi>(job.credential, routing);
    return std::make_unique<ApiChannel>(kBingName, std::move(api), std::move(job), retry, control,
                                        recorder);
}

}  // namespace quaymark
