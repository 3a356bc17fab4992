// Reading Bing Webmaster's answers: whatever the bytes, quotas are never negative, a message is
// bounded, and every day read is one of the site's two series.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/bing/bing_api.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    if (const auto quota = quaymark::ReadBingQuota(body);
        quota && (quota->daily < 0 || quota->monthly < 0)) {
        std::abort();
    }
    if (const auto error = quaymark::ReadBingError(body); error && error->message.size() > 300) {
        std::abort();
    }
    for (const long status : {200L, 400L, 401L}) {
        const quaymark::ApiJudgement judged =
            quaymark::JudgeBing({.status = status, .body = body}, "https://a.test/");
        if (judged.kind == quaymark::ApiJudgement::Kind::Accepted && status != 200) {
            std::abort();
        }
    }
    if (const auto days = quaymark::ReadBingCrawlStats(body, "https://a.test/")) {
        for (const quaymark::EngineDay& day : *days) {
            if (day.site != "https://a.test/" || day.count < 0 ||
                (day.series != "Bing: pages crawled" && day.series != "Bing: crawl errors")) {
                std::abort();
            }
        }
    }
    return 0;
}
