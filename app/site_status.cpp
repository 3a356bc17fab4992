#include "app/site_status.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "app/channel_setup.h"
#include "app/site_roots.h"
#include "app/user_files.h"
#include "base/counted.h"
#include "engine/net/web_address.h"
#include "engine/run/channel_kinds.h"
#include "engine/run/history_log.h"

namespace quaymark {
namespace {

constexpr std::int64_t kDay = 24 * 60 * 60;

// Where one engine stands with the page being gone through: its last announcement to the engine
// and the first verified fetch after it.
struct EngineMark {
    std::int64_t announced = 0;
    std::int64_t crawled = 0;
};

// The crawl figures, from the pages' acceptances and the visits after them, one page at a time.
class CrawlTally {
public:
    CrawlTally(SiteRow& row, std::int64_t now) : row_(row), now_(now) {
        for (const ChannelKind& kind : ChannelKinds()) {
            if (kind.reaches != nullptr) {
                for (std::string_view engine : kind.reaches()) {
                    reaches_[std::string(kind.name)].emplace_back(engine);
                }
            }
        }
    }

    void Row(const std::string& address, const std::string& channel, std::int64_t accepted,
             const std::string& engine, std::int64_t crawled) {
        if (address != address_) {
            Flush();
            address_ = address;
        }
        any_ = true;
        const auto reached = reaches_.find(channel);
        if (reached == reaches_.end()) {
            return;
        }
        for (const std::string& e : reached->second) {
            EngineMark& mark = marks_[e];
            if (accepted > mark.announced) {
                mark = {.announced = accepted, .crawled = 0};
            }
            if (accepted == mark.announced && engine == e) {
                mark.crawled = crawled;
            }
        }
    }

    std::vector<EngineCrawl> Done() {
        Flush();
        std::vector<EngineCrawl> engines;
        for (auto& [engine, tally] : tallies_) {
            std::vector<std::int64_t>& delays = delays_[engine];
            if (!delays.empty()) {
                const auto middle = delays.begin() + static_cast<std::ptrdiff_t>(delays.size() / 2);
                std::nth_element(delays.begin(), middle, delays.end());
                tally.medianSeconds = *middle;
            }
            tally.engine = engine;
            engines.push_back(tally);
        }
        return engines;
    }

private:
    void Flush() {
        if (any_) {
            ++row_.announced;
        }
        bool crawled = false;
        for (const auto& [engine, mark] : marks_) {
            if (mark.announced == 0) {
                continue;
            }
            EngineCrawl& tally = tallies_[engine];
            ++tally.announced;
            const std::int64_t delay = mark.crawled - mark.announced;
            const bool fetched = mark.crawled > 0;
            if (now_ - mark.announced >= kDay) {
                ++tally.dayOld;
                tally.withinDay += fetched && delay <= kDay ? 1 : 0;
            }
            if (now_ - mark.announced >= 7 * kDay) {
                ++tally.weekOld;
                tally.withinWeek += fetched && delay <= 7 * kDay ? 1 : 0;
            }
            if (fetched) {
                delays_[engine].push_back(delay);
                crawled = true;
            }
        }
        row_.crawled += crawled ? 1 : 0;
        marks_.clear();
        any_ = false;
    }

    SiteRow& row_;
    std::int64_t now_;
    std::map<std::string, std::vector<std::string>> reaches_;
    std::string address_;
    bool any_ = false;
    std::map<std::string, EngineMark> marks_;
    std::map<std::string, EngineCrawl> tallies_;
    std::map<std::string, std::vector<std::int64_t>> delays_;
};

// The series of one chart, by name, a value for each day from the first to today.
class Chart {
public:
    Chart(std::int64_t firstDay, std::int64_t today)
        : firstDay_(firstDay), days_(today - firstDay + 1) {}
    void Add(const std::string& name, std::int64_t day, std::int64_t value) {
        std::vector<std::int64_t>& values = series_[name];
        values.resize(static_cast<std::size_t>(days_));
        if (day >= firstDay_ && day < firstDay_ + days_) {
            values[static_cast<std::size_t>(day - firstDay_)] += value;
        }
    }
    std::vector<DaySeries> Series() const {
        std::vector<DaySeries> series;
        for (const auto& [name, values] : series_) {
            series.push_back({.name = name, .values = values});
        }
        return series;
    }

private:
    std::int64_t firstDay_;
    std::int64_t days_;
    std::map<std::string, std::vector<std::int64_t>> series_;
};

// Google's indexed and not indexed pages on each day, from the days' changes; the row's
// figures are where the last day ends.
std::vector<DaySeries> IndexedByDay(const std::vector<DayCounts>& changes, SiteRow& row,
                                    std::int64_t firstDay, std::int64_t today) {
    const std::size_t days = static_cast<std::size_t>(today - firstDay + 1);
    std::vector<std::int64_t> indexed(days);
    std::vector<std::int64_t> notIndexed(days);
    std::int64_t in = 0;
    std::int64_t out = 0;
    std::size_t next = 0;
    for (std::int64_t day = firstDay - 1; day <= today; ++day) {
        // The day before the first carries every earlier change.
        for (; next < changes.size() && changes[next].day <= day; ++next) {
            in += changes[next].first;
            out += changes[next].second;
        }
        if (day >= firstDay) {
            indexed[static_cast<std::size_t>(day - firstDay)] = in;
            notIndexed[static_cast<std::size_t>(day - firstDay)] = out;
        }
    }
    row.indexed = static_cast<std::size_t>(std::max<std::int64_t>(in, 0));
    row.inspected = static_cast<std::size_t>(std::max<std::int64_t>(in + out, 0));
    return {{.name = "Indexed", .values = indexed}, {.name = "Not indexed", .values = notIndexed}};
}

void Charts(History& history, SiteStatus& status, std::int64_t now) {
    const std::int64_t today = now / kDay;
    status.firstDay = today - kStatusDays + 1;
    const std::int64_t since = status.firstDay * kDay;
    const std::string& site = status.row.site;
    CrawlTally tally(status.row, now);
    history.ForEachAnnouncedCrawl(
        site, since,
        [&](const std::string& address, const std::string& channel, std::int64_t accepted,
            const std::string& engine,
            std::int64_t crawled) { tally.Row(address, channel, accepted, engine, crawled); });
    status.engines = tally.Done();
    Chart sent(status.firstDay, today);
    for (const DayCounts& day : history.SentByDay(site, since)) {
        sent.Add(day.who + " sent", day.day, day.first);
        sent.Add(day.who + " accepted", day.day, day.second);
        sent.Add(day.who + " refused", day.day, day.first - day.second);
    }
    Chart visits(status.firstDay, today);
    for (const DayCounts& day : history.VisitsByDay(site, since)) {
        if (day.first > 0) {
            visits.Add(day.who, day.day, day.first);
        }
        if (day.second > 0) {
            visits.Add("False robots", day.day, day.second);
        }
    }
    for (const EngineDay& day : history.EngineDays(site, status.firstDay)) {
        visits.Add(day.series, day.day, day.count);
    }
    status.visits = visits.Series();
    // The quota each engine last told on each day.
    std::map<std::pair<std::string, std::int64_t>, int> quotas;
    for (const QuotaReading& reading : history.QuotaReadings(site, since)) {
        quotas[{reading.channel + " quota left", reading.at / kDay}] = reading.dailyLeft;
    }
    for (const auto& [key, left] : quotas) {
        sent.Add(key.first, key.second, left);
    }
    status.sent = sent.Series();
    status.google = IndexedByDay(history.GoogleByDay(site), status.row, status.firstDay, today);
}

}  // namespace

SitesStatus StatusOfSites(const std::string& chosen, std::int64_t now) {
    SitesStatus status;
    std::vector<std::string> list;
    status.failure = ReadUserList(list);
    if (!status.failure.empty()) {
        return status;
    }
    std::map<std::string, SiteRow> rows;
    SiteRoots roots;
    for (const std::string& page : list) {
        if (const std::optional<std::string>& site = roots.Of(page)) {
            SiteRow& row = rows[*site];
            row.site = *site;
            ++row.pages;
        }
    }
    const ChannelsLoaded loaded = LoadChannels();
    SubmitJob job;
    ApplyChannelSettings(job, loaded.channels);
    const std::string chosenSite = chosen.empty() ? chosen : SiteRoot(chosen).value_or(chosen);
    History::Opened opened = HistoryIfAny();
    status.failure = opened.problem;
    if (!status.failure.empty()) {
        return status;
    }
    std::unique_ptr<History> history = std::move(opened.history);
    std::unique_ptr<HistoryWriter> writer;
    std::unique_ptr<HistoryStores> stores;
    if (history) {
        writer = std::make_unique<HistoryWriter>(*history);
        stores = std::make_unique<HistoryStores>(*writer);
        stores->Attach(job);
        writer->Ask<bool>([&](History& h) {
            const auto counts = h.PagesBySitemap();
            for (const RememberedSitemap& sitemap : h.Sitemaps()) {
                SiteRow& row = rows[sitemap.site];
                row.site = sitemap.site;
                const auto count = counts.find(sitemap.sitemap);
                row.sitemapPages += count == counts.end() ? 0 : count->second;
            }
            for (const SiteLog& log : h.SiteLogs()) {
                SiteRow& row = rows[log.site];
                row.site = log.site;
                row.logPaths.push_back(log.path);
            }
            for (auto& [site, row] : rows) {
                row.lastAnnounced = h.LastAcceptance(site);
            }
            return true;
        });
    }
    for (auto& [site, row] : rows) {
        for (const ChannelKind& kind : ChannelKinds()) {
            // An engine's own channel shows nothing of itself while it is off.
            if (!kind.modern || (kind.account != nullptr && !kind.on(job))) {
                continue;
            }
            const std::optional<QuotaLeft> left =
                kind.quotaLeft ? kind.quotaLeft(job, site) : std::nullopt;
            row.channels.push_back({.name = std::string(kind.name),
                                    .on = kind.on(job),
                                    .quotaLeft = left ? std::optional(left->today) : std::nullopt,
                                    .monthLeft = left ? left->month : std::nullopt});
        }
        SiteStatus& shown =
            status.sites.emplace_back(SiteStatus{.row = row, .chosen = site == chosenSite});
        if (shown.chosen && writer) {
            writer->Ask<bool>([&](History& h) {
                Charts(h, shown, now);
                return true;
            });
        }
    }
    return status;
}

PageTimeline TimelineOf(const std::string& page) {
    PageTimeline timeline;
    History::Opened opened = HistoryIfAny();
    timeline.failure = opened.problem;
    if (!opened.history) {
        return timeline;
    }
    timeline.events = opened.history->PageTimeline(NormalisedAddress(page).value_or(page));
    return timeline;
}

}  // namespace quaymark

namespace quaymark {

std::string DelayText(std::int64_t seconds) {
    const std::int64_t days = seconds / kDay;
    const std::int64_t hours = seconds % kDay / 3600;
    const std::int64_t minutes = seconds % 3600 / 60;
    if (days > 0) {
        return std::to_string(days) + " d " + std::to_string(hours) + " h";
    }
    if (hours > 0) {
        return std::to_string(hours) + " h " + std::to_string(minutes) + " min";
    }
    return minutes > 0 ? std::to_string(minutes) + " min" : std::to_string(seconds) + " s";
}

std::string EngineCrawlLine(const EngineCrawl& engine) {
    std::string line = engine.engine + ": " + Counted(engine.announced, "page", "pages") +
                       " announced; " + std::to_string(engine.withinDay) + " of " +
                       std::to_string(engine.dayOld) + " fetched within a day, " +
                       std::to_string(engine.withinWeek) + " of " + std::to_string(engine.weekOld) +
                       " within a week";
    if (engine.medianSeconds) {
        line += "; median " + DelayText(*engine.medianSeconds);
    }
    return line;
}

std::string ChannelStateText(const ChannelState& channel) {
    std::string text = channel.name + (channel.on ? " on" : " off");
    if (channel.on && channel.quotaLeft) {
        text += ", " + std::to_string(*channel.quotaLeft) + " left today";
    }
    if (channel.on && channel.monthLeft) {
        text += ", " + std::to_string(*channel.monthLeft) + " this month";
    }
    return text;
}

}  // namespace quaymark
