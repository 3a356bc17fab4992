#include "engine/run/submit_run.h"

#include <algorithm>
#include <ctime>

#include "engine/run/channel_kinds.h"
#include "engine/run/page_screen.h"

namespace quaymark {

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

// The modern channels hear only of the pages their checks let through; the classic pages
// are sent every address, as they always were.
void SubmitRun::CheckPages() {
    IndexNowJob& indexNow = job_.indexNow;
    if (job_.mode != SubmitJob::Normal || !indexNow.settings.checkPages ||
        !AnyModernChannelOn(job_)) {
        return;
    }
    if (indexNow.dates.empty() && job_.log != nullptr) {
        indexNow.dates = job_.log->AnnouncedDates(ChangesMeasuredFrom());
    }
    ScreenOutcome screened =
        ScreenPages(job_.items, indexNow.dates,
                    {.routing = job_.routing, .keep = true, .now = std::time(nullptr)}, job_.log,
                    observer_, control_.token());
    indexNow.checked = screened.AnnounceableTo(kIndexNowRobots);
    job_.google.screened = true;
    job_.google.checked = screened.AnnounceableTo(kGoogleRobot);
    job_.google.dates = indexNow.dates;
    for (std::string& note : screened.notes) {
        recorder_.Note(std::move(note));
    }
}

RunResult SubmitRun::SubmitWorker() {
    CheckPages();
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
