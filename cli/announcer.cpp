#include "cli/announcer.h"

#include <CLI/CLI.hpp>

#include <ctime>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "app/list_additions.h"
#include "base/product.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "engine/google/service_key.h"
#include "engine/net/http_text.h"
#include "engine/run/announce_changes.h"
#include "storage/history.h"
#include "storage/indexnow_settings.h"
#include "storage/list_lock.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"

namespace quaymark::cli {
namespace {

struct Options {
    bool dryRun = false;
    std::string site;
    bool all = false;
    bool json = false;
    bool quiet = false;
    bool scheduled = false;
};

// A setup problem: one line on standard error, and the status that says so.
int SetupError(const AnnouncerSeams& seams, const std::string& reason) {
    seams.err << "quaymark-announce: " << Printable(reason) << '\n';
    return kSetupOrUsage;
}

std::string SetupProblem(AnnounceOutcome::Setup setup, const std::string& site) {
    switch (setup) {
        case AnnounceOutcome::Setup::NoChannel:
            return "no channel to announce through: turn IndexNow (or Google Search Console) "
                   "on with its key in the Channels window of " +
                   std::string(kProgramName);
        case AnnounceOutcome::Setup::NoSitemap:
            return "no site has a remembered sitemap: import a site's sitemaps in " +
                   std::string(kProgramName) + " first";
        case AnnounceOutcome::Setup::NoSuchSite:
            return site + ": no remembered sitemap for this site";
        case AnnounceOutcome::Setup::Ready:
            break;
    }
    return {};
}

// The run as the history keeps it, for the History window and the notice of a failed timer run.
AnnouncerRun RunRecord(const Options& options, int exitStatus, std::string result,
                       const AnnounceOutcome* outcome = nullptr) {
    AnnouncerRun run{.time = std::time(nullptr),
                     .scheduled = options.scheduled,
                     .exitStatus = exitStatus,
                     .result = std::move(result)};
    if (outcome != nullptr) {
        run.announced = static_cast<std::int64_t>(outcome->announced());
        run.refused = static_cast<std::int64_t>(outcome->refused());
        run.leftOut = static_cast<std::int64_t>(outcome->leftOut());
    }
    return run;
}

int Announce(const Options& options, const AnnouncerSeams& seams) {
    // No history is made for nothing: without one there is no remembered sitemap.
    const std::filesystem::path historyFile = HistoryPath(UrlListPath());
    if (!FileExists(historyFile)) {
        return SetupError(seams, SetupProblem(AnnounceOutcome::Setup::NoSitemap, options.site));
    }
    History::Opened opened = History::Open(historyFile);
    if (!opened.history) {
        return SetupError(seams, opened.problem);
    }
    if (!opened.problem.empty()) {
        seams.err << "quaymark-announce: " << Printable(opened.problem) << '\n';
    }
    HistoryWriter writer(*opened.history);
    // A setup problem is recorded too, so that the window can tell of a timer run that failed.
    const auto fail = [&](const std::string& reason) {
        if (!options.dryRun) {
            writer.PostWrite([run = RunRecord(options, kSetupOrUsage, reason)](History& history) {
                return history.RecordAnnouncerRun(run);
            });
            writer.Flush();
        }
        return SetupError(seams, reason);
    };
    IndexNowSettings settings;
    const std::filesystem::path settingsFile = IndexNowSettingsPath();
    if (const FileResult loaded = LoadIndexNowSettings(settingsFile, settings);
        !loaded && !loaded.Missing()) {
        return fail("the settings " + settingsFile.string() +
                    " could not be read: " + loaded.Reason());
    }
    // A key that cannot be taken leaves Google out, not the other channels.
    GoogleJob google;
    if (settings.google) {
        KeyReading reading = LoadServiceKey(GoogleKeyPath());
        if (!reading.key) {
            seams.err << "quaymark-announce: Google Search Console left out: "
                      << Printable(GoogleKeyPath().string()) << ": " << Describe(reading.problem)
                      << '\n';
        }
        google.key = std::move(reading.key);
    }
    if (!IndexNowJob{settings}.announces() && !google.announces()) {
        return fail(SetupProblem(AnnounceOutcome::Setup::NoChannel, options.site));
    }
    // One announcement at a time: a second would send every page again.
    std::unique_ptr<ListLock> runLock;
    if (!options.dryRun) {
        const std::filesystem::path lockFile = RunLockPath(UrlListPath());
        const auto minutes = std::chrono::ceil<std::chrono::minutes>(seams.runLockWait).count();
        runLock = WaitForLock(lockFile, seams.runLockWait, [&] {
            seams.err << "quaymark-announce: another announcement is under way (" << kProgramName
                      << " or another quaymark-announce); waiting for it to end, at most "
                      << Counted(static_cast<std::size_t>(minutes), "minute", "minutes") << '\n';
        });
        if (runLock->heldElsewhere()) {
            return fail("another announcement was still under way after " +
                        Counted(static_cast<std::size_t>(minutes), "minute", "minutes") +
                        ": nothing announced; the next run announces what this one would have");
        }
        if (!runLock->held()) {
            return fail("the run lock " + lockFile.string() + " could not be taken (" +
                        runLock->error().message() + ")");
        }
    }
    ProgressLines progress(seams.err, seams.terminal, options.quiet || options.json);
    AnnounceChanges announce({.settings = settings,
                              .google = std::move(google),
                              .site = options.site,
                              .all = options.all,
                              .dryRun = options.dryRun,
                              .errorPageDir = ErrorPageDirectory(),
                              .routing = seams.routing},
                             writer, progress);
    const AnnounceOutcome outcome = announce.Run();
    if (outcome.setup != AnnounceOutcome::Setup::Ready) {
        return fail(SetupProblem(outcome.setup, options.site));
    }
    Report report{.outcome = outcome,
                  .dryRun = options.dryRun,
                  .list = AddToList(outcome.listPages, options.dryRun)};
    report.exitStatus = outcome.refused() > 0 || outcome.sitemapsFailed() || outcome.cancelled
                            ? kSomeRefused
                            : kAllAnnounced;
    if (!options.dryRun) {
        writer.PostWrite([run = RunRecord(options, report.exitStatus,
                                          AnnounceSummary(outcome, false), &outcome)](
                             History& history) { return history.RecordAnnouncerRun(run); });
    }
    writer.Flush();
    if (const std::string failure = writer.failure(); !failure.empty()) {
        seams.err << "quaymark-announce: the history could not be kept: " << Printable(failure)
                  << '\n';
    }
    WriteErrors(report, seams.err);
    if (options.json) {
        WriteJson(report, seams.out);
    } else {
        WriteText(report, options.quiet, seams.out);
    }
    return report.exitStatus;
}

}  // namespace

int RunAnnouncer(const std::vector<std::string>& arguments, const AnnouncerSeams& seams) {
    CLI::App app("Announces the new, changed and removed pages of the sites whose sitemaps " +
                     std::string(kProgramName) + " remembers, through the channels chosen in it.",
                 "quaymark-announce");
    Options options;
    app.add_flag("-n,--dry-run", options.dryRun,
                 "Read the sitemaps and print what would be announced and why; send and record "
                 "nothing");
    app.add_option("--site", options.site, "Announce only this site's pages")->type_name("URL");
    app.add_flag("--all", options.all, "Announce every page, new or changed or not");
    app.add_flag("--json", options.json, "Write a report in JSON on standard output");
    app.add_flag("-q,--quiet", options.quiet, "Print nothing but errors");
    app.add_flag("--scheduled", options.scheduled,
                 "Record the run as one of the daily timer's (the timer passes it)");
    app.set_version_flag("--version",
                         std::string(kProgramName) + " announcer " + std::string(QUAYMARK_VERSION));
    app.footer(
        "Exit status: 0 all announced or nothing to announce; 1 some announcements refused or "
        "a sitemap not read; 2 a setup or usage error.");
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help, seams.out, seams.err);
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version, seams.out, seams.err);
    } catch (const CLI::ParseError& error) {
        return SetupError(seams, std::string(error.what()) + " (see --help)");
    }
    return Announce(options, seams);
}

}  // namespace quaymark::cli
