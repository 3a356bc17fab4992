#include "engine/run/channel_kinds.h"

#include <algorithm>

#include "engine/classic/classic_channel.h"
#include "engine/classic/engine_table.h"
#include "engine/google/google_channel.h"
#include "engine/indexnow/indexnow_channel.h"

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
     .quotaLeft = [](const SubmitJob& job, const std::string& site) -> std::optional<int> {
         return InspectionsLeft(job.google, site);
     }},
};

}  // namespace

std::span<const ChannelKind> ChannelKinds() {
    return kKinds;
}

void ApplyChannelSettings(SubmitJob& job, const ChannelSettings& channels) {
    job.classic = channels.settings.classic;
    job.indexNow.settings = channels.settings;
    job.google.key = channels.googleKey;
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
