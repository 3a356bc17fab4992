#pragma once

#include <string_view>

namespace quaymark {

// Which channels' engines a robots directive speaks to, as a set: Google's robot, or the
// robots of the engines IndexNow reaches; a directive for every robot speaks to both.
using Audience = unsigned;
inline constexpr Audience kNoRobot = 0;
inline constexpr Audience kGoogleRobot = 1;
inline constexpr Audience kIndexNowRobots = 2;
inline constexpr Audience kEveryRobot = kGoogleRobot | kIndexNowRobots;

// The engines' robots by the names meta tags, headers and robots.txt groups give them.
struct NamedRobot {
    std::string_view name;
    Audience audience;
};
inline constexpr NamedRobot kNamedRobots[] = {
    {"googlebot", kGoogleRobot},  {"bingbot", kIndexNowRobots},   {"msnbot", kIndexNowRobots},
    {"yandex", kIndexNowRobots},  {"seznambot", kIndexNowRobots}, {"yeti", kIndexNowRobots},
    {"slurp", kIndexNowRobots},   {"yahoo-slurp", kIndexNowRobots},
};

// Whom a robot's name (in lower case) speaks to: "robots" (a meta tag's) and "*" (a group's)
// every robot; another robot's name none of ours.
constexpr Audience AudienceOf(std::string_view robot) {
    if (robot == "robots" || robot == "*") {
        return kEveryRobot;
    }
    for (const NamedRobot& named : kNamedRobots) {
        if (named.name == robot) {
            return named.audience;
        }
    }
    return kNoRobot;
}

}  // namespace quaymark
