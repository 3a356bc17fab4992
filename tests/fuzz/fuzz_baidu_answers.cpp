// Reading Baidu's push answers: whatever the bytes, counts are never negative, and an accepted
// push refuses only addresses Baidu named.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/baidu/baidu_api.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    const auto push = quaymark::ReadBaiduPush(body);
    if (push && (push->success < 0 || push->remain < 0)) {
        std::abort();
    }
    for (const long status : {200L, 400L, 401L}) {
        const quaymark::ApiJudgement judged =
            quaymark::JudgeBaidu({.status = status, .body = body}, "https://a.test/");
        if (judged.kind == quaymark::ApiJudgement::Kind::Accepted &&
            (!push || judged.refused.size() != push->notSameSite.size() + push->notValid.size())) {
            std::abort();
        }
    }
    return 0;
}
