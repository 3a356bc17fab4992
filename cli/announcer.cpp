#include "cli/announcer.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <optional>

#include "app/announcing.h"
#include "app/crawl_logs.h"
#include "base/counted.h"
#include "base/product.h"
#include "cli/progress.h"
#include "cli/report.h"

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

// What the announcer says as the announcement goes, on standard error: a note of the
// history, Google left out, a wait for another announcement; its progress; and why it could
// not begin, in the words the history records too.
class AnnouncerLines : public AnnounceFollower {
public:
    AnnouncerLines(const Options& options, const AnnouncerSeams& seams)
        : options_(options), seams_(seams) {}

    void HistoryNote(const std::string& note) override {
        seams_.err << "quaymark-announce: " << Printable(note) << '\n';
    }
    void GoogleLeftOut(const std::string& where, KeyProblem problem) override {
        seams_.err << "quaymark-announce: Google Search Console left out: its key in "
                   << Printable(where) << ": " << Describe(problem) << '\n';
    }
    void ChannelLeftOut(const CredentialProblem& problem) override {
        seams_.err << "quaymark-announce: " << problem.name << " left out: its credential in "
                   << Printable(problem.where) << ": " << Printable(problem.detail) << '\n';
    }
    void Waiting(std::chrono::milliseconds bound) override {
        seams_.err << "quaymark-announce: another announcement is under way (" << kProgramName
                   << " or another quaymark-announce); waiting for it to end, at most "
                   << Minutes(bound) << '\n';
    }
    RunObserver& Progress() override {
        if (!progress_) {
            progress_.emplace(seams_.err, seams_.terminal, options_.quiet || options_.json);
        }
        return *progress_;
    }
    std::string Words(const AnnounceSetupFailure& failure) override {
        using Kind = AnnounceSetupFailure::Kind;
        switch (failure.kind) {
            case Kind::NoChannel:
                return "no channel to announce through: turn IndexNow (or Google Search "
                       "Console) on with its key in the Channels window of " +
                       std::string(kProgramName);
            case Kind::NoSitemap:
                return "no site has a remembered sitemap: import a site's sitemaps in " +
                       std::string(kProgramName) + " (or with quaymark-cli site add) first";
            case Kind::NoSuchSite:
                return options_.site + ": no remembered sitemap for this site";
            case Kind::HistoryUnreadable:
                return failure.detail;
            case Kind::SettingsUnreadable:
                return "the settings " + failure.file.string() +
                       " could not be read: " + failure.detail;
            case Kind::StillUnderWay:
                return "another announcement was still under way after " +
                       Minutes(seams_.runLockWait) +
                       ": nothing announced; the next run announces what this one would have";
            case Kind::RunLockFailed:
                return "the run lock " + failure.file.string() + " could not be taken (" +
                       failure.detail + ")";
            case Kind::KeyringLocked:
                return failure.detail +
                       " is locked, and a channel's credential is kept in it: unlock it (log in "
                       "to the desktop) before the daily run, or keep the credentials in files "
                       "where no keyring runs; nothing announced";
            case Kind::None:
                break;
        }
        return {};
    }

private:
    static std::string Minutes(std::chrono::milliseconds bound) {
        const auto minutes = std::chrono::ceil<std::chrono::minutes>(bound).count();
        return Counted(static_cast<std::size_t>(minutes), "minute", "minutes");
    }

    const Options& options_;
    const AnnouncerSeams& seams_;
    std::optional<ProgressLines> progress_;
};

// The sites' access logs are read after each announcement: the next day's status then shows
// which robots came. A log that cannot be read is told and ends the run with 1.
int ReadLogs(const Options& options, const AnnouncerSeams& seams) {
    const LogsRead read = ReadSiteLogs(options.site, seams.routing);
    int status = kAllAnnounced;
    for (const LogRead& log : read.logs) {
        if (!log.failure.empty()) {
            seams.err << "quaymark-announce: " << Printable(LogReadLine(log)) << '\n';
            status = kSomeRefused;
        } else if (!options.quiet && !options.json) {
            seams.out << Printable(LogReadLine(log)) << '\n';
        }
    }
    return status;
}

int Announce(const Options& options, const AnnouncerSeams& seams) {
    AnnouncerLines lines(options, seams);
    const Announcement done = quaymark::Announce({.site = options.site,
                                                  .all = options.all,
                                                  .dryRun = options.dryRun,
                                                  .scheduled = options.scheduled,
                                                  .routing = seams.routing,
                                                  .runLockWait = seams.runLockWait},
                                                 lines);
    if (done.setup) {
        return SetupError(seams, lines.Words(done.setup));
    }
    if (!done.historyFailure.empty()) {
        seams.err << "quaymark-announce: the history could not be kept: "
                  << Printable(done.historyFailure) << '\n';
    }
    const Report report{.outcome = done.outcome,
                        .dryRun = options.dryRun,
                        .list = done.list,
                        .exitStatus = done.exitStatus};
    WriteErrors(report, seams.err);
    if (options.json) {
        WriteJson(report, seams.out);
    } else {
        WriteText(report, options.quiet, seams.out);
    }
    // The status as the announcement left it (the report only holds on to it).
    const int announced = done.exitStatus;
    if (options.dryRun) {
        return announced;
    }
    const int logs = ReadLogs(options, seams);
    return logs > announced ? logs : announced;
}

}  // namespace

std::optional<int> ParseArguments(CLI::App& app, const std::vector<std::string>& arguments,
                                  const AnnouncerSeams& seams, std::string_view program) {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help, seams.out, seams.err);
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version, seams.out, seams.err);
    } catch (const CLI::ParseError& error) {
        seams.err << program << ": " << Printable(std::string(error.what()) + " (see --help)")
                  << '\n';
        return kSetupOrUsage;
    }
    return std::nullopt;
}

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
    if (const std::optional<int> ended =
            ParseArguments(app, arguments, seams, "quaymark-announce")) {
        return *ended;
    }
    return Announce(options, seams);
}

}  // namespace quaymark::cli
