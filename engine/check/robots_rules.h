#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/check/audience.h"

namespace quaymark {

// What a site's robots.txt allows the engines' robots, as RFC 9309 reads it: each robot obeys
// the groups that name it, all of them combined into one, or else those for every robot (*);
// the longest matching path wins, an Allow over a Disallow of the same length, "*" for any
// characters and "$" for the end, paths compared with their percent-encoding normalised.
class RobotsRules {
public:
    // Reads the text, its line ends CR, LF or CR LF, a byte order mark before it passed over;
    // what is not a rule is passed over too.
    static RobotsRules Parse(std::string_view text);

    // Whether every robot that counts may fetch the path (with its query).
    bool Allows(std::string_view path) const;
    // The channels' engines whose robots may not fetch the path: Google's when Googlebot may
    // not, IndexNow's when any of its engines' robots may not.
    Audience KeptFrom(std::string_view path) const;
    // Whether this robot (its product token, as "googlebot") may fetch the path.
    bool Allows(std::string_view robot, std::string_view path) const;
    // The longest Crawl-delay the groups ask for, in seconds.
    std::optional<double> crawlDelay() const { return crawlDelay_; }

private:
    struct Rule {
        std::string pattern;
        bool allow;
    };
    // The rules a robot obeys; those for every robot when no group names it.
    const std::vector<Rule>& RulesOf(std::string_view robot) const;
    static bool Obeys(const std::vector<Rule>& rules, std::string_view normalised);

    // The rules of the groups that name each robot that counts, by robot, and those for every
    // robot; a robot no group names has none of its own.
    std::vector<std::pair<std::string, std::vector<Rule>>> named_;
    std::vector<Rule> everyRobot_;
    std::optional<double> crawlDelay_;
};

}  // namespace quaymark
