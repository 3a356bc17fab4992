#include "engine/run/channel_kinds.h"

#include <algorithm>
#include <ctime>

#include "engine/baidu/baidu_api.h"
#include "engine/bing/bing_api.h"
#include "engine/classic/classic_channel.h"
#include "engine/classic/engine_table.h"
#include "engine/google/google_channel.h"
#include "engine/indexnow/indexnow_channel.h"
#include "engine/yandex/yandex_api.h"

namespace quaymark {
namespace {

// The pages the run's plan gives the channel; none in a resend, whose requests are its own.
std::optional<std::vector<std::string>> Planned(const SubmitJob& job, std::string_view name) {
    if (!job.plan) {
        return std::nullopt;
    }
    const auto pages = job.plan->pages.find(name);
    return pages != job.plan->pages.end() ? std::optional(pages->second) : std::nullopt;
}

std::vector<std::string_view> EngineNames() {
    std::vector<std::string_view> names;
    for (const EngineRow& row : EngineTable) {
        names.push_back(row.name);
    }
    return names;
}

const ApiJob* ApiOf(const SubmitJob& job, const AccountKind& account) {
    const auto api = job.apis.find(account.section);
    return api == job.apis.end() ? nullptr : &api->second;
}

bool ApiOn(const SubmitJob& job, const AccountKind& account) {
    const ApiJob* api = ApiOf(job, account);
    return api != nullptr && api->announces();
}

// The job of an engine's own channel, with the pages the plan gives it.
ApiJob PlannedApi(const SubmitJob& job, const AccountKind& account, std::string_view name) {
    const ApiJob* api = ApiOf(job, account);
    ApiJob planned = api != nullptr ? *api : ApiJob{};
    planned.pages = Planned(job, name);
    return planned;
}

// The last quota the engine told for the site, as left today: a reading of an earlier day
// counts as the whole quota again where the quota is known.
std::optional<QuotaLeft> LastQuota(const SubmitJob& job, const AccountKind& account,
                                   std::string_view name, const std::string& site) {
    const ApiJob* api = ApiOf(job, account);
    if (api == nullptr || api->memory == nullptr) {
        return std::nullopt;
    }
    constexpr std::int64_t kDay = 24 * 60 * 60;
    const std::int64_t today = std::time(nullptr) / kDay;
    for (const QuotaReading& reading : api->memory->LastQuotas(std::string(name))) {
        if (reading.site != site) {
            continue;
        }
        if (reading.at / kDay == today) {
            return QuotaLeft{.today = reading.dailyLeft, .month = reading.monthlyLeft};
        }
        return reading.dailyQuota ? std::optional(QuotaLeft{.today = *reading.dailyQuota})
                                  : std::nullopt;
    }
    return std::nullopt;
}

// One line of an engine's own channel: made from the room's maker.
// The engines the channels of their own APIs reach, as the access logs' robots name them.
constexpr std::string_view kBing = "Bing";
constexpr std::string_view kYandex = "Yandex";
constexpr std::string_view kBaidu = "Baidu";

template <const AccountKind& account, const std::string_view& name, auto make,
          const std::string_view& reached>
ChannelKind ApiKind(Audience audience) {
    return {
        .name = name,
        .modern = true,
        .audience = audience,
        // Its pages wait for its quota until it takes them.
        .measuresChanges = true,
        .on = [](const SubmitJob& job) { return ApiOn(job, account); },
        .make = [](const SubmitJob& job, FetchPrompt&, RunControl& control,
                   RunRecorder& recorder) -> std::unique_ptr<Channel> {
            return make(PlannedApi(job, account, name), job.retry, job.routing, control, recorder);
        },
        .acceptedAs = [] { return std::vector<std::string_view>{}; },
        .reaches = [] { return std::vector<std::string_view>{reached}; },
        .quotaLeft = [](const SubmitJob& job,
                        const std::string& site) { return LastQuota(job, account, name, site); },
        .account = &account};
}

const ChannelKind kKinds[] = {
    {.name = ClassicChannel::kName,
     .on = [](const SubmitJob& job) { return job.classic; },
     .make = [](const SubmitJob& job, FetchPrompt& prompt, RunControl& control,
                RunRecorder& recorder) -> std::unique_ptr<Channel> {
         return std::make_unique<ClassicChannel>(job.email, prompt, job.routing, control, recorder);
     },
     .acceptedAs = EngineNames},
    {.name = kIndexNowName,
     .modern = true,
     .audience = kIndexNowRobots,
     .newOrChangedOnly =
         [](const SubmitJob& job) { return job.indexNow.settings.onlyNewOrChanged; },
     .keyChecked = true,
     .on = [](const SubmitJob& job) { return job.indexNow.announces(); },
     .make = [](const SubmitJob& job, FetchPrompt&, RunControl& control,
                RunRecorder& recorder) -> std::unique_ptr<Channel> {
         IndexNowJob indexNow = job.indexNow;
         indexNow.pages = Planned(job, kIndexNowName);
         return std::make_unique<IndexNowChannel>(std::move(indexNow), job.retry, job.routing,
                                                  control, recorder);
     },
     .acceptedAs = [] { return std::vector<std::string_view>{kIndexNowName}; },
     .reaches =
         [] {
             return std::vector<std::string_view>{"Bing", "Yandex", "Seznam", "Naver", "Yep"};
         }},
    {.name = kGoogleName,
     .modern = true,
     .audience = kGoogleRobot,
     // Its pages wait for an inspection until they change again.
     .measuresChanges = true,
     .on = [](const SubmitJob& job) { return job.google.announces(); },
     .make = [](const SubmitJob& job, FetchPrompt&, RunControl& control,
                RunRecorder& recorder) -> std::unique_ptr<Channel> {
         GoogleJob google = job.google;
         google.pages = Planned(job, kGoogleName);
         if (job.plan) {
             google.dates = job.plan->dates;
         }
         return std::make_unique<GoogleChannel>(std::move(google), job.routing, control, recorder);
     },
     // What Google says of a page has columns of its own.
     .acceptedAs = [] { return std::vector<std::string_view>{}; },
     .reaches = [] { return std::vector<std::string_view>{"Google"}; },
     .quotaLeft = [](const SubmitJob& job, const std::string& site) -> std::optional<QuotaLeft> {
         return QuotaLeft{.today = InspectionsLeft(job.google, site)};
     }},
    ApiKind<kBingAccount, kBingName, MakeBingChannel, kBing>(kIndexNowRobots),
    ApiKind<kYandexAccount, kYandexName, MakeYandexChannel, kYandex>(kIndexNowRobots),
    // Baidu's robot heeds the rules every robot heeds; its own groups are not told apart.
    ApiKind<kBaiduAccount, kBaiduName, MakeBaiduChannel, kBaidu>(kIndexNowRobots),
};

}  // namespace

std::span<const ChannelKind> ChannelKinds() {
    return kKinds;
}

void ApplyChannelSettings(SubmitJob& job, const ChannelSettings& channels) {
    job.classic = channels.settings.classic;
    job.indexNow.settings = channels.settings;
    job.google.key = channels.googleKey;
    job.apis.clear();
    for (const ChannelKind* kind : AccountKinds()) {
        const std::string_view section = kind->account->section;
        const auto settings = channels.settings.accounts.find(section);
        const auto credential = channels.credentials.find(section);
        job.apis[std::string(section)] = {
            .settings =
                settings == channels.settings.accounts.end() ? AccountSettings{} : settings->second,
            .credential =
                credential == channels.credentials.end() ? std::string() : credential->second};
    }
}

std::vector<const ChannelKind*> AccountKinds() {
    std::vector<const ChannelKind*> kinds;
    for (const ChannelKind& kind : kKinds) {
        if (kind.account != nullptr) {
            kinds.push_back(&kind);
        }
    }
    return kinds;
}

const ChannelKind* AccountKindOf(std::string_view section) {
    for (const ChannelKind* kind : AccountKinds()) {
        if (kind->account->section == section) {
            return kind;
        }
    }
    return nullptr;
}

bool AnyChannelOn(const SubmitJob& job) {
    return std::ranges::any_of(kKinds, [&](const ChannelKind& kind) { return kind.on(job); });
}

bool AnyChannelOn(const ChannelSettings& channels) {
    SubmitJob job;
    ApplyChannelSettings(job, channels);
    return AnyChannelOn(job);
}

bool AnyModernChannelOn(const SubmitJob& job) {
    return std::ranges::any_of(
        kKinds, [&](const ChannelKind& kind) { return kind.modern && kind.on(job); });
}

bool AnyModernChannelOn(const ChannelSettings& channels) {
    SubmitJob job;
    ApplyChannelSettings(job, channels);
    return AnyModernChannelOn(job);
}

std::vector<std::unique_ptr<Channel>> MakeChannels(const SubmitJob& job, FetchPrompt& prompt,
                                                   RunControl& control, RunRecorder& recorder) {
    const bool resend = job.mode == SubmitJob::Resend;
    std::vector<std::unique_ptr<Channel>> channels;
    for (const ChannelKind& kind : kKinds) {
        if (resend || kind.on(job)) {
            channels.push_back(kind.make(job, prompt, control, recorder));
        }
    }
    return channels;
}

std::vector<std::string> AcceptanceNames() {
    std::vector<std::string> names;
    for (const ChannelKind& kind : kKinds) {
        for (const std::string_view name : kind.acceptedAs()) {
            names.emplace_back(name);
        }
    }
    return names;
}

std::string ChangesMeasuredFrom() {
    return std::string(kIndexNowName);
}

}  // namespace quaymark
