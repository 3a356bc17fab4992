// Reading Yandex Webmaster's answers: whatever the bytes, a user id is digits, hosts have ids,
// quotas are never negative, and a task is counted under one of three states.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/yandex/yandex_api.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    if (const auto user = quaymark::ReadYandexUser(body);
        user && (user->empty() || user->find_first_not_of("0123456789") != std::string::npos)) {
        std::abort();
    }
    if (const auto hosts = quaymark::ReadYandexHosts(body)) {
        for (const auto& [url, host] : *hosts) {
            if (host.id.empty() || url.empty() || url.back() != '/') {
                std::abort();
            }
        }
    }
    if (const auto quota = quaymark::ReadYandexQuota(body);
        quota && (quota->dailyLeft < 0 || !quota->dailyQuota || *quota->dailyQuota < 0)) {
        std::abort();
    }
    if (const auto tasks = quaymark::ReadYandexTasks(body, "https://a.test/")) {
        if (tasks->days.size() > tasks->count) {
            std::abort();
        }
    }
    for (const long status : {200L, 202L, 403L, 429L}) {
        quaymark::JudgeYandex({.status = status, .body = body}, "https://a.test/");
    }
    return 0;
}
