#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>

#include "app/channel_setup.h"
#include "app/sites.h"
#include "base/counted.h"
#include "base/product.h"
#include "cli/account_commands.h"
#include "cli/channel_words.h"
#include "cli/crawl_commands.h"
#include "cli/gate_command.h"
#include "cli/history_command.h"
#include "cli/progress.h"

namespace quaymark::cli {
namespace {

// Follows an import on standard error: a line for each sitemap read.
class ImportLines : public ImportObserver {
public:
    ImportLines(std::ostream& err, bool quiet) : err_(err), quiet_(quiet) {}
    void SitemapStarted(const std::string& sitemap) override {
        if (!quiet_) {
            err_ << "Reading " << Printable(sitemap) << '\n';
        }
    }
    void AddressesFound(std::size_t) override {}

private:
    std::ostream& err_;
    bool quiet_;
};

int AddSite(const std::string& address, bool quiet, const AnnouncerSeams& seams) {
    ImportLines lines(seams.err, quiet);
    const SiteAdded added = quaymark::AddSite(address, seams.routing, lines);
    for (const SitemapFailure& failure : added.import.failures) {
        seams.err << kName << ": " << Printable(FailureText(failure)) << '\n';
    }
    if (added.import.read.empty()) {
        return Problem(seams, address + ": no sitemap could be read", kSomeRefused);
    }
    if (!added.failure.empty()) {
        return Problem(seams, "the history could not be kept: " + added.failure, kSetupOrUsage);
    }
    for (const std::string& line : added.import.notes.lines) {
        seams.out << Printable(line) << '\n';
    }
    seams.out << "Remembered " << Counted(added.import.read.size(), "sitemap", "sitemaps") << " of "
              << Printable(added.import.site) << " naming "
              << Counted(added.import.pages.size(), "page", "pages") << "; added "
              << Counted(added.list.added, "page", "pages") << " to the list.\n";
    if (!added.list.why.empty()) {
        return Problem(seams, added.list.why, kSomeRefused);
    }
    return added.import.failures.empty() ? kAllAnnounced : kSomeRefused;
}

int ListSites(const AnnouncerSeams& seams) {
    const SiteList list = RememberedSites();
    if (!list.failure.empty()) {
        return Problem(seams, list.failure, kSetupOrUsage);
    }
    if (list.sites.empty()) {
        seams.out << "No site is set up: add one with " << kName << " site add <address>.\n";
    }
    for (const RememberedSite& site : list.sites) {
        seams.out << Printable(site.site) << '\n';
        for (const RememberedSite::Sitemap& sitemap : site.sitemaps) {
            seams.out << "  " << Printable(sitemap.address) << " ("
                      << Counted(sitemap.pages, "page", "pages") << ")\n";
        }
    }
    return kAllAnnounced;
}

int RemoveSite(const std::string& address, const AnnouncerSeams& seams) {
    const SiteForgotten forgotten = ForgetSite(address);
    if (!forgotten.failure.empty()) {
        return Problem(seams, forgotten.failure, kSetupOrUsage);
    }
    seams.out << "Forgot " << Printable(forgotten.site) << "; its pages stay in the list.\n";
    return kAllAnnounced;
}

int IndexNowOn(const IndexNowChoice& choice, const AnnouncerSeams& seams) {
    const ChannelChange change = TurnIndexNowOn(choice);
    if (!change.keyFile.empty() && change.kind == ChannelChange::Kind::Done) {
        seams.out << "Wrote the key file " << Printable(change.keyFile.string()) << ".\n";
    }
    if (const int status = Told(change, seams); status != kAllAnnounced) {
        return status;
    }
    const IndexNowSettings& settings = change.settings;
    seams.out << "IndexNow is on, with the key " << settings.key << ".\n"
              << "Each site must serve it: "
              << (settings.keyLocation.empty() ? "https://<host>/" + settings.key + ".txt"
                                               : Printable(settings.keyLocation))
              << " holding exactly " << settings.key << " (" << kName
              << " indexnow check tells whether it does).\n";
    return kAllAnnounced;
}

int IndexNowCheck(const AnnouncerSeams& seams) {
    using Kind = SitesKeyCheck::Kind;
    const SitesKeyCheck check = CheckSitesKey(seams.routing);
    switch (check.kind) {
        case Kind::SettingsUnreadable:
            return Problem(
                seams,
                "the settings " + check.file.string() + " could not be read: " + check.detail,
                kSetupOrUsage);
        case Kind::NoKey:
            return Problem(
                seams,
                "IndexNow has no key: turn it on with " + std::string(kName) + " indexnow on",
                kSetupOrUsage);
        case Kind::NoSite:
            return Problem(
                seams,
                "no site is set up: add one with " + std::string(kName) + " site add <address>",
                kSetupOrUsage);
        case Kind::HistoryUnreadable:
            return Problem(seams, check.detail, kSetupOrUsage);
        case Kind::Checked:
            break;
    }
    bool served = true;
    for (const KeyCheckReport::Host& host : check.report.hosts) {
        seams.out << Printable(host.host + ": " + KeyCheckText(host.check)) << '\n';
        served = served && host.check.verdict == KeyFileCheck::Verdict::Served;
    }
    return served ? kAllAnnounced : kSomeRefused;
}

int GoogleOn(const std::string& keyFile, const AnnouncerSeams& seams) {
    const ChannelChange change = TurnGoogleOn(keyFile);
    if (const int status = Told(change, seams); status != kAllAnnounced) {
        return status;
    }
    seams.out << "Google Search Console is on, with the key of " << Printable(change.account)
              << ".\n";
    TellKeptInFile(change, seams);
    return kAllAnnounced;
}

// Says the channel is off, or why it could not be turned off.
int Off(const ChannelChange& change, const char* said, const AnnouncerSeams& seams) {
    if (const int status = Told(change, seams); status != kAllAnnounced) {
        return status;
    }
    seams.out << said << '\n';
    return kAllAnnounced;
}

// The daily timer set up or taken down, as the window's tick does.
int SetTimer(bool on, const AnnouncerSeams& seams) {
    using Kind = DailyJobChange::Kind;
    const std::filesystem::path announcer =
        seams.announcer.empty() ? FindAnnouncer() : seams.announcer;
    if (on && announcer.empty()) {
        return Problem(
            seams,
            "quaymark-announce was not found beside " + std::string(kName) + " or on the PATH",
            kSetupOrUsage);
    }
    const DailyJobChange change =
        on ? EnableDailyJob(announcer, seams.userManager) : DisableDailyJob(seams.userManager);
    const std::string units = change.units.string();
    // Where the timer cannot be, the crontab line that does the same follows on its own line.
    const auto withCrontab = [&](const std::string& reason) {
        const int status = Problem(seams,
                                   reason +
                                       "; to announce every day all the same, add this "
                                       "line to your crontab (crontab -e):",
                                   kSetupOrUsage);
        seams.err << Printable(change.crontab) << '\n';
        return status;
    };
    switch (change.kind) {
        case Kind::Done:
            seams.out << (on ? "The daily timer is on: quaymark-announce runs once a day.\n"
                             : "The daily timer is off.\n");
            return kAllAnnounced;
        case Kind::RefusedPath:
            return withCrontab("the announcer's path " + announcer.string() +
                               " holds a character systemd does not take in a unit");
        case Kind::NotWritten:
            return Problem(seams,
                           "the timer could not be written to " + units + ": " + change.detail,
                           kSetupOrUsage);
        case Kind::NoUserManager:
            return withCrontab("no systemd user manager runs here (" + change.detail + ")");
        case Kind::NotEnabled:
            return Problem(seams, "the timer could not be enabled: " + change.detail,
                           kSetupOrUsage);
        case Kind::NotRemoved:
            return Problem(seams,
                           "the timer could not be removed from " + units + ": " + change.detail,
                           kSetupOrUsage);
    }
    return kSetupOrUsage;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& arguments, const AnnouncerSeams& seams) {
    CLI::App app("Sets sites up and announces their pages through the channels of " +
                     std::string(kProgramName) + ", without a display.",
                 kName);
    app.require_subcommand(1);
    app.set_version_flag("--version",
                         std::string(kProgramName) + " command line " + QUAYMARK_VERSION);
    app.footer("Exit status: 0 done; 1 something refused or not read; 2 a setup or usage error.");

    CLI::App* site =
        app.add_subcommand("site", "Set sites up from their sitemaps")->require_subcommand(1);
    std::string address;
    bool quiet = false;
    CLI::App* add = site->add_subcommand(
        "add",
        "Read a site's sitemaps (or one sitemap), remember them and add their pages to "
        "the list");
    add->add_option("address", address, "The site or sitemap")->required();
    add->add_flag("-q,--quiet", quiet, "Print nothing but errors and the result");
    CLI::App* list = site->add_subcommand("list", "List the sites set up and their sitemaps");
    CLI::App* remove = site->add_subcommand(
        "remove", "Forget a site: no longer read nor announced; its pages stay in the list");
    remove->add_option("address", address, "The site")->required();

    CLI::App* indexNow =
        app.add_subcommand("indexnow", "Turn IndexNow on or off, or check its key on each site")
            ->require_subcommand(1);
    IndexNowChoice choice;
    CLI::App* on = indexNow->add_subcommand("on",
                                            "Turn IndexNow on, with a new key unless one "
                                            "is given or kept");
    on->add_option("--key", choice.key, "The key to use");
    on->add_option("--endpoint", choice.endpoint, "The endpoint to post to")->type_name("URL");
    on->add_option("--key-location", choice.keyLocation,
                   "Where the sites serve the key, when not at their root")
        ->type_name("URL");
    on->add_option("--key-file", choice.keyFile,
                   "Write the key file here (a file, or a folder for <key>.txt)")
        ->type_name("PATH");
    CLI::App* off = indexNow->add_subcommand("off", "Turn IndexNow off; its key is kept");
    CLI::App* check = indexNow->add_subcommand("check", "Check that each site serves the key");

    CLI::App* google =
        app.add_subcommand("google", "Turn Google Search Console on or off")->require_subcommand(1);
    std::string googleKey;
    CLI::App* googleOn = google->add_subcommand(
        "on", "Turn it on, with the service account's key given or the one kept");
    googleOn->add_option("--key", googleKey, "The service account's JSON key from Google Cloud")
        ->type_name("FILE");
    CLI::App* googleOff = google->add_subcommand("off", "Turn it off; its key is kept");

    const AccountCommands accounts(app);
    const GateCommand gate(app);

    CLI::App* timer =
        app.add_subcommand("timer", "Turn the daily timer that runs quaymark-announce on or off")
            ->require_subcommand(1);
    CLI::App* timerOn = timer->add_subcommand("on", "Announce the changes once a day");
    timer->add_subcommand("off", "No longer announce every day");

    CLI::App* history = app.add_subcommand(
        "history", "Show what the history holds of the list's pages, the sitemaps and the runs");
    std::string filter;
    history->add_option("--filter", filter, "Only the pages whose address holds this text");
    bool csv = false;
    bool json = false;
    CLI::Option* csvFlag =
        history->add_flag("--csv", csv, "As CSV, the columns first, as the window exports it");
    history->add_flag("--json", json, "As JSON")->excludes(csvFlag);

    CLI::App* logs = app.add_subcommand("logs", "Give sites their access logs, and read them")
                         ->require_subcommand(1);
    std::string logFile;
    CLI::App* logAdd =
        logs->add_subcommand("add", "Read this access log (and its rotations) for the site");
    logAdd->add_option("site", address, "The site")->required();
    logAdd->add_option("file", logFile, "The access log: combined, common or vhost_combined")
        ->required();
    CLI::App* logRemove = logs->add_subcommand("remove", "No longer read this log for the site");
    logRemove->add_option("site", address, "The site")->required();
    logRemove->add_option("file", logFile, "The access log")->required();
    CLI::App* logList = logs->add_subcommand("list", "List the logs given to each site");
    CLI::App* logRead = logs->add_subcommand(
        "read", "Read what the logs gained since their last read, and verify the robots");
    logRead->add_option("site", address, "Only this site's logs");
    logRead->add_flag("-q,--quiet", quiet, "Print nothing but errors");

    CLI::App* status = app.add_subcommand(
        "status", "Show each site's pages, channels and quotas; a site's crawls and days");
    status->add_option("site", address, "This site's crawl figures and days too");
    std::string page;
    status->add_option("--page", page, "This page's timeline instead")->type_name("URL");
    bool statusJson = false;
    status->add_flag("--json", statusJson, "As JSON");

    CLI::App* announce = app.add_subcommand("announce",
                                            "Announce what changed, as quaymark-announce does "
                                            "(its options follow)")
                             ->prefix_command();
    // Its --help is the announcer's own.
    announce->set_help_flag();

    if (const std::optional<int> ended = ParseArguments(app, arguments, seams, kName)) {
        return *ended;
    }
    if (add->parsed()) {
        return AddSite(address, quiet, seams);
    }
    if (list->parsed()) {
        return ListSites(seams);
    }
    if (remove->parsed()) {
        return RemoveSite(address, seams);
    }
    if (on->parsed()) {
        return IndexNowOn(choice, seams);
    }
    if (off->parsed()) {
        return Off(TurnIndexNowOff(), "IndexNow is off.", seams);
    }
    if (check->parsed()) {
        return IndexNowCheck(seams);
    }
    if (googleOn->parsed()) {
        return GoogleOn(googleKey, seams);
    }
    if (googleOff->parsed()) {
        return Off(TurnGoogleOff(), "Google Search Console is off; its key is kept.", seams);
    }
    if (const std::optional<int> told = accounts.Run(seams)) {
        return *told;
    }
    if (const std::optional<int> told = gate.Run(seams)) {
        return *told;
    }
    if (history->parsed()) {
        return ShowHistory(csv    ? HistoryFormat::Csv
                           : json ? HistoryFormat::Json
                                  : HistoryFormat::Person,
                           filter, seams);
    }
    if (logAdd->parsed()) {
        return GiveLog(address, logFile, seams);
    }
    if (logRemove->parsed()) {
        return TakeLog(address, logFile, seams);
    }
    if (logList->parsed()) {
        return ListLogs(seams);
    }
    if (logRead->parsed()) {
        return ReadLogs(address, quiet, seams);
    }
    if (status->parsed()) {
        return ShowStatus(address, page, statusJson, seams);
    }
    if (timer->parsed()) {
        return SetTimer(timerOn->parsed(), seams);
    }
    return RunAnnouncer(announce->remaining(), seams);
}

}  // namespace quaymark::cli
