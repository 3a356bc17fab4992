#include "engine/crawl/robot_visits.h"

#include <algorithm>
#include <array>

#include "engine/crawl/access_log.h"
#include "engine/crawl/log_rotations.h"
#include "engine/crawl/robots.h"

namespace quaymark {
namespace {

// Whether the line may name a robot at all: every robot's word has "bot", "spider" or "yeti"
// in it, in any case, within the user agent, the line's last quoted field (the whole line is
// looked at where that field has an escaped quote in it). Most lines are the visitors', and
// are left after this one short pass.
bool MayNameRobot(std::string_view line) {
    while (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.size() < 2 || line.back() != '"') {
        return false;  // no user agent: the common format names no robot
    }
    if (const std::size_t open = line.rfind('"', line.size() - 2);
        open != std::string_view::npos && (open == 0 || line[open - 1] != '\\')) {
        line.remove_prefix(open);
    }
    static constexpr auto kFirst = [] {
        std::array<bool, 256> first{};
        for (const unsigned char c : std::string_view("bBsSyY")) {
            first[c] = true;
        }
        return first;
    }();
    const auto at = [&](std::size_t i, std::string_view word) {
        if (line.size() - i < word.size()) {
            return false;
        }
        for (std::size_t k = 0; k < word.size(); ++k) {
            if ((line[i + k] | 0x20) != word[k]) {
                return false;
            }
        }
        return true;
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (kFirst[static_cast<unsigned char>(line[i])] &&
            (at(i, "bot") || at(i, "spider") || at(i, "yeti"))) {
            return true;
        }
    }
    return false;
}

}  // namespace

VisitsRead ReadRobotVisits(const std::filesystem::path& log, const LogCursor& cursor,
                           std::uint64_t maxBytes, const std::stop_token& stop) {
    VisitsRead read;
    LogSinceReading since = ReadLogSince(
        log, cursor,
        [&](std::string_view line) {
            if (!MayNameRobot(line)) {
                return;
            }
            std::optional<LogRequest> request = ParseLogLine(line);
            if (!request) {
                ++read.unreadable;
                return;
            }
            if (const RobotKind* robot = ClaimedRobot(request->userAgent)) {
                read.visits.push_back({.engine = std::string(robot->engine),
                                       .host = std::move(request->host),
                                       .target = std::move(request->target),
                                       .time = request->time,
                                       .status = request->status,
                                       .client = std::move(request->client)});
            }
        },
        maxBytes, stop);
    read.reading = std::move(since.reading);
    read.gap = since.gap;
    return read;
}

}  // namespace quaymark
