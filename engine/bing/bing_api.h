#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/channel/api_channel.h"

namespace quaymark {

// Bing Webmaster Tools' own API, signed with the user's API key, which Bing takes only in the
// address: requests are kept without it and it is added as each is sent.
inline constexpr std::string_view kBingName = "Bing Webmaster Tools";
inline constexpr std::string_view kBingApi = "https://ssl.bing.com/webmaster/api.svc/json/";
// The most addresses SubmitUrlBatch takes at once.
inline constexpr std::size_t kBingBatch = 500;

inline constexpr AccountKind kBingAccount{
    .section = "bing",
    .credential = "API key",
    .where = "In Bing Webmaster Tools, open Settings, then API access, and copy the API key.",
    .sites =
        "The sites as verified in Bing Webmaster Tools (https://www.example.com/); every "
        "site of the list when none is named."};

// What is left of a site's quota: {"d":{"DailyQuota":N,"MonthlyQuota":M}}.
struct BingQuota {
    int daily = 0;
    int monthly = 0;
};
std::optional<BingQuota> ReadBingQuota(std::string_view body);

// An error's {"ErrorCode":N,"Message":"..."}; none when the body is no such thing.
struct BingError {
    int code = 0;
    std::string message{};
};
std::optional<BingError> ReadBingError(std::string_view body);

// How an answer of the API is judged.
ApiJudgement JudgeBing(const StatusAnswer& answer, std::string_view site);

// The crawl statistics by day: {"d":[{"Date":"/Date(ms)/","CrawledPages":N,"CrawlErrors":M}]},
// as two series of the site; none when unreadable.
std::optional<std::vector<EngineDay>> ReadBingCrawlStats(std::string_view body,
                                                         const std::string& site);

std::unique_ptr<Channel> MakeBingChannel(ApiJob job, RetryPolicy retry, const RunRouting& routing,
                                         RunControl& control, RunRecorder& recorder);

}  // namespace quaymark
