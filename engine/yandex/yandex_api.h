#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/channel/api_channel.h"

namespace quaymark {

// Yandex Webmaster's API v4, with the OAuth token the user obtained for the program: each page
// put in the site's recrawl queue within its daily quota, and the queue's tasks read back.
inline constexpr std::string_view kYandexName = "Yandex Webmaster";
inline constexpr std::string_view kYandexApi = "https://api.webmaster.yandex.net/v4/user";

inline constexpr AccountKind kYandexAccount{
    .section = "yandex",
    .credential = "OAuth token",
    .where =
        "Register an application at oauth.yandex.com with the Yandex Webmaster rights, "
        "then sign in with the account that owns the sites and copy the token given.",
    .sites =
        "The sites as added in Yandex Webmaster (https://www.example.com/); every site of "
        "the list when none is named."};

// {"user_id": N}
std::optional<std::string> ReadYandexUser(std::string_view body);
// The host id of the site among {"hosts":[{"host_id","ascii_host_url","verified"}]}; "" when
// the site is there but not verified; none when the answer is unreadable or the site absent.
struct YandexHost {
    std::string id;
    bool verified = false;
};
std::optional<std::vector<std::pair<std::string, YandexHost>>> ReadYandexHosts(
    std::string_view body);
// {"daily_quota": N, "quota_remainder": M}
std::optional<QuotaReading> ReadYandexQuota(std::string_view body);
// The tasks of the recrawl queue, counted by the day they were added and their state.
struct YandexTasks {
    std::vector<EngineDay> days{};
    std::size_t count = 0;
};
std::optional<YandexTasks> ReadYandexTasks(std::string_view body, const std::string& site);

ApiJudgement JudgeYandex(const StatusAnswer& answer, std::string_view site);

std::unique_ptr<Channel> MakeYandexChannel(ApiJob job, RetryPolicy retry, const RunRouting& routing,
                                           RunControl& control, RunRecorder& recorder);

}  // namespace quaymark
