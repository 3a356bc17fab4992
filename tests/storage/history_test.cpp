#include "storage/history.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <map>

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
    {
        HistoryWriter writer(*opened.history);
        const RememberedSitemap first{.site = "http://a.test/",
                                      .sitemap = "http://a.test/s.xml",
                                      .etag = "\"1\"",
                                      .readAt = 10};
        writer.RememberSitemaps({first, {.site = "http://b.test/", .sitemap = "http://b.test/f"}});
        RememberedSitemap again = first;
        again.lastModified = "Tue, 08 Dec 2026 20:00:00 GMT";
        again.readAt = 20;
        writer.RememberSitemaps({again});
    }

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

    const std::vector<RememberedSitemap> sitemaps = reader.history->Sitemaps();
    ASSERT_EQ(sitemaps.size(), 2u);
    EXPECT_EQ(sitemaps[0].etag, "\"1\"") << "the latest read of a sitemap is kept";
    EXPECT_EQ(sitemaps[0].lastModified, "Tue, 08 Dec 2026 20:00:00 GMT");
    EXPECT_EQ(sitemaps[0].readAt, 20);
    EXPECT_EQ(sitemaps[1].site, "http://b.test/");

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

// A database made by SQL of the test's own; the file's bytes after.
std::string MakeDatabase(const std::filesystem::path& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    std::string bytes;
    EXPECT_TRUE(ReadRegularFile(path, bytes));
    return bytes;
}

// Another program's database, or a newer Quaymark's, is only looked at: it stays byte for
// byte, nothing is made beside it, and a history of our own is made next to it. An earlier
// history of ours is brought up to date with its rows.
TEST(History, OnlyAHistoryOfOursIsEverWritten) {
    const testing::TempDir dir;
    const std::map<std::string, std::pair<std::string, std::string>> strangers{
        {"other.sqlite",
         {"CREATE TABLE notes(text TEXT); INSERT INTO notes VALUES('mine');", "is not Quaymark's"}},
        {"columns.sqlite",
         {"CREATE TABLE requests(time INTEGER, what TEXT);", "is not Quaymark's"}},
        {"newer.sqlite",
         {"PRAGMA application_id=" + std::to_string(History::kApplicationId) +
              "; PRAGMA user_version=" + std::to_string(History::kSchemaVersion + 1) +
              "; CREATE TABLE t(x);",
          "is of a newer version of Quaymark"}},
    };
    for (const auto& [name, made] : strangers) {
        const std::filesystem::path path = dir.path() / name;
        const std::string before = MakeDatabase(path, made.first);
        History::Opened opened = History::Open(path);
        ASSERT_TRUE(opened.history) << name;
        EXPECT_EQ(opened.path.filename(), path.stem().string() + "-2.sqlite");
        EXPECT_EQ(opened.problem,
                  "The history " + path.string() + " " + made.second + " and is left as it is.");
        std::string after;
        ASSERT_TRUE(ReadRegularFile(path, after));
        EXPECT_EQ(after, before) << name;
        EXPECT_FALSE(std::filesystem::exists(path.string() + "-wal")) << name;
        EXPECT_FALSE(std::filesystem::exists(path.string() + "-shm")) << name;
    }

    const std::filesystem::path earlier = dir.path() / "earlier.sqlite";
    MakeDatabase(earlier,
                 "CREATE TABLE requests(time INTEGER NOT NULL, channel TEXT NOT NULL,"
                 " address TEXT NOT NULL, request TEXT NOT NULL, verdict TEXT NOT NULL,"
                 " reason TEXT NOT NULL, accepted INTEGER NOT NULL);"
                 "CREATE INDEX requests_by_address ON requests(address, channel, time);"
                 "CREATE TABLE pages(address TEXT PRIMARY KEY, lastmod INTEGER NOT NULL)"
                 " WITHOUT ROWID;"
                 "INSERT INTO requests VALUES(10,'Lycos','http://a.test/','r','failed','no',0),"
                 " (20,'Lycos','http://a.test/','r','accepted','',1),"
                 " (30,'Lycos','http://a.test/','r','failed','again',0);");
    History::Opened opened = History::Open(earlier);
    ASSERT_TRUE(opened.history) << opened.problem;
    EXPECT_EQ(opened.path, earlier);
    EXPECT_EQ(opened.problem, "");
    ASSERT_EQ(opened.history->Append({Row(25, "Lycos", "http://a.test/", true)}), "");
    const AddressHistory past = opened.history->Summaries("IndexNow").at("http://a.test/");
    EXPECT_EQ(past.lastAccepted.at("Lycos"), 25);
    ASSERT_TRUE(past.lastFailure);
    EXPECT_EQ(past.lastFailure->reason, "again");
    EXPECT_EQ(past.lastSentToEngine, 30);
    opened.history.reset();
    // A history of ours from before sites remembered their sitemaps gains the table.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(earlier.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "DROP TABLE sitemaps", nullptr, nullptr, nullptr), SQLITE_OK);
    // One from before it kept what IndexNow has due learns it from the pages it holds.
    EXPECT_EQ(sqlite3_exec(db,
                           "DROP TRIGGER due_when_named; DROP TABLE indexnow_due;"
                           "INSERT INTO sitemap_pages VALUES('m', 'http://never.test/')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    History::Opened ours = History::Open(earlier);
    EXPECT_EQ(ours.path, earlier) << "now a history of ours";
    ASSERT_TRUE(ours.history);
    EXPECT_EQ(ours.history->RememberSitemaps({{.site = "s", .sitemap = "m"}}), "");
    EXPECT_EQ(ours.history->PagesNamedBy({"m"}, 0).open.count("http://never.test/"), 1u);
}

// A write that finds no room gives back all the history holds: the transaction is rolled
// back, the write-ahead log emptied and the database closed, so that the list finds room.
TEST(History, AFullDiskGivesBackEverythingTheHistoryHolds) {
    const testing::TempDir dir;
    const std::filesystem::path path = dir.path() / "history.sqlite";
    History::Opened opened = History::Open(path, 256 << 10);
    ASSERT_TRUE(opened.history) << opened.problem;
    std::vector<std::string> told;
    {
        HistoryWriter writer(*opened.history,
                             [&](const std::string& failure) { told.push_back(failure); });
        for (int i = 0; i < 2000; ++i) {
            writer.Record(Row(i, "HotBot", "http://a.test/" + std::to_string(i), true,
                              std::string(100, 'x')));
        }
        writer.Flush();
        EXPECT_NE(writer.failure().find("full"), std::string::npos) << writer.failure();
        EXPECT_TRUE(opened.history->Summaries("IndexNow").empty())
            << "a history given back is read no more";
    }
    EXPECT_EQ(told.size(), 1u);
    std::error_code error;
    EXPECT_EQ(std::filesystem::file_size(path.string() + "-wal", error) > 0 && !error, false)
        << "no write-ahead log is left holding room";
}

}  // namespace
}  // namespace quaymark
