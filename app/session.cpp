#include "app/session.h"

#include "engine/run/history_log.h"
#include "storage/program_paths.h"

namespace quaymark {

RunResult PreparedRun::Run(FetchPrompt& prompt, RunObserver& observer, std::stop_token stop) {
    // The history's writer takes the records on its own thread: the run never waits for it.
    std::optional<HistoryStores> stores;
    if (writer_ != nullptr) {
        stores.emplace(*writer_).Attach(job_);
    }
    SubmitRun run(std::move(job_), prompt, observer, std::move(stop));
    RunResult result = run.SubmitWorker();
    if (stores) {
        stores->requests().HandOn();
    }
    return result;
}

PreparedRun RunSession::Submit(std::vector<std::string> entries, std::string email) const {
    SubmitJob job{
        .mode = SubmitJob::Normal, .items = std::move(entries), .email = std::move(email)};
    ApplyChannelSettings(job, channels_);
    return Prepare(std::move(job));
}

PreparedRun RunSession::Resend(std::vector<RunRequest> requests) const {
    // A resend has every channel; those that sign in need what they sign in with.
    SubmitJob applied;
    ApplyChannelSettings(applied, channels_);
    return Prepare({.mode = SubmitJob::Resend,
                    .resendItems = std::move(requests),
                    .google = {.key = channels_.googleKey},
                    .apis = std::move(applied.apis)});
}

PreparedRun RunSession::Prepare(SubmitJob job) const {
    job.routing = routing_;
    job.errorPageDir = ErrorPageDirectory();
    return {std::move(job), writer_};
}

PreparedAnnouncement RunSession::Announce(RunObserver& observer, std::stop_token stop) const {
    return {{.settings = channels_.settings,
             .google = {.key = channels_.googleKey},
             .credentials = channels_.credentials,
             .errorPageDir = ErrorPageDirectory(),
             .routing = routing_},
            *writer_,
            observer,
            std::move(stop)};
}

}  // namespace quaymark
