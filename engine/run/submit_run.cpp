#include "engine/run/submit_run.h"

#include <algorithm>
#include <ctime>

#include "engine/run/channel_kinds.h"
#include "engine/run/page_screen.h"
#include "engine/run/run_gate.h"
#include "engine/run/run_stores.h"

namespace quaymark {

void RunStores::Attach(SubmitJob& job) {
    job.log = &requests();
    job.google.memory = &google();
    for (auto& [section, api] : job.apis) {
        api.memory = &quotas();
    }
}

SubmitRun::SubmitRun(SubmitJob job, FetchPrompt& prompt, RunObserver& observer,
                     std::stop_token stop)
    : job_(std::move(job)),
      prompt_(prompt),
      observer_(observer),
      control_(std::move(stop)),
      recorder_(job_.errorPageDir, observer, job_.log) {}

// Every address goes to each channel that sends per address, in list order; then each
// channel finishes what it gathered (IndexNow's batches), unless the run was cancelled.
bool SubmitRun::SendEach(std::vector<std::unique_ptr<Channel>>& channels) {
    RunSteps steps;
    for (const auto& channel : channels) {
        const RunSteps own = channel->Prepare(job_.items);
        steps.perAddress += own.perAddress;
        steps.beyond += own.beyond;
    }
    observer_.RunStarted(static_cast<int>(job_.items.size()), steps.perAddress, steps.beyond);
    bool failed = false;
    for (std::size_t i = 0; i < job_.items.size() && !control_.Cancelled(); ++i) {
        const std::string& item = job_.items[i];
        if (steps.perAddress > 0) {
            observer_.AddressStarted(item);
        }
        for (const auto& channel : channels) {
            failed = channel->SendAddress(item) || failed;
        }
    }
    for (const auto& channel : channels) {
        if (!control_.Cancelled()) {
            failed = channel->Finish() || failed;
        }
    }
    return failed;
}

// Each failed request goes back to the channel that sent it, one step each.
bool SubmitRun::SendAgain(std::vector<std::unique_ptr<Channel>>& channels) {
    observer_.RunStarted(static_cast<int>(job_.resendItems.size()), 1, 0);
    bool failed = false;
    for (std::size_t i = 0; i < job_.resendItems.size() && !control_.Cancelled(); ++i) {
        const RunRequest& request = job_.resendItems[i];
        const auto channel = std::find_if(channels.begin(), channels.end(), [&](const auto& c) {
            return c->name() == request.channel;
        });
        if (channel == channels.end()) {
            continue;  // no channel of the program sent it
        }
        observer_.AddressStarted((*channel)->Label(request));
        observer_.EngineStarted(kResendName);
        if (!control_.Cancelled()) {
            failed = (*channel)->Resend(request) || failed;
        }
        observer_.RequestDone();
    }
    return failed;
}

// The modern channels hear only of the pages the gate and their checks let through; the
// classic pages are sent every address, as they always were.
void SubmitRun::Plan() {
    if (job_.mode != SubmitJob::Normal || job_.plan) {
        return;
    }
    RunPlan& plan = job_.plan.emplace();
    if (!AnyModernChannelOn(job_)) {
        return;
    }
    const bool check = job_.indexNow.settings.checkPages;
    const auto newOrChangedOnly = [&](const ChannelKind& kind) {
        return kind.newOrChangedOnly != nullptr && kind.newOrChangedOnly(job_);
    };
    bool needsDates = check;
    for (const ChannelKind& kind : ChannelKinds()) {
        if (kind.modern && kind.on(job_)) {
            needsDates = needsDates || kind.measuresChanges || newOrChangedOnly(kind);
        }
    }
    plan.dates = std::move(job_.dates);
    // The history is asked here, on the worker, so that no window waits for it.
    if (needsDates && plan.dates.empty() && job_.log != nullptr) {
        plan.dates = job_.log->AnnouncedDates(ChangesMeasuredFrom());
    }
    const bool indexNow = std::ranges::any_of(ChannelKinds(), [&](const ChannelKind& kind) {
        return kind.modern && kind.keyChecked && kind.on(job_);
    });
    RunGate gate = PassGate(job_.items,
                            {.routing = job_.routing,
                             .settings = &job_.indexNow.settings,
                             .indexNow = indexNow,
                             .now = std::time(nullptr),
                             .stop = control_.token()},
                            job_.log);
    for (std::string& note : gate.notes) {
        recorder_.Note(std::move(note));
    }
    if (const std::string gated = LeftOutByGate(gate.leftOut); !gated.empty()) {
        recorder_.Note(gated);
    }
    std::optional<ScreenOutcome> screened;
    if (check) {
        screened = ScreenPages(gate.passed, plan.dates,
                               {.routing = job_.routing, .keep = true, .now = std::time(nullptr)},
                               job_.log, observer_, control_.token());
        for (std::string& note : screened->notes) {
            recorder_.Note(std::move(note));
        }
    }
    for (const ChannelKind& kind : ChannelKinds()) {
        if (!kind.modern || !kind.on(job_)) {
            continue;
        }
        std::vector<std::string> pages =
            screened ? screened->AnnounceableTo(kind.audience) : gate.passed;
        if (kind.keyChecked) {
            pages = gate.ForIndexNow(pages);
        }
        if (newOrChangedOnly(kind)) {
            PassedOver passedOver;
            pages = NewOrChanged(pages, plan.dates, std::time(nullptr), passedOver);
            for (std::string& note : PassedOverNotes(passedOver)) {
                recorder_.Note(std::move(note));
            }
        }
        plan.pages.emplace(kind.name, std::move(pages));
    }
}

RunResult SubmitRun::SubmitWorker() {
    Plan();
    {
        std::vector<std::unique_ptr<Channel>> channels =
            MakeChannels(job_, prompt_, control_, recorder_);
        const bool failed =
            job_.mode == SubmitJob::Resend ? SendAgain(channels) : SendEach(channels);
        recorder_.result().failed = failed;
        observer_.RunEnded();
    }
    return std::move(recorder_.result());
}

}  // namespace quaymark
