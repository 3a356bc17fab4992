#include "cli/history_command.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "app/announcing.h"
#include "app/history_table.h"
#include "cli/progress.h"

namespace quaymark::cli {
namespace {

using json = nlohmann::json;

void PrintForAPerson(const HistoryShown& shown, const std::vector<std::vector<std::string>>& rows,
                     std::ostream& out) {
    if (rows.size() == 1) {
        out << "No page of the list to show.\n";
    }
    const std::vector<std::string>& columns = rows.front();
    for (std::size_t row = 1; row < rows.size(); ++row) {
        out << Printable(rows[row][0]) << '\n';
        for (std::size_t column = 1; column < columns.size(); ++column) {
            if (!rows[row][column].empty()) {
                out << "  " << columns[column] << ": " << Printable(rows[row][column]) << '\n';
            }
        }
    }
    if (!shown.contents.sitemaps.empty()) {
        out << "Sitemaps:\n";
        for (const RememberedSitemap& sitemap : shown.contents.sitemaps) {
            out << "  " << Printable(SitemapLine(sitemap)) << '\n';
        }
    }
    if (!shown.contents.announcerRuns.empty()) {
        out << "Announcer runs:\n";
        for (const AnnouncerRun& run : shown.contents.announcerRuns) {
            out << "  " << Printable(AnnouncerRunLine(run)) << '\n';
        }
    }
}

json AsJson(const HistoryShown& shown, const std::vector<std::vector<std::string>>& rows) {
    json pages = json::array();
    for (std::size_t row = 1; row < rows.size(); ++row) {
        json page = json::object();
        for (std::size_t column = 0; column < rows.front().size(); ++column) {
            page[rows.front()[column]] = rows[row][column];
        }
        pages.push_back(std::move(page));
    }
    json sitemaps = json::array();
    for (const RememberedSitemap& sitemap : shown.contents.sitemaps) {
        sitemaps.push_back(
            {{"site", sitemap.site}, {"sitemap", sitemap.sitemap}, {"readAt", sitemap.readAt}});
    }
    json runs = json::array();
    for (const AnnouncerRun& run : shown.contents.announcerRuns) {
        runs.push_back({{"time", run.time},
                        {"scheduled", run.scheduled},
                        {"exitStatus", run.exitStatus},
                        {"announced", run.announced},
                        {"refused", run.refused},
                        {"leftOut", run.leftOut},
                        {"result", run.result}});
    }
    return {{"pages", std::move(pages)},
            {"sitemaps", std::move(sitemaps)},
            {"announcerRuns", std::move(runs)}};
}

}  // namespace

int ShowHistory(HistoryFormat format, const std::string& filter, const AnnouncerSeams& seams) {
    const HistoryShown shown = quaymark::ShowHistory(std::time(nullptr));
    if (!shown.failure.empty()) {
        seams.err << "quaymark-cli: " << Printable(shown.failure) << '\n';
        return kSetupOrUsage;
    }
    const std::vector<std::vector<std::string>> rows = FilteredRows(shown.table, filter);
    switch (format) {
        case HistoryFormat::Csv:
            seams.out << HistoryCsv(rows);
            break;
        case HistoryFormat::Json:
            seams.out << AsJson(shown, rows).dump(2, ' ', false, json::error_handler_t::replace)
                      << '\n';
            break;
        case HistoryFormat::Person:
            PrintForAPerson(shown, rows, seams.out);
            break;
    }
    return kAllAnnounced;
}

}  // namespace quaymark::cli
