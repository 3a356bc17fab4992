#include "cli/report.h"

#include <nlohmann/json.hpp>

#include "base/counted.h"
#include "cli/progress.h"

namespace quaymark::cli {
namespace {

std::string Pages(std::size_t count) {
    return Counted(count, "page", "pages");
}

}  // namespace

void WriteErrors(const Report& report, std::ostream& err) {
    const AnnounceOutcome& outcome = report.outcome;
    for (const SiteReading& site : outcome.sites) {
        for (const SitemapFailure& failure : site.failures) {
            err << "quaymark-announce: " << Printable(site.site) << ": "
                << Printable(FailureText(failure)) << '\n';
        }
    }
    for (const Failure& failure : outcome.run.FailureList) {
        err << "quaymark-announce: " << Printable(FailureLine(failure)) << '\n';
    }
    if (!report.list.why.empty()) {
        err << "quaymark-announce: " << Printable(report.list.why) << '\n';
    }
}

void WriteText(const Report& report, bool quiet, std::ostream& out) {
    const AnnounceOutcome& outcome = report.outcome;
    if (quiet) {
        return;
    }
    if (report.dryRun) {
        for (const AnnouncedPage& page : outcome.chosen) {
            out << Printable(page.address) << " (" << ReasonWord(page.reason) << ")\n";
        }
    }
    for (const std::string& note : outcome.run.notes) {
        out << Printable(note) << '\n';
    }
    out << AnnounceSummary(report.outcome, report.dryRun) << '\n';
    if (report.list.added > 0) {
        out << (report.dryRun ? "Would add " : "Added ") << Pages(report.list.added)
            << " to the list.\n";
    }
}

void WriteJson(const Report& report, std::ostream& out) {
    using nlohmann::json;
    const AnnounceOutcome& outcome = report.outcome;
    json announced = json::array();
    for (const AnnouncedPage& page : outcome.chosen) {
        announced.push_back({{"url", page.address}, {"reason", ReasonWord(page.reason)}});
    }
    json refused = json::array();
    for (const Failure& failure : outcome.run.FailureList) {
        refused.push_back({{"line", FailureLine(failure)},
                           {"channel", failure.channel},
                           {"engine", failure.engine},
                           {"status", failure.status},
                           {"detail", failure.detail},
                           {"target", failure.target},
                           {"resendable", failure.resendable},
                           {"page", failure.page.string()}});
    }
    json sites = json::array();
    for (const SiteReading& site : outcome.sites) {
        json failures = json::array();
        for (const SitemapFailure& failure : site.failures) {
            failures.push_back(
                {{"sitemap", failure.sitemap}, {"reason", Describe(failure.problem)}});
        }
        sites.push_back({{"site", site.site},
                         {"sitemaps", site.sitemaps},
                         {"unchanged", site.unchanged},
                         {"removedNow", site.newlyRemoved},
                         {"failures", failures}});
    }
    json checks = json::object();
    for (const auto& [verdict, count] : outcome.checkedOut) {
        checks[std::string(VerdictWord(verdict))] = count;
    }
    json gate = json::object();
    for (const auto& [reason, count] : outcome.gatedOut) {
        gate[std::string(GateWord(reason))] = count;
    }
    const json report_ = {
        {"dryRun", report.dryRun},
        {"exitStatus", report.exitStatus},
        {"summary", AnnounceSummary(report.outcome, report.dryRun)},
        {report.dryRun ? "wouldAnnounce" : "announced", announced},
        {"refused", refused},
        {"leftOut",
         {{"unchanged", outcome.passedOver.unchanged},
          {"recent", outcome.passedOver.recent},
          {"gate", gate},
          {"checks", checks}}},
        {"sites", sites},
        {"list",
         {{"added", report.list.added},
          {"notAdded", report.list.notAdded},
          {"why", report.list.why}}},
        {"notes", outcome.run.notes},
        {"cancelled", outcome.cancelled},
    };
    // Addresses from the web need not be UTF-8: such bytes are replaced, never fatal.
    out << report_.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

}  // namespace quaymark::cli
