#include "engine/check/robots_rules.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "engine/net/http_text.h"

namespace quaymark {
namespace {

// The robots that count: every robot's group, and the engines' own.
constexpr std::array<std::string_view, 8> kAgents{"*",      "googlebot", "bingbot", "msnbot",
                                                  "yandex", "seznambot", "yeti",    "slurp"};

bool Counts(std::string_view agent) {
    return std::find(kAgents.begin(), kAgents.end(), agent) != kAgents.end();
}

// A hostile robots.txt costs the other pages nothing: so many rules are kept, of so many
// bytes each.
constexpr std::size_t kMaxRules = 512;
constexpr std::size_t kMaxPatternBytes = 512;

// Whether the pattern matches the start of the path: "*" any characters, "$" at its end the
// path's end. Two cursors that step back to the last "*" on a mismatch, without allocating.
bool Matches(std::string_view pattern, std::string_view path) {
    const bool anchored = !pattern.empty() && pattern.back() == '$';
    if (anchored) {
        pattern.remove_suffix(1);
    }
    std::size_t p = 0;
    std::size_t s = 0;
    std::size_t star = std::string_view::npos;
    std::size_t starAt = 0;
    while (p < pattern.size() || (anchored && s < path.size())) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starAt = s;
        } else if (p < pattern.size() && s < path.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
        } else if (star != std::string_view::npos && starAt < path.size()) {
            p = star + 1;
            s = ++starAt;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

RobotsRules RobotsRules::Parse(std::string_view text) {
    RobotsRules robots;
    Group group;
    bool rulesSeen = false;
    std::size_t ruleCount = 0;
    const auto close = [&] {
        if (std::any_of(group.agents.begin(), group.agents.end(), Counts)) {
            robots.groups_.push_back(std::move(group));
        }
        group = {};
        rulesSeen = false;
    };
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = line.substr(0, line.find('#'));
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string field = AsciiLowerCopy(Trimmed(line.substr(0, colon)));
        const std::string_view value = Trimmed(line.substr(colon + 1));
        if (field == "user-agent") {
            if (rulesSeen) {
                close();
            }
            group.agents.push_back(AsciiLowerCopy(value));
        } else if (field == "allow" || field == "disallow") {
            rulesSeen = true;
            // An empty Disallow allows everything.
            if (!value.empty() && value.size() <= kMaxPatternBytes && ruleCount < kMaxRules) {
                group.rules.push_back({std::string(value), field == "allow"});
                ++ruleCount;
            }
        } else if (field == "crawl-delay") {
            rulesSeen = true;
            double seconds = 0;
            const auto [rest, error] =
                std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (error == std::errc() && seconds > 0 &&
                std::any_of(group.agents.begin(), group.agents.end(), Counts)) {
                robots.crawlDelay_ = std::max(robots.crawlDelay_.value_or(0), seconds);
            }
        }
    }
    close();
    return robots;
}

bool RobotsRules::GroupAllows(const Group& group, std::string_view path) {
    const Rule* best = nullptr;
    for (const Rule& rule : group.rules) {
        if (Matches(rule.pattern, path) &&
            (best == nullptr || rule.pattern.size() > best->pattern.size() ||
             (rule.pattern.size() == best->pattern.size() && rule.allow))) {
            best = &rule;
        }
    }
    return best == nullptr || best->allow;
}

bool RobotsRules::Allows(std::string_view path) const {
    return std::all_of(groups_.begin(), groups_.end(),
                       [&](const Group& group) { return GroupAllows(group, path); });
}

}  // namespace quaymark
