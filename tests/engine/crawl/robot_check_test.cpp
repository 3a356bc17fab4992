#include "engine/crawl/robot_check.h"

#include <gtest/gtest.h>

#include "tests/support/fake_dns.h"

namespace quaymark {
namespace {

using testing::FakeDns;

const RobotKind& Robot(std::string_view engine) {
    for (const RobotKind& robot : kRobots) {
        if (robot.engine == engine) {
            return robot;
        }
    }
    throw std::logic_error("no such robot");
}

TEST(VerifyRobots, OnlyAReverseNameOfTheEnginesThatLeadsBackVerifies) {
    FakeDns dns;
    dns.Pointer("66.249.66.1", "crawl-66-249-66-1.googlebot.com");
    dns.Forward("crawl-66-249-66-1.googlebot.com", "66.249.66.1");
    dns.Pointer("2001:db8::5", "msnbot-5.search.msn.com");
    dns.Forward("msnbot-5.search.msn.com", "2001:db8::5");
    // Lies: a name of another domain, a PTR naming the engine whose forward lookup leads
    // elsewhere, a domain that only ends like the engine's, and no PTR at all.
    dns.Pointer("192.0.2.7", "scraper.example.net");
    dns.Pointer("192.0.2.8", "crawl.googlebot.com");
    dns.Forward("crawl.googlebot.com", "192.0.2.99");
    dns.Pointer("192.0.2.9", "evilgooglebot.com");
    dns.Forward("evilgooglebot.com", "192.0.2.9");
    // A server that never answers for this one.
    dns.Ignore(FakeDns::ReverseName("192.0.2.10"));

    const RobotKind& google = Robot("Google");
    const std::vector<RobotClaim> claims = {
        {"66.249.66.1", &google}, {"2001:db8::5", &Robot("Bing")}, {"192.0.2.7", &google},
        {"192.0.2.8", &google},   {"192.0.2.9", &google},          {"192.0.2.11", &google},
        {"192.0.2.10", &google},  {"not an address", &google},     {"66.249.66.1", &google},
    };
    const RobotChecks checks = VerifyRobots(
        claims, {.server = dns.server(), .perTry = std::chrono::milliseconds(100), .tries = 1});
    ASSERT_EQ(checks.failure, "");
    const std::unordered_map<std::string, RobotVerdict> expected = {
        {"66.249.66.1", RobotVerdict::Verified}, {"2001:db8::5", RobotVerdict::Verified},
        {"192.0.2.7", RobotVerdict::False},      {"192.0.2.8", RobotVerdict::False},
        {"192.0.2.9", RobotVerdict::False},      {"192.0.2.11", RobotVerdict::False},
        {"192.0.2.10", RobotVerdict::Unknown},   {"not an address", RobotVerdict::False},
    };
    EXPECT_EQ(checks.verdicts, expected);
}

TEST(VerifyRobots, KeepsWithinItsLookupsInFlightAndItsOverallTime) {
    FakeDns dns;
    std::vector<RobotClaim> claims;
    for (int i = 0; i < 600; ++i) {
        const std::string address =
            "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250);
        claims.push_back({address, &Robot("Yandex")});
        if (i % 2 == 0) {
            dns.Pointer(address, "spider-" + std::to_string(i) + ".yandex.com");
            dns.Forward("spider-" + std::to_string(i) + ".yandex.com", address);
        }
    }
    const RobotChecks checks = VerifyRobots(claims, {.server = dns.server(), .inFlight = 16});
    ASSERT_EQ(checks.verdicts.size(), claims.size());
    EXPECT_EQ(checks.verdicts.at("10.0.0.0"), RobotVerdict::Verified);
    EXPECT_EQ(checks.verdicts.at("10.0.0.1"), RobotVerdict::False);
    EXPECT_LE(checks.peakInFlight, 16u);
    EXPECT_LE(dns.peakWaiting(), 16u);

    // A server that never answers costs the overall bound, not a lookup's tries each.
    FakeDns silent;
    for (const RobotClaim& claim : claims) {
        silent.Ignore(FakeDns::ReverseName(claim.address));
    }
    const RobotChecks unanswered = VerifyRobots(claims, {.server = silent.server(),
                                                         .perTry = std::chrono::milliseconds(60000),
                                                         .overall = std::chrono::milliseconds(50)});
    ASSERT_EQ(unanswered.verdicts.size(), claims.size());
    for (const auto& [address, verdict] : unanswered.verdicts) {
        EXPECT_EQ(verdict, RobotVerdict::Unknown) << address;
    }
}

}  // namespace
}  // namespace quaymark
