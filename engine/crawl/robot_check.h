#pragma once

#include <chrono>
#include <cstddef>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/crawl/robots.h"

namespace quaymark {

// What the engine's DNS says of an address that claimed its robot.
enum class RobotVerdict {
    // Its reverse lookup names the engine's domain, and that name's forward lookup gives the
    // address back.
    Verified,
    // It is not the engine's: no reverse name, a name outside the engine's domains, or a name
    // whose forward lookup does not come back to it.
    False,
    // The DNS did not answer in time, or failed: neither a crawl nor a false robot; asked
    // again at the next read.
    Unknown,
};

struct RobotClaim {
    std::string address;  // IPv4 or IPv6, as the log wrote it
    const RobotKind* robot = nullptr;
};

struct DnsLimits {
    // host:port of the name server to ask; the system's when empty.
    std::string server{};
    std::chrono::milliseconds perTry{2000};
    int tries = 2;
    // Lookups under way at once, at most.
    std::size_t inFlight = 64;
    // After this, what is still unanswered stays Unknown.
    std::chrono::milliseconds overall{60000};
    // The owner's cancel: what is unanswered then stays Unknown.
    std::stop_token stop{};
};

struct RobotChecks {
    std::unordered_map<std::string, RobotVerdict> verdicts;
    // The most lookups that were ever under way at once.
    std::size_t peakInFlight = 0;
    // Why no lookup could be made at all; empty when they could.
    std::string failure{};
};

// Asks the DNS of each distinct address, as the engines document: the reverse lookup, then
// the forward lookup of the name it gave. Lookups are asynchronous, at most limits.inFlight at
// once, each bounded in time and all of them together too.
RobotChecks VerifyRobots(const std::vector<RobotClaim>& claims, const DnsLimits& limits = {});

}  // namespace quaymark
