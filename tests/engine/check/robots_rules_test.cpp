#include "engine/check/robots_rules.h"

#include <gtest/gtest.h>

namespace quaymark {
namespace {

TEST(RobotsRules, TheEnginesGroupsDecideByTheLongestMatch) {
    const RobotsRules robots = RobotsRules::Parse(
        "# comment\r\n"
        "User-agent: otherbot\nDisallow: /\n\n"
        "User-agent: *\nUser-agent: Googlebot\n"
        "Disallow: /private\nAllow: /private/open\nDisallow: /*.pdf$\nCrawl-delay: 2.5\n"
        "Disallow:\n\n"
        "User-agent: bingbot\nDisallow: /drafts # not yet\n");
    EXPECT_TRUE(robots.Allows("/"));
    EXPECT_TRUE(robots.Allows("/garden/roses.html"));
    EXPECT_FALSE(robots.Allows("/private/notes"));
    EXPECT_TRUE(robots.Allows("/private/open/page"));
    EXPECT_FALSE(robots.Allows("/files/a.pdf"));
    EXPECT_TRUE(robots.Allows("/files/a.pdf?v=2"));
    EXPECT_FALSE(robots.Allows("/drafts/1")) << "disallowed for one engine's robot";
    EXPECT_EQ(robots.crawlDelay(), 2.5);
    EXPECT_TRUE(RobotsRules::Parse("User-agent: otherbot\nDisallow: /\n").Allows("/"));
    EXPECT_FALSE(RobotsRules::Parse("user-agent:*\ndisallow:/").Allows("/a"));
    const RobotsRules wild = RobotsRules::Parse("User-agent: *\nDisallow: /a*b*c$");
    EXPECT_FALSE(wild.Allows("/axxbyyc"));
    EXPECT_TRUE(wild.Allows("/axxbyycd"));
    EXPECT_FALSE(wild.Allows("/abcbc"));
}

}  // namespace
}  // namespace quaymark
