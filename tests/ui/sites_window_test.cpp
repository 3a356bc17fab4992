#include "ui/sites_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QChart>
#include <QChartView>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <ctime>

#include "storage/atomic_file.h"
#include "storage/history.h"
#include "storage/program_paths.h"
#include "tests/support/fake_dns.h"
#include "tests/support/temp_dir.h"

namespace quaymark::ui {
namespace {

using ::testing::HasSubstr;

// Waits for the window's next answer from its worker: no sleep, the answer's own signal.
void Answered(SitesWindow& window) {
    QSignalSpy spy(&window, &SitesWindow::answered);
    ASSERT_TRUE(spy.wait(10000));
}

// A site announced through IndexNow whose log shows Bing's verified robot and a false one: the
// window shows the site's row, its charts and the figures, reads the log it is given, and
// shows the page's timeline.
TEST(SitesWindow, ShowsEachSiteItsChartsTheLogsItReadsAndAPagesTimeline) {
    const quaymark::testing::TempDir home;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home.path().string()));
    const std::time_t now = std::time(nullptr);
    ASSERT_TRUE(WriteFileAtomically(UrlListPath(),
                                    "https://a.test/\r\nhttps://a.test/p\r\nEOS\r\n"
                                    "\r\n"));
    {
        History::Opened opened = History::Open(HistoryPath(UrlListPath()));
        ASSERT_TRUE(opened.history);
        ASSERT_EQ(opened.history->Append(
                      {{now - 3600, "IndexNow", "https://a.test/p", "r", "200", "", true}}),
                  "");
    }
    char when[64];
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(when, sizeof when, "%d/%b/%Y:%H:%M:%S +0000", &utc);
    const std::filesystem::path log = home.path() / "access.log";
    const std::string bing = "\"-\" \"Mozilla/5.0 (compatible; bingbot/2.0)\"\n";
    ASSERT_TRUE(WriteFileAtomically(
        log, "157.55.39.1 - - [" + std::string(when) + "] \"GET /p HTTP/1.1\" 200 9 " + bing +
                 "192.0.2.9 - - [" + std::string(when) + "] \"GET /p HTTP/1.1\" 200 9 " + bing));
    quaymark::testing::FakeDns dns;
    dns.Pointer("157.55.39.1", "msnbot-157-55-39-1.search.msn.com");
    dns.Forward("msnbot-157-55-39-1.search.msn.com", "157.55.39.1");

    RunRouting routing;
    routing.nameServer = dns.server();
    SitesWindow window(routing);
    Answered(window);  // the rows
    Answered(window);  // the first site's figures
    ASSERT_EQ(window.status().sites.size(), 1u);
    EXPECT_EQ(window.status().sites[0].row.announced, 1u);
    ASSERT_EQ(window.chart(0)->chart()->series().size(), 2) << "IndexNow sent and accepted";

    window.AddLog(QString::fromStdString(log.string()));
    Answered(window);
    Answered(window);
    window.ReadLogs();
    Answered(window);
    EXPECT_THAT(window.notes().toStdString(),
                HasSubstr("2 lines; 1 request of the site's pages by verified robots, 1 by false "
                          "robots."));
    Answered(window);
    const SiteStatus& site = window.status().sites.at(0);
    EXPECT_EQ(site.row.crawled, 1u);
    ASSERT_FALSE(site.engines.empty());
    EXPECT_EQ(window.chart(1)->chart()->series().size(), 2) << "Bing and the false robots";

    window.ShowTimeline(QStringLiteral("https://a.test/p"));
    Answered(window);
    ASSERT_EQ(window.timeline()->rowCount(), 2);
    EXPECT_EQ(window.timeline()->item(0, 1)->text(), QStringLiteral("Sent through IndexNow"));
    EXPECT_EQ(window.timeline()->item(1, 1)->text(), QStringLiteral("Fetched by Bing"));
    qunsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace quaymark::ui
