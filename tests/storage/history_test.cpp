#include "storage/history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "storage/atomic_file.h"
#include "tests/support/temp_dir.h"

namespace quaymark {
namespace {

HistoryRow Row(std::int64_t time, std::string channel, std::string address, bool accepted,
               std::string reason = {}) {
    return {time,
            std::move(channel),
            address,
            "http://engine/?url=" + address,
            accepted ? "accepted" : "failed",
            std::move(reason),
            accepted};
}

TEST(History, ARunsRowsAreKeptInTransactionsAndReadThroughAnotherConnection) {
    const testing::TempDir dir;
    const std::filesystem::path path = dir.path() / "quaymark" / "history.sqlite";
    History::Opened opened = History::Open(path);
    ASSERT_TRUE(opened.history) << opened.problem;
    EXPECT_EQ(opened.path, path);
    {
        HistoryWriter writer(*opened.history);
        for (int i = 0; i < 600; ++i) {
            writer.Record(Row(1000 + i, "HotBot", "http://a.test/" + std::to_string(i % 3), true));
        }
        writer.Record(Row(5000, "IndexNow", "http://a.test/0", true));
        writer.Record(Row(6000, "Lycos", "http://a.test/0", false, "The page said no."));
        writer.Record(Row(7000, "IndexNow", "http://a.test/1", false, "key not valid (403)"));
        writer.Flush();
        EXPECT_TRUE(writer.failure().empty()) << writer.failure();
    }
    EXPECT_EQ(opened.history->SetLastmods({{"http://a.test/0", 4000}, {"http://a.test/9", 1}}), "");

    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_TRUE(std::filesystem::exists(path.string() + "-wal")) << "the database is in WAL mode";

    History::Opened reader = History::Open(path);
    ASSERT_TRUE(reader.history) << reader.problem;
    auto summaries = reader.history->Summaries("IndexNow");
    const AddressHistory& first = summaries.at("http://a.test/0");
    EXPECT_EQ(first.lastAccepted.at("HotBot"), 1000 + 597);
    EXPECT_EQ(first.lastAccepted.at("IndexNow"), 5000);
    ASSERT_TRUE(first.lastFailure);
    EXPECT_EQ(first.lastFailure->channel, "Lycos");
    EXPECT_EQ(first.lastFailure->reason, "The page said no.");
    EXPECT_EQ(first.lastSentToEngine, 6000);
    EXPECT_EQ(summaries.at("http://a.test/1").lastSentToEngine, 1000 + 598)
        << "IndexNow is no engine";

    auto dates = reader.history->AnnouncedDates("IndexNow");
    EXPECT_EQ(dates.at("http://a.test/0").lastAnnounced, 5000);
    EXPECT_EQ(dates.at("http://a.test/0").lastmod, 4000);
    EXPECT_EQ(dates.at("http://a.test/9").lastAnnounced, std::nullopt);
    EXPECT_EQ(dates.count("http://a.test/1"), 0u) << "a refusal is no announcement";
}

TEST(History, ADamagedFileIsLeftAsItIsAndANewOneIsMadeBesideIt) {
    const testing::TempDir dir;
    const std::filesystem::path path = dir.path() / "history.sqlite";
    const std::string garbage(8192, 'x');
    ASSERT_TRUE(WriteFileAtomically(path, garbage));

    History::Opened opened = History::Open(path);
    ASSERT_TRUE(opened.history);
    EXPECT_EQ(opened.path, dir.path() / "history-2.sqlite");
    EXPECT_NE(opened.problem.find(path.string() + " is damaged"), std::string::npos)
        << opened.problem;
    EXPECT_EQ(opened.history->Append({Row(1, "Go!", "http://a.test/", true)}), "");
    std::string content;
    ASSERT_TRUE(ReadRegularFile(path, content));
    EXPECT_EQ(content, garbage);

    // The next start goes on in the new one.
    History::Opened again = History::Open(path);
    ASSERT_TRUE(again.history);
    EXPECT_EQ(again.path, dir.path() / "history-2.sqlite");
    EXPECT_EQ(again.history->Summaries("IndexNow").size(), 1u);

    // Something that is no file at all is told, and no history is kept.
    const std::filesystem::path folder = dir.path() / "folder.sqlite";
    std::filesystem::create_directory(folder);
    History::Opened none = History::Open(folder);
    EXPECT_FALSE(none.history);
    EXPECT_EQ(none.problem,
              "The history " + folder.string() + " could not be opened: Not a regular file.");
}

}  // namespace
}  // namespace quaymark
