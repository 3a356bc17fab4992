#include "engine/baidu/baidu_api.h"

#include <algorithm>

#include "engine/channel/api_json.h"
#include "engine/net/http_text.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

using json = nlohmann::json;
using Kind = ApiJudgement::Kind;

std::vector<std::string> Texts(const json& object, const char* name) {
    std::vector<std::string> texts;
    const auto found = object.find(name);
    if (found != object.end() && found->is_array()) {
        for (const json& text : *found) {
            if (text.is_string()) {
                texts.push_back(text.get<std::string>());
            }
        }
    }
    return texts;
}

class BaiduApi : public EngineApi {
public:
    BaiduApi(std::string token, bool plainHttp, const RunRouting& routing)
        : token_(std::move(token)),
          base_(std::string(plainHttp ? "http://" : "https://") + std::string(kBaiduHost)),
          fetcher_(routing) {}

    std::size_t BatchSize() const override { return kBaiduBatch; }

    // Baidu tells what is left only as it takes pages.
    QuotaAsk AskQuota(const std::string& /*site*/) override { return {}; }

    RunRequest Request(const std::string& site, const std::vector<std::string>& pages) override {
        std::string body;
        for (const std::string& page : pages) {
            body += page + "\n";
        }
        return {.channel = std::string(kBaiduName),
                .url = base_ + "/urls?site=" + ComponentEncoded(BaiduSite(site)),
                .body = std::move(body),
                .host = site,
                .addresses = pages,
                .engine = std::string(kBaiduName)};
    }

    StatusAnswer Send(const RunRequest& request) override {
        return fetcher_.Send({.method = ApiRequest::Method::Post,
                              .url = request.url + "&token=" + ComponentEncoded(token_),
                              .body = request.body,
                              .contentType = "text/plain"});
    }

    ApiJudgement Judge(const RunRequest& request, const StatusAnswer& answer) override {
        return JudgeBaidu(answer, request.host);
    }

    bool WorthWaiting(const StatusAnswer& answer) override {
        return JudgeBaidu(answer, "").kind != Kind::QuotaSpent;
    }

private:
    std::string token_;
    std::string base_;
    StatusFetcher fetcher_;
};

}  // namespace

std::string BaiduSite(std::string_view site) {
    if (site.starts_with("https://")) {
        return std::string(site.substr(0, site.ends_with('/') ? site.size() - 1 : site.size()));
    }
    return HostOf(site).value_or(std::string(site));
}

std::optional<BaiduPush> ReadBaiduPush(std::string_view body) {
    const json parsed = JsonOf(body);
    if (!parsed.is_object()) {
        return std::nullopt;
    }
    const std::optional<int> success = CountIn(parsed, "success");
    const std::optional<int> remain = CountIn(parsed, "remain");
    if (!success || !remain) {
        return std::nullopt;
    }
    return BaiduPush{.success = *success,
                     .remain = *remain,
                     .notSameSite = Texts(parsed, "not_same_site"),
                     .notValid = Texts(parsed, "not_valid")};
}

ApiJudgement JudgeBaidu(const StatusAnswer& answer, std::string_view site) {
    const json parsed = JsonOf(answer.body);
    const std::string status = std::to_string(answer.status);
    if (answer.status == 200) {
        const std::optional<BaiduPush> push = ReadBaiduPush(answer.body);
        if (!push) {
            return {.kind = Kind::Unreadable,
                    .reason = "an answer that could not be read",
                    .advice = "Baidu answered, but not as its push does. Try again later."};
        }
        ApiJudgement taken{.remain = push->remain};
        taken.refused = push->notSameSite;
        taken.refused.insert(taken.refused.end(), push->notValid.begin(), push->notValid.end());
        taken.refusedReason = push->notValid.empty()      ? "not of the site"
                              : push->notSameSite.empty() ? "not valid"
                                                          : "not of the site, or not valid";
        return taken;
    }
    const std::string message = TextIn(parsed, "message");
    const std::string told = message.empty() ? "" : ": " + message;
    if (answer.status == 401) {
        return {.kind = Kind::CredentialRefused,
                .reason = "token refused (401)" + told,
                .advice =
                    "Baidu did not take the token. Copy it again from the site's API "
                    "submission in Baidu's search resource platform and give it again."};
    }
    if (message == "over quota") {
        return {.kind = Kind::QuotaSpent, .reason = "quota spent (" + status + ")" + told};
    }
    if (message == "site error" || message == "site init fail") {
        return {.kind = Kind::NotVerified,
                .reason = "site not verified (" + status + ")" + told,
                .advice = std::string(site) +
                          " is not verified for the token in Baidu's search resource platform. "
                          "Verify it there, or give the token of its own site."};
    }
    return {.kind = message.empty() ? Kind::Unreadable : Kind::Refused,
            .reason = "answered " + status + told,
            .advice = "The request was not taken."};
}

std::unique_ptr<Channel> MakeBaiduChannel(ApiJob job, RetryPolicy retry, const RunRouting& routing,
                                          RunControl& control, RunRecorder& recorder) {
    auto api = std::make_unique<BaiduApi>(job.credential, job.settings.plainHttp, routing);
    return std::make_unique<ApiChannel>(kBaiduName, std::move(api), std::move(job), retry, control,
                                        recorder);
}

}  // namespace quaymark
