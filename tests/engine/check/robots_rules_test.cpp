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

// As RFC 9309 reads a file: each robot obeys every group that names it, combined, and only
// those; a file of many scrapers' groups keeps every rule that applies; a byte order mark and
// CR line ends change nothing; paths compare with their percent-encoding normalised.
TEST(RobotsRules, EachRobotObeysItsGroupsCombinedAsTheRfcReadsThem) {
    std::string scrapers;
    for (int i = 0; i < 600; ++i) {
        scrapers += "User-agent: scraper" + std::to_string(i) + "\nDisallow: /\n";
    }
    const RobotsRules robots = RobotsRules::Parse(
        "\xEF\xBB\xBFUser-agent: *\rDisallow: /private/\r" + scrapers +
        "User-agent: *\nDisallow: /late/\n" +
        "User-agent: bingbot\r\nAllow: /x/\r\n\r\nUser-agent: Googlebot\nDisallow: /ツ/\n"
        "Allow: /foo/bar/ツ\nDisallow: /foo/\nDisallow: /%62%61%7A\n\n"
        "User-agent: bingbot\nDisallow: /\n");
    EXPECT_FALSE(robots.Allows("yandex", "/private/notes"));
    EXPECT_FALSE(robots.Allows("yandex", "/late/page"));
    EXPECT_TRUE(robots.Allows("yandex", "/x/b"));
    EXPECT_TRUE(robots.Allows("bingbot", "/x/b"));
    EXPECT_FALSE(robots.Allows("bingbot", "/y"));
    EXPECT_TRUE(robots.Allows("googlebot", "/private/notes"));
    EXPECT_FALSE(robots.Allows("googlebot", "/%E3%83%84/p.html"));
    EXPECT_FALSE(robots.Allows("googlebot", "/%e3%83%84/p.html"));
    EXPECT_TRUE(robots.Allows("googlebot", "/foo/bar/%E3%83%84"));
    EXPECT_FALSE(robots.Allows("googlebot", "/baz.html"));
    EXPECT_FALSE(robots.Allows("googlebot", "/%62az.html"));
}

}  // namespace
}  // namespace quaymark
