#include "app/history_table.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "engine/run/channel_kinds.h"
#include "engine/sitemap/w3c_date.h"
#include "storage/csv.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"

namespace quaymark {
namespace {

// The announcer's runs shown: the latest, a month of daily runs and more.
constexpr int kAnnouncerRunsShown = 50;

const std::string kSentToday = "sent";

// "indexed", or "not indexed" with Google's coverage state.
std::string IndexWords(const GoogleInspection& inspection) {
    if (inspection.verdict == "PASS") {
        return "indexed";
    }
    return "not indexed: " +
           (inspection.coverage.empty() ? inspection.verdict : inspection.coverage);
}

// Google's time of its last crawl, in the table's own form; as Google gave it otherwise.
std::string CrawlMoment(const std::string& lastCrawl) {
    const std::optional<std::int64_t> when = ParseW3cDate(lastCrawl);
    return when ? Moment(*when) : lastCrawl;
}

std::string LastFailure(const HistoryRow& failure) {
    return Moment(failure.time) + ' ' + failure.channel + ": " +
           (failure.reason.empty() ? failure.verdict : failure.reason);
}

std::string Lower(std::string text) {
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

HistoryContents ReadHistoryContents(History& history) {
    return {.summaries = history.Summaries(ChangesMeasuredFrom()),
            .sitemaps = history.Sitemaps(),
            .removed = history.RemovedPages(),
            .announcerRuns = history.AnnouncerRuns(kAnnouncerRunsShown),
            .checks = history.PageChecks(),
            .inspections = history.Inspections(),
            .crawls = history.LastCrawls()};
}

HistoryTable MakeHistoryTable(const std::vector<std::string>& addresses,
                              const HistoryContents& contents, std::int64_t now) {
    HistoryTable table{.columns = {"Address", "Within 24 h"}};
    const std::vector<std::string> accepted = AcceptanceNames();
    table.columns.insert(table.columns.end(), accepted.begin(), accepted.end());
    table.columns.emplace_back("Last failure");
    const std::size_t failureCell = accepted.size() + 1;
    std::unordered_map<std::string, std::int64_t> leftSitemaps;
    for (const RemovedPage& page : contents.removed) {
        leftSitemaps.emplace(page.address, page.since);
    }
    if (!leftSitemaps.empty()) {
        table.columns.emplace_back("No longer in a sitemap");
    }
    const std::size_t checkCell = table.columns.size() - 1;
    if (!contents.checks.empty()) {
        table.columns.insert(table.columns.end(), {"Check", "Text last changed"});
    }
    const std::size_t googleCell = table.columns.size() - 1;
    if (!contents.inspections.empty()) {
        table.columns.insert(table.columns.end(), {"Google index", "Last crawl"});
    }
    // One column per engine whose robot fetched any page, in the engines' order.
    std::map<std::string, std::size_t> crawlCells;
    for (const auto& [address, engines] : contents.crawls) {
        for (const auto& [engine, time] : engines) {
            crawlCells.emplace(engine, 0);
        }
    }
    for (auto& [engine, cell] : crawlCells) {
        cell = table.columns.size() - 1;
        table.columns.push_back("Crawled by " + engine);
    }
    table.rows.reserve(addresses.size());
    for (const std::string& address : addresses) {
        HistoryTable::Row& row = table.rows.emplace_back(HistoryTable::Row{
            .address = address, .cells = std::vector<std::string>(table.columns.size() - 1)});
        if (const auto left = leftSitemaps.find(address); left != leftSitemaps.end()) {
            row.cells[failureCell + 1] = Moment(left->second);
            row.leftSitemaps = true;
        }
        if (const auto check = contents.checks.find(address); check != contents.checks.end()) {
            const PageCheckRecord& found = check->second;
            row.cells[checkCell] =
                found.detail.empty() ? found.verdict : found.verdict + ": " + found.detail;
            if (found.textChangedAt) {
                row.cells[checkCell + 1] = Moment(*found.textChangedAt);
            }
        }
        if (const auto inspection = contents.inspections.find(address);
            inspection != contents.inspections.end()) {
            row.cells[googleCell] = IndexWords(inspection->second);
            if (!inspection->second.lastCrawl.empty()) {
                row.cells[googleCell + 1] = CrawlMoment(inspection->second.lastCrawl);
            }
        }
        if (const auto crawled = contents.crawls.find(address); crawled != contents.crawls.end()) {
            for (const auto& [engine, time] : crawled->second) {
                row.cells[crawlCells.at(engine)] = Moment(time);
            }
        }
        const auto known = contents.summaries.find(address);
        if (known == contents.summaries.end()) {
            continue;
        }
        const AddressHistory& past = known->second;
        for (std::size_t channel = 0; channel < accepted.size(); ++channel) {
            if (const auto at = past.lastAccepted.find(accepted[channel]);
                at != past.lastAccepted.end()) {
                row.cells[channel + 1] = Moment(at->second);
            }
        }
        if (past.lastFailure) {
            row.cells[failureCell] = LastFailure(*past.lastFailure);
        }
        if (past.lastSentToEngine && now - *past.lastSentToEngine < kDaySeconds) {
            row.cells[0] = kSentToday;
            row.sentToday = true;
        }
    }
    return table;
}

std::vector<std::vector<std::string>> FilteredRows(const HistoryTable& table,
                                                   const std::string& filter) {
    std::vector<std::vector<std::string>> rows{table.columns};
    const std::string wanted = Lower(filter);
    for (const HistoryTable::Row& row : table.rows) {
        if (!wanted.empty() && Lower(row.address).find(wanted) == std::string::npos) {
            continue;
        }
        std::vector<std::string>& fields = rows.emplace_back();
        fields.push_back(row.address);
        fields.insert(fields.end(), row.cells.begin(), row.cells.end());
    }
    return rows;
}

std::string HistoryCsv(const std::vector<std::vector<std::string>>& rows) {
    return FormatCsv(rows);
}

HistoryShown ShowHistory(std::int64_t now) {
    HistoryShown shown;
    std::vector<std::string> addresses;
    std::string email;
    const std::filesystem::path list = UrlListPath();
    if (const FileResult loaded = LoadUrlList(list, addresses, email);
        !loaded && !loaded.Missing()) {
        shown.failure = "the list " + list.string() + " could not be read: " + loaded.Reason();
        return shown;
    }
    if (const std::filesystem::path file = HistoryPath(list); FileExists(file)) {
        History::Opened opened = History::Open(file);
        if (!opened.history) {
            shown.failure = opened.problem;
            return shown;
        }
        shown.contents = ReadHistoryContents(*opened.history);
    }
    shown.table = MakeHistoryTable(addresses, shown.contents, now);
    return shown;
}

std::string Moment(std::int64_t time) {
    const auto seconds = static_cast<std::time_t>(time);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string SitemapLine(const RememberedSitemap& sitemap) {
    return sitemap.site + ": " + sitemap.sitemap + ", read " + Moment(sitemap.readAt);
}

std::string AnnouncerRunLine(const AnnouncerRun& run) {
    const std::string how = run.scheduled ? "by the daily timer" : "from the command line";
    const std::string ended =
        run.exitStatus == 0 ? "" : " Failed (exit status " + std::to_string(run.exitStatus) + ").";
    return Moment(run.time) + ", " + how + ": " + run.result + ended;
}

}  // namespace quaymark
