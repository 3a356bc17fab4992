#include "engine/crawl/log_follower.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "engine/crawl/log_rotations.h"
#include "engine/crawl/robot_visits.h"
#include "engine/crawl/robots.h"
#include "tests/support/gzip.h"
#include "tests/support/temp_dir.h"

namespace quaymark {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

void Append(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

struct Read {
    LogReading reading;
    std::vector<std::string> lines;
};

Read Follow(const std::filesystem::path& path, const LogCursor& cursor) {
    Read read;
    read.reading =
        FollowLog(path, cursor, [&](std::string_view line) { read.lines.emplace_back(line); });
    return read;
}

std::vector<std::string> Since(const std::filesystem::path& log, LogCursor& cursor, bool* gap) {
    std::vector<std::string> lines;
    const LogSinceReading read =
        ReadLogSince(log, cursor, [&](std::string_view line) { lines.emplace_back(line); });
    cursor = read.reading.cursor;
    *gap = read.gap;
    return lines;
}

// The first read takes the rotations too, oldest first and gzip or not; after a rotation the
// rest of the rotated file comes first; after two, with the rest compressed, the gap is told.
TEST(LogFollower, ReadsRotationsOnceAndTheRestOfTheRotatedFile) {
    testing::TempDir dir;
    const std::filesystem::path log = dir.path() / "access.log";
    testing::WriteFileBytes(dir.path() / "access.log.2.gz", testing::Gzip("oldest\nold"));
    testing::WriteFileBytes(dir.path() / "access.log.1", "older\n");
    testing::WriteFileBytes(dir.path() / "access.log.10.bak", "not a rotation\n");
    EXPECT_THAT(Rotations(dir.path() / "dated.log"), IsEmpty());
    for (const char* dated : {"dated.log-20261209", "dated.log-20261130.gz", "dated.log-2026"}) {
        testing::WriteFileBytes(dir.path() / dated, "");
    }
    EXPECT_THAT(
        Rotations(dir.path() / "dated.log"),
        ElementsAre(dir.path() / "dated.log-20261130.gz", dir.path() / "dated.log-20261209"));
    testing::WriteFileBytes(log, "new\n");
    LogCursor cursor;
    bool gap = false;
    EXPECT_THAT(Since(log, cursor, &gap), ElementsAre("oldest", "old", "older", "new"));

    Append(log, "after\n");
    std::filesystem::rename(log, dir.path() / "access.log.1");
    testing::WriteFileBytes(log, "rotated\n");
    EXPECT_THAT(Since(log, cursor, &gap), ElementsAre("after", "rotated"));
    EXPECT_FALSE(gap);
    EXPECT_THAT(Since(log, cursor, &gap), IsEmpty());

    Append(log, "lost\n");
    std::filesystem::rename(log, dir.path() / "access.log.0");
    testing::WriteFileBytes(log, "fresh\n");
    std::filesystem::remove(dir.path() / "access.log.0");  // compressed away at once
    EXPECT_THAT(Since(log, cursor, &gap), ElementsAre("fresh"));
    EXPECT_TRUE(gap);
}

// A rotation that expands beyond the bound is read no further, and told; a stop asked ends a
// read before its bytes.
TEST(LogFollower, ABoundAndAStopEndARead) {
    testing::TempDir dir;
    const std::filesystem::path log = dir.path() / "access.log";
    testing::WriteFileBytes(dir.path() / "access.log.1.gz",
                            testing::Gzip(std::string(1 << 20, 'x') + "\n"));
    testing::WriteFileBytes(log, "now\n");
    std::size_t lines = 0;
    const LogSinceReading bounded = ReadLogSince(
        log, {}, [&](std::string_view) { ++lines; }, 1 << 16);
    EXPECT_THAT(bounded.reading.failure, ::testing::HasSubstr("read no further"));
    EXPECT_EQ(lines, 1u);
    std::stop_source stop;
    stop.request_stop();
    const LogReading stopped = FollowLog(
        log, {}, [&](std::string_view) { ++lines; }, 1 << 16, stop.get_token());
    EXPECT_EQ(lines, 1u);
    EXPECT_EQ(stopped.cursor.offset, 0u);
}

// Each read goes on where the last stopped, whole lines only; a rotated log and a truncated
// one are read from their start; a line over the limit is passed over, counted.
TEST(LogFollower, GoesOnWhereItStoppedThroughGrowthRotationAndTruncation) {
    testing::TempDir dir;
    const std::filesystem::path log = dir.path() / "access.log";
    testing::WriteFileBytes(log, "one\ntwo\nthr");
    Read read = Follow(log, {});
    EXPECT_THAT(read.lines, ElementsAre("one", "two"));
    EXPECT_EQ(read.reading.cursor.offset, 8u) << "the line still being written waits";

    Append(log, "ee\n" + std::string(kMaxLogLine + 1, 'x') + "\nfour\n");
    read = Follow(log, read.reading.cursor);
    EXPECT_THAT(read.lines, ElementsAre("three", "four"));
    EXPECT_EQ(read.reading.overlong, 1u);
    EXPECT_FALSE(read.reading.rotated || read.reading.truncated);
    const LogCursor before = read.reading.cursor;
    EXPECT_THAT(Follow(log, before).lines, IsEmpty());

    std::filesystem::rename(log, dir.path() / "access.log.1");
    testing::WriteFileBytes(log, "five\n");
    read = Follow(log, before);
    EXPECT_TRUE(read.reading.rotated);
    EXPECT_THAT(read.lines, ElementsAre("five"));

    testing::WriteFileBytes(log, "");
    Append(log, "6\n");
    read = Follow(log, read.reading.cursor);
    EXPECT_TRUE(read.reading.truncated || read.reading.rotated);
    EXPECT_THAT(read.lines, ElementsAre("6"));

    EXPECT_FALSE(Follow(dir.path(), {}).reading.failure.empty()) << "a directory is no log";
    EXPECT_FALSE(Follow(dir.path() / "missing.log", {}).reading.failure.empty());
}

// A user agent claims a robot whatever its case; the reverse lookup's name must lie within the
// engine's own domains, not merely end in their letters.
TEST(Robots, ClaimsByUserAgentAndDomainsByWholeLabels) {
    const RobotKind* google =
        ClaimedRobot("Mozilla/5.0 (compatible; GoogleBot/2.1; +http://www.google.com/bot.html)");
    ASSERT_NE(google, nullptr);
    EXPECT_EQ(google->engine, "Google");
    EXPECT_EQ(ClaimedRobot("Mozilla/5.0 (X11; Linux x86_64) Firefox/120.0"), nullptr);
    EXPECT_TRUE(InRobotDomain(*google, "crawl-66-249-66-1.googlebot.com."));
    EXPECT_TRUE(InRobotDomain(*google, "rate-limited-proxy-1.Google.com"));
    EXPECT_FALSE(InRobotDomain(*google, "evilgooglebot.com"));
    EXPECT_FALSE(InRobotDomain(*google, "googlebot.com"));
    EXPECT_FALSE(InRobotDomain(*google, "crawl.googlebot.com.evil.example"));
}

// Only the robots' requests are kept, with the address their claim is verified by; a
// visitor's line leaves nothing behind, and a robot's line in no format is counted.
TEST(Robots, OnlyTheRobotsRequestsAreKeptFromALog) {
    testing::TempDir dir;
    const std::filesystem::path log = dir.path() / "access.log";
    testing::WriteFileBytes(
        log,
        "203.0.113.7 - - [09/Dec/2026:06:25:24 +0000] \"GET /a HTTP/1.1\" 200 5 \"-\" "
        "\"Mozilla/5.0 Firefox/120.0\"\n"
        "66.249.66.1 - - [09/Dec/2026:06:25:25 +0000] \"GET /b HTTP/1.1\" 200 5 \"-\" "
        "\"Mozilla/5.0 (compatible; Googlebot/2.1)\"\n"
        "www.example.org:443 198.51.100.4 - - [09/Dec/2026:06:25:26 +0000] \"GET /c HTTP/1.1\" "
        "404 5 \"-\" \"Mozilla/5.0 (compatible; YETI/1.1)\"\n"
        "a line in no format \"Googlebot\"\n"
        "192.0.2.9 - - [09/Dec/2026:06:25:27 +0000] \"GET /d HTTP/1.1\" 200 5 \"-\" "
        "\"bAiDuSpIdEr/2.0\"\r\n");
    const VisitsRead read = ReadRobotVisits(log, {});
    ASSERT_EQ(read.visits.size(), 3u);
    EXPECT_EQ(read.visits[0].engine, "Google");
    EXPECT_EQ(read.visits[0].target, "/b");
    EXPECT_EQ(read.visits[0].client, "66.249.66.1");
    EXPECT_EQ(read.visits[1].engine, "Naver");
    EXPECT_EQ(read.visits[1].host, "www.example.org");
    EXPECT_EQ(read.visits[1].status, 404);
    EXPECT_EQ(read.visits[2].engine, "Baidu") << "any case, a line ending in CR LF";
    EXPECT_EQ(read.unreadable, 1u);
    EXPECT_EQ(read.reading.lines, 5u);
}

}  // namespace
}  // namespace quaymark
