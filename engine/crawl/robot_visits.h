#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/crawl/log_follower.h"

namespace quaymark {

// A request of the log whose user agent claims an engine's robot. Its address is kept only for
// verifying the claim; no other request's address is kept at all.
struct RobotVisit {
    std::string engine;
    std::string host;
    std::string target;
    std::int64_t time = 0;
    int status = 0;
    std::string client;
};

struct VisitsRead {
    LogReading reading;
    std::vector<RobotVisit> visits;
    // Lines that may name a robot but are in none of the formats.
    std::size_t unreadable = 0;
    // Lines written between two rotations were not read (see ReadLogSince).
    bool gap = false;
};

// The robots' requests written to the log since the cursor, as ReadLogSince reads it.
VisitsRead ReadRobotVisits(const std::filesystem::path& log, const LogCursor& cursor,
                           std::uint64_t maxBytes = std::uint64_t{1} << 32,
                           const std::stop_token& stop = {});

}  // namespace quaymark
