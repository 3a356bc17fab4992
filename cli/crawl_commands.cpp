#include "cli/crawl_commands.h"

#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>

#include "app/crawl_logs.h"
#include "app/history_table.h"
#include "app/site_status.h"
#include "base/counted.h"
#include "cli/progress.h"

namespace quaymark::cli {
namespace {

using json = nlohmann::json;

constexpr const char* kName = "quaymark-cli";

int Problem(const AnnouncerSeams& seams, const std::string& text, int status) {
    seams.err << kName << ": " << Printable(text) << '\n';
    return status;
}

json EventJson(const PageEvent& event) {
    static constexpr const char* kKinds[] = {"sent", "crawled", "inspected"};
    return {{"kind", kKinds[static_cast<int>(event.kind)]},
            {"time", event.time},
            {"by", event.who},
            {"what", event.what},
            {"good", event.good}};
}

json SeriesJson(const std::vector<DaySeries>& series) {
    json out = json::object();
    for (const DaySeries& one : series) {
        out[one.name] = one.values;
    }
    return out;
}

json StatusJson(const SiteStatus& status, bool chosen) {
    const SiteRow& row = status.row;
    json channels = json::array();
    for (const ChannelState& channel : row.channels) {
        channels.push_back(
            {{"name", channel.name},
             {"on", channel.on},
             {"quota_left", channel.quotaLeft ? json(*channel.quotaLeft) : json()},
             {"quota_month_left", channel.monthLeft ? json(*channel.monthLeft) : json()}});
    }
    json site = {{"site", row.site},
                 {"pages", row.pages},
                 {"sitemap_pages", row.sitemapPages},
                 {"logs", row.logPaths},
                 {"last_announced", row.lastAnnounced != 0 ? json(row.lastAnnounced) : json()},
                 {"channels", channels}};
    if (!chosen) {
        return site;
    }
    site["days"] = kStatusDays;
    site["announced"] = row.announced;
    site["crawled_since_announced"] = row.crawled;
    site["google_inspected"] = row.inspected;
    site["google_indexed"] = row.indexed;
    json engines = json::array();
    for (const EngineCrawl& engine : status.engines) {
        engines.push_back(
            {{"engine", engine.engine},
             {"announced", engine.announced},
             {"day_old", engine.dayOld},
             {"crawled_within_day", engine.withinDay},
             {"week_old", engine.weekOld},
             {"crawled_within_week", engine.withinWeek},
             {"median_seconds", engine.medianSeconds ? json(*engine.medianSeconds) : json()}});
    }
    site["engines"] = engines;
    site["first_day"] = status.firstDay * 24 * 60 * 60;
    site["sent_by_day"] = SeriesJson(status.sent);
    site["visits_by_day"] = SeriesJson(status.visits);
    site["google_by_day"] = SeriesJson(status.google);
    return site;
}

void PrintRow(const SiteStatus& status, bool chosen, std::ostream& out) {
    const SiteRow& row = status.row;
    out << Printable(row.site) << '\n';
    out << "  Pages: " << row.pages << " in the list, " << row.sitemapPages << " in its sitemaps; "
        << Counted(row.logPaths.size(), "access log", "access logs") << '\n';
    out << "  Last announcement: " << (row.lastAnnounced != 0 ? Moment(row.lastAnnounced) : "none")
        << '\n';
    std::string channels;
    for (const ChannelState& channel : row.channels) {
        channels += (channels.empty() ? "" : "; ") + ChannelStateText(channel);
    }
    out << "  Channels: " << channels << '\n';
    if (!chosen) {
        return;
    }
    out << "  In the last " << kStatusDays << " days: " << Counted(row.announced, "page", "pages")
        << " announced, " << row.crawled << " fetched since by a verified robot\n";
    if (row.inspected > 0) {
        out << "  Google: " << row.indexed << " of " << row.inspected
            << " inspected pages indexed\n";
    }
    for (const EngineCrawl& engine : status.engines) {
        out << "  " << EngineCrawlLine(engine) << '\n';
    }
}

}  // namespace

int GiveLog(const std::string& site, const std::string& path, const AnnouncerSeams& seams) {
    const SiteLogChange change = GiveSiteLog(site, path);
    if (!change.failure.empty()) {
        return Problem(seams, change.failure, kSetupOrUsage);
    }
    seams.out << "The log " << Printable(path) << " is read for " << Printable(change.site)
              << ": by " << kName << " logs read, the daily timer and the Sites window.\n";
    return kAllAnnounced;
}

int TakeLog(const std::string& site, const std::string& path, const AnnouncerSeams& seams) {
    const SiteLogChange change = TakeSiteLog(site, path);
    if (!change.failure.empty()) {
        return Problem(seams, change.failure, kSetupOrUsage);
    }
    seams.out << "The log " << Printable(path) << " is no longer read for "
              << Printable(change.site) << "; what it told stays in the history.\n";
    return kAllAnnounced;
}

int ListLogs(const AnnouncerSeams& seams) {
    const SiteLogList list = SiteLogsKept();
    if (!list.failure.empty()) {
        return Problem(seams, list.failure, kSetupOrUsage);
    }
    if (list.logs.empty()) {
        seams.out << "No access log is given: give one with " << kName
                  << " logs add <site> <file>.\n";
    }
    for (const SiteLog& log : list.logs) {
        seams.out << Printable(log.site) << ": " << Printable(log.path) << " (read "
                  << (log.readAt != 0 ? Moment(log.readAt) : "never") << ")\n";
    }
    return kAllAnnounced;
}

int ReadLogs(const std::string& site, bool quiet, const AnnouncerSeams& seams) {
    const LogsRead read = ReadSiteLogs(site, seams.routing);
    if (!read.failure.empty()) {
        return Problem(seams, read.failure, kSetupOrUsage);
    }
    int status = kAllAnnounced;
    for (const LogRead& log : read.logs) {
        if (!log.failure.empty()) {
            Problem(seams, LogReadLine(log), kSomeRefused);
            status = kSomeRefused;
        } else if (!quiet) {
            seams.out << Printable(LogReadLine(log)) << '\n';
        }
    }
    if (read.logs.empty() && !quiet) {
        seams.out << "No access log is given" << (site.empty() ? "" : " for " + Printable(site))
                  << ".\n";
    }
    return status;
}

int ShowStatus(const std::string& site, const std::string& page, bool json,
               const AnnouncerSeams& seams) {
    if (!page.empty()) {
        const PageTimeline timeline = TimelineOf(page);
        if (!timeline.failure.empty()) {
            return Problem(seams, timeline.failure, kSetupOrUsage);
        }
        if (json) {
            nlohmann::json events = nlohmann::json::array();
            for (const PageEvent& event : timeline.events) {
                events.push_back(EventJson(event));
            }
            seams.out << nlohmann::json{{"page", page}, {"events", events}}.dump(
                             2, ' ', false, nlohmann::json::error_handler_t::replace)
                      << '\n';
            return kAllAnnounced;
        }
        if (timeline.events.empty()) {
            seams.out << "Nothing is known of " << Printable(page) << ".\n";
        }
        static constexpr const char* kDone[] = {"sent through", "fetched by", "inspected by"};
        for (const PageEvent& event : timeline.events) {
            seams.out << Moment(event.time) << "  " << kDone[static_cast<int>(event.kind)] << ' '
                      << Printable(event.who) << ": " << Printable(event.what) << '\n';
        }
        return kAllAnnounced;
    }
    const SitesStatus status = StatusOfSites(site, std::time(nullptr));
    if (!status.failure.empty()) {
        return Problem(seams, status.failure, kSetupOrUsage);
    }
    const auto chosen = [](const SiteStatus& one) { return one.chosen; };
    if (!site.empty() && std::none_of(status.sites.begin(), status.sites.end(), chosen)) {
        return Problem(seams, site + ": no page of this site is in the list", kSetupOrUsage);
    }
    if (json) {
        nlohmann::json sites = nlohmann::json::array();
        for (const SiteStatus& one : status.sites) {
            if (site.empty() || chosen(one)) {
                sites.push_back(StatusJson(one, chosen(one)));
            }
        }
        seams.out << nlohmann::json{{"sites", sites}}.dump(2, ' ', false,
                                                           nlohmann::json::error_handler_t::replace)
                  << '\n';
        return kAllAnnounced;
    }
    for (const SiteStatus& one : status.sites) {
        if (site.empty() || chosen(one)) {
            PrintRow(one, chosen(one), seams.out);
        }
    }
    if (status.sites.empty()) {
        seams.out << "No site is set up: add one with " << kName << " site add <address>.\n";
    }
    return kAllAnnounced;
}

}  // namespace quaymark::cli
