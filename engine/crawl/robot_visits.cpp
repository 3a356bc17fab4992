#include "engine/crawl/robot_visits.h"

#include <algorithm>
#include <cctype>

#include "engine/crawl/access_log.h"
#include "engine/crawl/robots.h"

namespace quaymark {
namespace {

// Whether the line may name a robot at all: every robot's word has "bot", "spider" or "yeti"
// in it, whatever its case. Most lines are the visitors', and never need reading further.
bool MayNameRobot(std::string_view line) {
    for (std::size_t at = line.find_first_of("tTrRiI"); at != std::string_view::npos;
         at = line.find_first_of("tTrRiI", at + 1)) {
        const auto lower = [&](std::size_t i) {
            return static_cast<char>(std::tolower(static_cast<unsigned char>(line[i])));
        };
        const char c = lower(at);
        if ((c == 't' && at >= 2 && lower(at - 2) == 'b' && lower(at - 1) == 'o') ||
            (c == 'r' && at >= 5 && lower(at - 5) == 's' && lower(at - 4) == 'p' &&
             lower(at - 3) == 'i' && lower(at - 2) == 'd' && lower(at - 1) == 'e') ||
            (c == 'i' && at >= 3 && lower(at - 3) == 'y' && lower(at - 2) == 'e' &&
             lower(at - 1) == 't')) {
            return true;
        }
    }
    return false;
}

}  // namespace

VisitsRead ReadRobotVisits(const std::filesystem::path& log, const LogCursor& cursor,
                           std::uint64_t maxBytes) {
    VisitsRead read;
    read.reading = FollowLog(
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
        maxBytes);
    return read;
}

}  // namespace quaymark
