#include "app/crawl_logs.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "app/site_roots.h"
#include "app/user_files.h"
#include "base/counted.h"
#include "engine/crawl/robot_check.h"
#include "engine/crawl/robot_visits.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

constexpr std::int64_t kDay = 24 * 60 * 60;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A host as a log names it, without its port, in lower case.
std::string BareHost(std::string host) {
    if (const std::size_t colon = host.rfind(':');
        colon != std::string::npos && host.find(']') == std::string::npos) {
        host.resize(colon);
    }
    return Lower(host);
}

// The list's pages by site: what the logs are read for.
std::unordered_map<std::string, std::unordered_set<std::string>> PagesBySite(std::string& failure) {
    std::vector<std::string> list;
    failure = ReadUserList(list);
    std::unordered_map<std::string, std::unordered_set<std::string>> pages;
    SiteRoots roots;
    for (std::string& page : list) {
        if (const std::optional<std::string>& site = roots.Of(page)) {
            pages[*site].insert(std::move(page));
        }
    }
    return pages;
}

// An address's claim to be one engine's robot: one address may claim several.
std::string ClaimKey(const std::string& engine, const std::string& address) {
    return engine + ' ' + address;
}

// What the DNS says of each address that claimed a robot, by ClaimKey: the verdicts of the last
// days as kept, the others asked now and kept. Why the DNS could not be asked, or the verdicts
// kept, goes to failure.
std::unordered_map<std::string, VisitCheck> CheckAddresses(History& history,
                                                           const std::vector<RobotVisit>& visits,
                                                           const RunRouting& routing,
                                                           const std::stop_token& stop,
                                                           std::int64_t now, std::string& failure) {
    std::unordered_map<std::string, VisitCheck> checks;
    const auto kept = history.RobotAddresses(now - kRobotVerdictDays * kDay);
    std::vector<RobotClaim> claims;
    // An address is asked of one engine per read; its claim to be another stays unknown.
    std::unordered_set<std::string> asked;
    for (const RobotVisit& visit : visits) {
        const std::string key = ClaimKey(visit.engine, visit.client);
        const auto known = kept.find(visit.client);
        if (known != kept.end() && known->second.engine == visit.engine) {
            checks[key] = known->second.check;
        } else if (checks.emplace(key, VisitCheck::Unknown).second &&
                   asked.insert(visit.client).second) {
            claims.push_back({.address = visit.client, .robot = RobotOf(visit.engine)});
        }
    }
    const RobotChecks answers = VerifyRobots(claims, {.server = routing.nameServer, .stop = stop});
    std::vector<RobotAddress> keep;
    for (const RobotClaim& claim : claims) {
        const auto verdict = answers.verdicts.find(claim.address);
        if (verdict == answers.verdicts.end() || verdict->second == RobotVerdict::Unknown) {
            continue;  // asked again next time
        }
        const VisitCheck check =
            verdict->second == RobotVerdict::Verified ? VisitCheck::Verified : VisitCheck::False;
        checks[ClaimKey(std::string(claim.robot->engine), claim.address)] = check;
        keep.push_back({.address = claim.address,
                        .engine = std::string(claim.robot->engine),
                        .check = check,
                        .checkedAt = now});
    }
    if (!answers.failure.empty()) {
        failure = "the robots' addresses could not be looked up: " + answers.failure;
    } else if (const std::string kept =
                   history.KeepRobotAddresses(keep, now - kRobotVerdictDays * kDay);
               !kept.empty()) {
        failure = "the history could not be kept: " + kept;
    }
    return checks;
}

LogRead ReadOneLog(History& history, const SiteLog& log,
                   const std::unordered_set<std::string>& pages, const RunRouting& routing,
                   const std::stop_token& stop) {
    LogRead read{.site = log.site, .path = log.path};
    const LogCursor cursor{.device = log.device, .inode = log.inode, .offset = log.offset};
    VisitsRead found = ReadRobotVisits(log.path, cursor, std::uint64_t{1} << 32, stop);
    read.lines = found.reading.lines;
    read.unreadable = found.unreadable;
    read.overlong = found.reading.overlong;
    read.rotated = found.reading.rotated;
    read.truncated = found.reading.truncated;
    read.gap = found.gap;
    read.failure = found.reading.failure;
    const std::string host = BareHost(HostOf(log.site).value_or(""));
    std::vector<RobotVisit> ours;
    for (RobotVisit& visit : found.visits) {
        const std::string page =
            log.site + (visit.target.empty() || visit.target[0] != '/' ? visit.target
                                                                       : visit.target.substr(1));
        // A log of several hosts says whose request each was.
        if ((visit.host.empty() || BareHost(visit.host) == host) && pages.count(page) != 0) {
            visit.target = page;
            ours.push_back(std::move(visit));
        }
    }
    const std::int64_t now = std::time(nullptr);
    std::string lookups;
    const auto checks = CheckAddresses(history, ours, routing, stop, now, lookups);
    std::vector<CrawlVisit> keep;
    for (const RobotVisit& visit : ours) {
        const VisitCheck check = checks.at(ClaimKey(visit.engine, visit.client));
        ++(check == VisitCheck::Verified ? read.verified
           : check == VisitCheck::False  ? read.falseRobots
                                         : read.unknown);
        keep.push_back({.site = log.site,
                        .address = visit.target,
                        .engine = visit.engine,
                        .time = visit.time,
                        .status = visit.status,
                        .check = check});
    }
    SiteLog moved = log;
    moved.device = found.reading.cursor.device;
    moved.inode = found.reading.cursor.inode;
    moved.offset = found.reading.cursor.offset;
    moved.readAt = now;
    if (const std::string failure = history.KeepLogRead(moved, keep); !failure.empty()) {
        read.failure = "the history could not be kept: " + failure;
    } else if (read.failure.empty()) {
        read.failure = lookups;
    }
    return read;
}

}  // namespace

LogsRead ReadSiteLogs(const std::string& site, const RunRouting& routing,
                      const std::stop_token& stop) {
    LogsRead read;
    History::Opened opened = UserHistory();
    if (!opened.history) {
        read.failure = opened.problem;
        return read;
    }
    const std::string root = site.empty() ? site : SiteRoot(site).value_or(site);
    const auto pages = PagesBySite(read.failure);
    if (!read.failure.empty()) {
        return read;
    }
    for (const SiteLog& log : opened.history->SiteLogs()) {
        if (root.empty() || log.site == root) {
            const auto sitePages = pages.find(log.site);
            read.logs.push_back(ReadOneLog(
                *opened.history, log,
                sitePages == pages.end() ? decltype(sitePages->second){} : sitePages->second,
                routing, stop));
        }
    }
    return read;
}

SiteLogChange GiveSiteLog(const std::string& address, const std::string& path) {
    SiteLogChange change{.site = SiteRoot(address).value_or("")};
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (change.site.empty()) {
        change.failure = address + ": not a web address";
    } else if (!std::filesystem::is_regular_file(absolute, error)) {
        change.failure = path + ": " + (error ? error.message() : "not a readable file");
    } else if (History::Opened opened = UserHistory(); !opened.history) {
        change.failure = opened.problem;
    } else {
        change.failure = opened.history->AddSiteLog(change.site, absolute.string());
    }
    return change;
}

SiteLogChange TakeSiteLog(const std::string& address, const std::string& path) {
    SiteLogChange change{.site = SiteRoot(address).value_or(address)};
    History::Opened opened = UserHistory();
    if (!opened.history) {
        change.failure = opened.problem;
        return change;
    }
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(path, error).string();
    const std::vector<SiteLog> logs = opened.history->SiteLogs();
    if (std::none_of(logs.begin(), logs.end(), [&](const SiteLog& log) {
            return log.site == change.site && log.path == absolute;
        })) {
        change.failure = change.site + ": no such log " + absolute;
    } else {
        change.failure = opened.history->RemoveSiteLog(change.site, absolute);
    }
    return change;
}

SiteLogList SiteLogsKept() {
    SiteLogList list;
    History::Opened opened = HistoryIfAny();
    list.failure = opened.problem;
    if (opened.history) {
        list.logs = opened.history->SiteLogs();
    }
    return list;
}

}  // namespace quaymark

namespace quaymark {

std::string LogReadLine(const LogRead& read) {
    std::string line = read.path + " (" + read.site + "): ";
    if (!read.failure.empty() && read.lines == 0) {
        return line + "not read: " + read.failure + ".";
    }
    line += Counted(read.lines, "line", "lines") + "; " +
            Counted(read.verified, "request", "requests") +
            " of the site's pages by verified robots";
    if (read.falseRobots > 0) {
        line += ", " + std::to_string(read.falseRobots) + " by false robots";
    }
    if (read.unknown > 0) {
        line += ", " + std::to_string(read.unknown) + " not verified (no answer from the DNS)";
    }
    line += ".";
    if (read.rotated) {
        line += " The log was rotated since its last read.";
    }
    if (read.truncated) {
        line += " The log was truncated and read again from its start.";
    }
    if (read.gap) {
        line +=
            " It was rotated more than once since its last read: the lines between were "
            "not read.";
    }
    if (read.unreadable + read.overlong > 0) {
        line += " " + Counted(read.unreadable + read.overlong, "line", "lines") +
                " in no log format passed over.";
    }
    if (!read.failure.empty()) {
        std::string sentence = read.failure;
        sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
        line += " " + sentence + ".";
    }
    return line;
}

}  // namespace quaymark
