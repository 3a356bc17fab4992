#include "app/announcing.h"

#include <ctime>
#include <memory>

#include "app/channel_setup.h"
#include "app/profile.h"
#include "engine/run/history_log.h"
#include "storage/history.h"
#include "storage/list_lock.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"

namespace quaymark {
namespace {

// The run as the history keeps it, for the History window and the notice of a failed timer run.
AnnouncerRun RunRecord(const AnnounceRequest& request, int exitStatus, std::string result,
                       const AnnounceOutcome* outcome = nullptr) {
    AnnouncerRun run{.time = std::time(nullptr),
                     .scheduled = request.scheduled,
                     .exitStatus = exitStatus,
                     .result = std::move(result)};
    if (outcome != nullptr) {
        run.announced = static_cast<std::int64_t>(outcome->announced());
        run.refused = static_cast<std::int64_t>(outcome->refused());
        run.leftOut = static_cast<std::int64_t>(outcome->leftOut());
    }
    return run;
}

AnnounceSetupFailure::Kind KindOf(AnnounceOutcome::Setup setup) {
    using Kind = AnnounceSetupFailure::Kind;
    switch (setup) {
        case AnnounceOutcome::Setup::NoChannel:
            return Kind::NoChannel;
        case AnnounceOutcome::Setup::NoSitemap:
            return Kind::NoSitemap;
        case AnnounceOutcome::Setup::NoSuchSite:
            return Kind::NoSuchSite;
        case AnnounceOutcome::Setup::Ready:
            break;
    }
    return Kind::None;
}

}  // namespace

Announcement Announce(const AnnounceRequest& request, AnnounceFollower& follower) {
    using Kind = AnnounceSetupFailure::Kind;
    Announcement done;
    // No history is made for nothing: without one there is no remembered sitemap.
    const std::filesystem::path historyFile = HistoryPath(UrlListPath());
    if (!FileExists(historyFile)) {
        done.setup = {.kind = Kind::NoSitemap};
        return done;
    }
    History::Opened opened = History::Open(historyFile);
    if (!opened.history) {
        done.setup = {.kind = Kind::HistoryUnreadable, .detail = opened.problem};
        return done;
    }
    if (!opened.problem.empty()) {
        follower.HistoryNote(opened.problem);
    }
    HistoryWriter writer(*opened.history);
    // A setup failure is recorded too, so that the window can tell of a timer run that failed.
    const auto fail = [&](AnnounceSetupFailure failure) {
        if (!request.dryRun) {
            writer.PostWrite([run = RunRecord(request, kSetupOrUsage, follower.Words(failure))](
                                 History& history) { return history.RecordAnnouncerRun(run); });
            writer.Flush();
        }
        done.setup = std::move(failure);
        done.exitStatus = kSetupOrUsage;
        return std::move(done);
    };
    // The daily timer's run asks nobody to unlock the keyring: a locked one is told.
    ChannelsLoaded loaded = LoadChannels(Unlock::Never);
    if (loaded.SettingsUnreadable()) {
        return fail({.kind = Kind::SettingsUnreadable,
                     .file = loaded.settingsFile,
                     .detail = loaded.settings.Reason()});
    }
    if (loaded.keyringLocked) {
        return fail({.kind = Kind::KeyringLocked, .detail = loaded.googleKeyWhere});
    }
    // A key that cannot be taken leaves Google out, not the other channels.
    if (loaded.googleKey != KeyProblem::None) {
        follower.GoogleLeftOut(loaded.googleKeyWhere, loaded.googleKey);
    }
    for (const CredentialProblem& problem : loaded.credentials) {
        follower.ChannelLeftOut(problem);
    }
    if (!AnyModernChannelOn(loaded.channels)) {
        return fail({.kind = Kind::NoChannel});
    }
    // One announcement at a time: a second would send every page again.
    std::unique_ptr<ListLock> runLock;
    if (!request.dryRun) {
        const std::filesystem::path lockFile = RunLockPath(UrlListPath());
        runLock = WaitForLock(lockFile, request.runLockWait,
                              [&] { follower.Waiting(request.runLockWait); });
        if (runLock->heldElsewhere()) {
            return fail({.kind = Kind::StillUnderWay});
        }
        if (!runLock->held()) {
            return fail({.kind = Kind::RunLockFailed,
                         .file = lockFile,
                         .detail = runLock->error().message()});
        }
    }
    HistoryStores stores(writer);
    AnnounceChanges announce({.settings = std::move(loaded.channels.settings),
                              .google = {.key = std::move(loaded.channels.googleKey)},
                              .credentials = std::move(loaded.channels.credentials),
                              .site = request.site,
                              .all = request.all,
                              .dryRun = request.dryRun,
                              .errorPageDir = ErrorPageDirectory(),
                              .routing = request.routing},
                             stores, follower.Progress());
    done.outcome = announce.Run();
    if (done.outcome.setup != AnnounceOutcome::Setup::Ready) {
        return fail({.kind = KindOf(done.outcome.setup)});
    }
    done.list = AddToList(done.outcome.listPages, request.dryRun);
    const AnnounceOutcome& outcome = done.outcome;
    done.exitStatus = outcome.refused() > 0 || outcome.sitemapsFailed() || outcome.cancelled
                          ? kSomeRefused
                          : kAllAnnounced;
    if (!request.dryRun) {
        writer.PostWrite(
            [run = RunRecord(request, done.exitStatus, AnnounceSummary(outcome, false), &outcome)](
                History& history) { return history.RecordAnnouncerRun(run); });
    }
    writer.Flush();
    done.historyFailure = writer.failure();
    return done;
}

}  // namespace quaymark
