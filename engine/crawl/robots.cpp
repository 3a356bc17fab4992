#include "engine/crawl/robots.h"

#include <algorithm>
#include <cctype>

namespace quaymark {
namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool ContainsIgnoringCase(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(),
                       [](char a, char b) { return Lower(a) == b; }) != text.end();
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
    return text.size() >= end.size() &&
           std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char a, char b) { return a == Lower(b); });
}

}  // namespace

const RobotKind* ClaimedRobot(std::string_view userAgent) {
    const auto robot = std::find_if(
        std::begin(kRobots), std::end(kRobots),
        [&](const RobotKind& kind) { return ContainsIgnoringCase(userAgent, kind.token); });
    return robot != std::end(kRobots) ? robot : nullptr;
}

const RobotKind* RobotOf(std::string_view engine) {
    const auto robot = std::find_if(std::begin(kRobots), std::end(kRobots),
                                    [&](const RobotKind& kind) { return kind.engine == engine; });
    return robot != std::end(kRobots) ? robot : nullptr;
}

bool InRobotDomain(const RobotKind& robot, std::string_view name) {
    if (!name.empty() && name.back() == '.') {
        name.remove_suffix(1);  // a fully qualified name's root
    }
    return std::any_of(robot.domains.begin(), robot.domains.end(), [&](std::string_view domain) {
        return !domain.empty() && name.size() > domain.size() && EndsWithIgnoringCase(name, domain);
    });
}

}  // namespace quaymark
