#include "engine/crawl/access_log.h"

#include <gtest/gtest.h>

namespace quaymark {
namespace {

// The three formats the servers write by default, with the time's offset taken into account.
TEST(AccessLog, ReadsCommonCombinedAndVhostCombinedLines) {
    const auto common = ParseLogLine(
        "127.0.0.1 - frank [10/Oct/2000:13:55:36 -0700] \"GET /apache_pb.gif HTTP/1.0\" 200 2326");
    ASSERT_TRUE(common);
    EXPECT_EQ(common->client, "127.0.0.1");
    EXPECT_EQ(common->host, "");
    EXPECT_EQ(common->time, 971211336);
    EXPECT_EQ(common->method, "GET");
    EXPECT_EQ(common->target, "/apache_pb.gif");
    EXPECT_EQ(common->status, 200);
    EXPECT_EQ(common->userAgent, "");

    const auto combined = ParseLogLine(
        "66.249.66.1 - - [09/Dec/2026:06:25:24 +0000] \"GET /a?b=1 HTTP/1.1\" 304 0 \"-\" "
        "\"Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)\"\n");
    ASSERT_TRUE(combined);
    EXPECT_EQ(combined->target, "/a?b=1");
    EXPECT_EQ(combined->status, 304);
    EXPECT_EQ(combined->userAgent,
              "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)");

    const auto vhost = ParseLogLine(
        "www.example.org:443 2001:db8::1 - - [09/Dec/2026:07:25:24 +0100] \"HEAD / HTTP/2.0\" "
        "200 512 \"-\" \"bingbot/2.0\"");
    ASSERT_TRUE(vhost);
    EXPECT_EQ(vhost->host, "www.example.org");
    EXPECT_EQ(vhost->client, "2001:db8::1");
    EXPECT_EQ(vhost->time, combined->time) << "the same moment, written an hour east";
    EXPECT_EQ(vhost->userAgent, "bingbot/2.0");

    const auto ipv6 = ParseLogLine("::1 - - [09/Dec/2026:06:25:24 +0000] \"GET / HTTP/1.1\" 200 1");
    ASSERT_TRUE(ipv6) << "an address with colons is no virtual host";
    EXPECT_EQ(ipv6->client, "::1");
    EXPECT_EQ(ipv6->host, "");
}

// Apache's \" and \\ and nginx's \x22 are undone; a line in none of the formats, or with a
// time, status or request that cannot be, is nothing.
TEST(AccessLog, UndoesEscapesAndRefusesWhatIsNoRequest) {
    const auto escaped = ParseLogLine(
        "1.2.3.4 - - [01/Jan/2026:00:00:00 +0000] \"GET /q HTTP/1.1\" 200 5 \"-\" "
        "\"say \\\"hi\\\" \\\\ \\x22x\\x22\"");
    ASSERT_TRUE(escaped);
    EXPECT_EQ(escaped->userAgent, "say \"hi\" \\ \"x\"");

    for (const char* bad : {
             "",
             "garbage",
             "1.2.3.4 - - [01/Jan/2026:00:00:00 +0000] \"-\" 400 0",
             "1.2.3.4 - - [01/Jan/2026:00:00:00 +0000] \" /\" 200 5",
             "1.2.3.4 - - [31/Feb/2026:00:00:00 +0000] \"GET / HTTP/1.1\" 200 5",
             "1.2.3.4 - - [01/Jan/2026:24:00:00 +0000] \"GET / HTTP/1.1\" 200 5",
             "1.2.3.4 - - [01/Jan/2026:00:00:00 +0000] \"GET / HTTP/1.1\" abc 5",
             "1.2.3.4 - - [01/Jan/2026:00:00:00 +0000] \"GET / HTTP/1.1 200 5",
             "1.2.3.4 - - [01/Jan/2026:00:00:00 +0000] \"GET / HTTP/1.1\" 200 5 \"-\"",
             "a b c d e [01/Jan/2026:00:00:00 +0000] \"GET / HTTP/1.1\" 200 5",
         }) {
        EXPECT_FALSE(ParseLogLine(bad)) << bad;
    }
}

}  // namespace
}  // namespace quaymark
