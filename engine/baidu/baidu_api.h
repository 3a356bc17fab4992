#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/channel/api_channel.h"

namespace quaymark {

// Baidu's link push: pages posted as text, one a line, with the site's token, which Baidu takes
// only in the address: requests are kept without it and it is added as each is sent.
inline constexpr std::string_view kBaiduName = "Baidu";
inline constexpr std::string_view kBaiduHost = "data.zz.baidu.com";
inline constexpr std::size_t kBaiduBatch = 2000;

inline constexpr AccountKind kBaiduAccount{
    .section = "baidu",
    .credential = "token",
    .where =
        "In Baidu's search resource platform (ziyuan.baidu.com), open the site's "
        "ordinary indexing, then API submission, and copy the token from the "
        "address shown.",
    .sites =
        "The sites as verified in Baidu's search resource platform "
        "(https://www.example.com/); every site of the list when none is named.",
    .plainHttpWarning =
        "Baidu documents its push address as plain http. Quaymark uses https; choose plain "
        "http only where Baidu does not answer https: the token then travels unencrypted."};

// The push answer: {"success":N,"remain":M,"not_same_site":[...],"not_valid":[...]}.
struct BaiduPush {
    int success = 0;
    int remain = 0;
    std::vector<std::string> notSameSite{};
    std::vector<std::string> notValid{};
};
std::optional<BaiduPush> ReadBaiduPush(std::string_view body);

ApiJudgement JudgeBaidu(const StatusAnswer& answer, std::string_view site);

// The site as the push names it: "https://www.example.com" for https, the host alone for http.
std::string BaiduSite(std::string_view site);

std::unique_ptr<Channel> MakeBaiduChannel(ApiJob job, RetryPolicy retry, const RunRouting& routing,
                                          RunControl& control, RunRecorder& recorder);

}  // namespace quaymark
