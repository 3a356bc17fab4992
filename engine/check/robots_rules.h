#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaymark {

// What a site's robots.txt allows the engines' robots: the rules of the group for every robot
// (*) and of the groups that name an engine's own robot, as the engines read them: the longest
// matching path wins, an Allow over a Disallow of the same length, "*" for any characters and
// "$" for the end.
class RobotsRules {
public:
    // Reads the text; what is not a rule is passed over.
    static RobotsRules Parse(std::string_view text);

    // Whether every robot that counts may fetch the path (with its query): a page any of them
    // may not fetch is not announced.
    bool Allows(std::string_view path) const;
    // The longest Crawl-delay the groups ask for, in seconds.
    std::optional<double> crawlDelay() const { return crawlDelay_; }

private:
    struct Rule {
        std::string pattern;
        bool allow;
    };
    struct Group {
        std::vector<std::string> agents;
        std::vector<Rule> rules;
    };
    static bool GroupAllows(const Group& group, std::string_view path);

    std::vector<Group> groups_;
    std::optional<double> crawlDelay_;
};

}  // namespace quaymark
