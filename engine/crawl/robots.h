#pragma once

#include <array>
#include <string_view>

namespace quaymark {

// An engine's robot: the word its user agent carries (in lower case), and the domains its
// addresses' reverse lookups end in, as the engine documents them.
struct RobotKind {
    std::string_view engine;
    std::string_view token;
    std::array<std::string_view, 3> domains;
};

inline constexpr RobotKind kRobots[] = {
    {"Google", "googlebot", {".googlebot.com", ".google.com", ".googleusercontent.com"}},
    {"Bing", "bingbot", {".search.msn.com"}},
    {"Yandex", "yandexbot", {".yandex.ru", ".yandex.net", ".yandex.com"}},
    {"Baidu", "baiduspider", {".baidu.com", ".baidu.jp"}},
    {"Seznam", "seznambot", {".seznam.cz"}},
    {"Naver", "yeti", {".naver.com"}},
    {"DuckDuckGo", "duckduckbot", {".duckduckgo.com"}},
    {"Apple", "applebot", {".applebot.apple.com"}},
    {"Yep", "yepbot", {".yep.com"}},
};

// The robot a user agent claims to be, whatever its case; none for any other agent. A claim
// is only a claim until the address is verified.
const RobotKind* ClaimedRobot(std::string_view userAgent);

// The robot of the engine of that name; none for another name.
const RobotKind* RobotOf(std::string_view engine);

// Whether a name that a reverse lookup gave lies in one of the robot's domains.
bool InRobotDomain(const RobotKind& robot, std::string_view name);

}  // namespace quaymark
