#pragma once

#include <cstddef>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/net/transfer_options.h"
#include "storage/history_records.h"

namespace quaymark {

// What one read of a site's access log found.
struct LogRead {
    std::string site;
    std::string path;
    std::size_t lines = 0;
    // Requests of the site's pages by what claimed to be a robot, and what the DNS said of them.
    std::size_t verified = 0;
    std::size_t falseRobots = 0;
    std::size_t unknown = 0;
    // Lines that may name a robot but are in no format, and lines over any line's length.
    std::size_t unreadable = 0;
    std::size_t overlong = 0;
    // The log was rotated or truncated since its last read; lines were lost between two
    // rotations.
    bool rotated = false;
    bool truncated = false;
    bool gap = false;
    // Why it could not be read or kept; empty when it was.
    std::string failure{};
};

struct LogsRead {
    std::vector<LogRead> logs{};
    // Why no log could be read at all (the history, the list); empty otherwise.
    std::string failure{};
};

// Reads every log given to a site (all sites' when none is named) from where its last read
// stopped, keeps the robots' requests of the site's pages with what the engines' DNS says of
// their addresses (the verdicts kept for days), and moves each log's cursor in the same
// transaction. Nothing of the visitors is kept, and the logs are only read.
// A stop asked ends the reads and lookups under way, keeping what was read.
LogsRead ReadSiteLogs(const std::string& site, const RunRouting& routing,
                      const std::stop_token& stop = {});

// A log given to a site (by any address on it), or taken from it.
struct SiteLogChange {
    std::string site;
    std::string failure{};
};
SiteLogChange GiveSiteLog(const std::string& address, const std::string& path);
SiteLogChange TakeSiteLog(const std::string& address, const std::string& path);

struct SiteLogList {
    std::vector<SiteLog> logs{};
    std::string failure{};
};
SiteLogList SiteLogsKept();

// How long an address's lookups are trusted: the engines' addresses change hands slowly.
inline constexpr std::int64_t kRobotVerdictDays = 7;

}  // namespace quaymark

namespace quaymark {

// "/var/log/nginx/access.log: 1,204 lines; 12 requests of the site's pages by verified
// robots, 3 by false robots." and what else the read met, in the words both faces show.
std::string LogReadLine(const LogRead& read);

}  // namespace quaymark
