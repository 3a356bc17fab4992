#include "engine/check/robots_rules.h"

#include <algorithm>
#include <charconv>

#include "engine/net/http_text.h"

namespace quaymark {
namespace {

// The robots that count: every robot's group, and the engines' own.
bool Counts(std::string_view agent) {
    return AudienceOf(agent) != kNoRobot;
}

// A rule longer than this is passed over, which bounds what matching a path may cost; the
// number of rules is bounded by the bytes of the file read.
constexpr std::size_t kMaxPatternBytes = 512;

bool Unreserved(char c) {
    return IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = static_cast<char>(c | 0x20);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// A path or pattern as RFC 9309 compares them: octets beyond ASCII percent-encoded, an
// encoded unreserved character decoded, and the hex digits of what stays encoded in capitals.
std::string Normalised(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (byte >= 0x80) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else if (path[i] == '%' && i + 2 < path.size() && HexValue(path[i + 1]) >= 0 &&
                   HexValue(path[i + 2]) >= 0) {
            const char decoded =
                static_cast<char>(HexValue(path[i + 1]) * 16 + HexValue(path[i + 2]));
            if (Unreserved(decoded)) {
                out += decoded;
            } else {
                out += '%';
                out += kHex[HexValue(path[i + 1])];
                out += kHex[HexValue(path[i + 2])];
            }
            i += 2;
        } else {
            out += path[i];
        }
    }
    return out;
}

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
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::vector<std::string> agents;
    bool rulesSeen = false;
    // A rule goes to every robot that counts among its group's.
    const auto keep = [&](Rule rule) {
        for (const std::string& agent : agents) {
            if (agent == "*") {
                robots.everyRobot_.push_back(rule);
            } else if (Counts(agent)) {
                auto named = std::find_if(robots.named_.begin(), robots.named_.end(),
                                          [&](const auto& n) { return n.first == agent; });
                if (named == robots.named_.end()) {
                    named = robots.named_.insert(robots.named_.end(), {agent, {}});
                }
                named->second.push_back(rule);
            }
        }
    };
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        const std::size_t next = end == std::string_view::npos   ? text.size()
                                 : text.substr(end, 2) == "\r\n" ? end + 2
                                                                 : end + 1;
        text.remove_prefix(next);
        line = line.substr(0, line.find('#'));
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string field = AsciiLowerCopy(Trimmed(line.substr(0, colon)));
        const std::string_view value = Trimmed(line.substr(colon + 1));
        if (field == "user-agent") {
            if (rulesSeen) {
                agents.clear();
                rulesSeen = false;
            }
            agents.push_back(AsciiLowerCopy(value));
            // A robot named in any group has rules of its own, even none.
            if (Counts(agents.back()) && agents.back() != "*" &&
                std::none_of(robots.named_.begin(), robots.named_.end(),
                             [&](const auto& n) { return n.first == agents.back(); })) {
                robots.named_.push_back({agents.back(), {}});
            }
        } else if (field == "allow" || field == "disallow") {
            rulesSeen = true;
            // An empty Disallow allows everything.
            if (!value.empty() && value.size() <= kMaxPatternBytes) {
                keep({.pattern = Normalised(value), .allow = field == "allow"});
            }
        } else if (field == "crawl-delay") {
            rulesSeen = true;
            double seconds = 0;
            const auto [rest, error] =
                std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (error == std::errc() && seconds > 0 &&
                std::any_of(agents.begin(), agents.end(), Counts)) {
                robots.crawlDelay_ = std::max(robots.crawlDelay_.value_or(0), seconds);
            }
        }
    }
    return robots;
}

const std::vector<RobotsRules::Rule>& RobotsRules::RulesOf(std::string_view robot) const {
    const auto named =
        std::find_if(named_.begin(), named_.end(), [&](const auto& n) { return n.first == robot; });
    return named != named_.end() ? named->second : everyRobot_;
}

bool RobotsRules::Obeys(const std::vector<Rule>& rules, std::string_view normalised) {
    const Rule* best = nullptr;
    for (const Rule& rule : rules) {
        if (Matches(rule.pattern, normalised) &&
            (best == nullptr || rule.pattern.size() > best->pattern.size() ||
             (rule.pattern.size() == best->pattern.size() && rule.allow))) {
            best = &rule;
        }
    }
    return best == nullptr || best->allow;
}

bool RobotsRules::Allows(std::string_view robot, std::string_view path) const {
    return Obeys(RulesOf(AsciiLowerCopy(robot)), Normalised(path));
}

Audience RobotsRules::KeptFrom(std::string_view path) const {
    const std::string normalised = Normalised(path);
    Audience kept = kNoRobot;
    for (const NamedRobot& robot : kNamedRobots) {
        if ((kept & robot.audience) == 0 && !Obeys(RulesOf(robot.name), normalised)) {
            kept |= robot.audience;
        }
    }
    return kept;
}

bool RobotsRules::Allows(std::string_view path) const {
    return KeptFrom(path) == kNoRobot;
}

}  // namespace quaymark
