#include "ui/history_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDateTime>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "storage/atomic_file.h"
#include "storage/history.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/desktop_recorder.h"

namespace quaymark::ui {
namespace {

using ::testing::ElementsAre;

std::string Moment(std::int64_t time) {
    return QDateTime::fromSecsSinceEpoch(time).toString("yyyy-MM-dd HH:mm").toStdString();
}

TEST(HistoryWindow, ShowsTheLastAcceptancesAndFailureMarksTheLastDayFiltersAndExports) {
    const quaymark::testing::TempDir dir;
    const std::filesystem::path path = dir.path() / "history.sqlite";
    const std::int64_t now = 2000000000;
    std::unordered_map<std::string, AddressHistory> summaries;
    {
        History::Opened opened = History::Open(path);
        ASSERT_TRUE(opened.history);
        ASSERT_EQ(opened.history->Append({
                      {now - 3600, "HotBot", "http://a.test/", "r", "accepted", "", true},
                      {now - 7200, "IndexNow", "http://a.test/", "r", "200", "", true},
                      {now - 90000, "Lycos", "http://b.test/", "r", "failed", "said \"no\", twice",
                       false},
                      {now - 60, "IndexNow", "http://b.test/", "r", "200", "", true},
                  }),
                  "");
        summaries = opened.history->Summaries("IndexNow");
    }
    testing::DesktopRecorder desktop;
    CHistoryDlg window(
        {"http://a.test/", "http://b.test/", "http://c.test/"},
        {.summaries = summaries,
         .sitemaps = {{.site = "http://a.test/", .sitemap = "http://a.test/feed", .readAt = now}}},
        now);
    EXPECT_EQ(window.controls().Get<QListWidget>("sitemaps")->item(0)->text().toStdString(),
              "http://a.test/: http://a.test/feed, read " + Moment(now));
    const auto rows = window.ShownRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_THAT(rows[0],
                ElementsAre("Address", "Within 24 h", "WebCrawler", "HotBot", "Lycos", "AltaVista",
                            "Go!", "Excite", "Google", "IndexNow", "Last failure"));
    EXPECT_THAT(rows[1], ElementsAre("http://a.test/", "sent", "", Moment(now - 3600), "", "", "",
                                     "", "", Moment(now - 7200), ""));
    const std::string failure = Moment(now - 90000) + " Lycos: said \"no\", twice";
    EXPECT_THAT(rows[2], ElementsAre("http://b.test/", "", "", "", "", "", "", "", "",
                                     Moment(now - 60), failure))
        << "IndexNow is no engine: what it had today is not marked";
    EXPECT_THAT(rows[3], ElementsAre("http://c.test/", "", "", "", "", "", "", "", "", "", ""));

    window.controls().Get<QLineEdit>("filter")->setText("B.TEST");
    ASSERT_EQ(window.ShownRows().size(), 2u);
    const std::filesystem::path csv = dir.path() / "out.csv";
    SetSaveFileHandler([&](const QString&, const QString&) { return QString::fromStdString(csv); });
    window.OnExport();
    std::string written;
    ASSERT_TRUE(ReadRegularFile(csv, written));
    EXPECT_EQ(written.substr(written.find("\r\n") + 2),
              "http://b.test/,,,,,,,,," + Moment(now - 60) + ",\"" + Moment(now - 90000) +
                  " Lycos: said \"\"no\"\", twice\"\r\n");

    // A file where a folder should be: told, with the reason.
    SetSaveFileHandler([&](const QString&, const QString&) {
        return QString::fromStdString((csv / "inside.csv").string());
    });
    window.OnExport();
    SetSaveFileHandler({});
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.contains("Not a directory"))
        << desktop.messages[0].text.toStdString();
}

// Pages that left every sitemap get a column and can leave the list; the pages' checks and
// what Google said of them are shown; the announcer's runs are listed with how they ended.
TEST(HistoryWindow, MarksPagesNoLongerInASitemapAndListsTheAnnouncerRuns) {
    const std::int64_t now = 2000000000;
    CHistoryDlg window(
        {"http://a.test/", "http://b.test/"},
        {.summaries = {},
         .sitemaps = {},
         .removed = {{.address = "http://b.test/", .site = "http://b.test/", .since = now - 60}},
         .announcerRuns = {{.time = now,
                            .scheduled = true,
                            .exitStatus = 1,
                            .result = "Announced 0 pages, 1 refused."}},
         .checks = {{"http://a.test/",
                     {.address = "http://a.test/",
                      .verdict = "canonical elsewhere",
                      .detail = "http://c.test/",
                      .textChangedAt = now - 120}}},
         .inspections = {{"http://a.test/",
                          {.address = "http://a.test/",
                           .property = "sc-domain:a.test",
                           .verdict = "NEUTRAL",
                           .coverage = "Crawled - currently not indexed",
                           .lastCrawl = "2033-05-18T03:33:20Z"}}}},
        now);
    const auto rows = window.ShownRows();
    const auto lastFive = [&](std::size_t row) {
        return std::vector<std::string>(rows[row].end() - 5, rows[row].end());
    };
    EXPECT_THAT(lastFive(0), ElementsAre("No longer in a sitemap", "Check", "Text last changed",
                                         "Google index", "Last crawl"));
    EXPECT_THAT(lastFive(1),
                ElementsAre("", "canonical elsewhere: http://c.test/", Moment(now - 120),
                            "not indexed: Crawled - currently not indexed", Moment(now)));
    EXPECT_THAT(lastFive(2), ElementsAre(Moment(now - 60), "", "", "", ""));
    EXPECT_EQ(window.controls().Get<QListWidget>("announcerRuns")->item(0)->text().toStdString(),
              Moment(now) +
                  ", by the daily timer: Announced 0 pages, 1 refused. Failed (exit status 1).");
    window.controls().Get<QPushButton>("removeRemoved")->click();
    EXPECT_THAT(window.pagesToRemove(), ElementsAre("http://b.test/"));
}

}  // namespace
}  // namespace quaymark::ui
