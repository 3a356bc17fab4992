#pragma once

#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "engine/crawl/log_follower.h"

namespace quaymark {

// The rotations beside a log, as logrotate and the servers' own rotation name them (access.log.1,
// access.log.2.gz, ..., or by date: access.log-20261209, access.log-20261208.gz), oldest first.
std::vector<std::filesystem::path> Rotations(const std::filesystem::path& log);

// What a read of a log and its rotations found.
struct LogSinceReading {
    LogReading reading;
    // The log was rotated more than once since the last read, and the rest of the file then
    // read was compressed or gone: what it held after the cursor was not read.
    bool gap = false;
};

// Hands on each whole line written to the log since the cursor. A log never read before is
// read with all its rotations, plain or gzip, oldest first; one rotated since its last read has
// the rest of the file read then (found among the rotations by its identity) read first. The
// cursor returned is the log's own. Each file gives at most maxBytes (a compressed rotation
// too, however far it expands).
LogSinceReading ReadLogSince(const std::filesystem::path& log, const LogCursor& cursor,
                             const std::function<void(std::string_view line)>& each,
                             std::uint64_t maxBytes = std::uint64_t{1} << 32,
                             const std::stop_token& stop = {});

}  // namespace quaymark
