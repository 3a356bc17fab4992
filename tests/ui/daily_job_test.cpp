#include "ui/daily_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "storage/daily_timer.h"
#include "storage/history.h"
#include "storage/indexnow_settings.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"
#include "tests/support/announce_site.h"
#include "tests/ui/desktop_recorder.h"
#include "tests/ui/modal_driver.h"
#include "tests/ui/scoped_page_dir.h"
#include "ui/info_windows.h"
#include "ui/main_window.h"
#include "ui/results_windows.h"

namespace quaymark::ui {
namespace {

using quaymark::testing::AnnounceSite;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The tick writes and enables the timer through the user's manager and unticking takes it
// away; where no manager runs, the crontab line is shown and nothing is left behind.
TEST(DailyJob, TimerSetUpAndTakenDownOrTheCrontabLineShown) {
    testing::DesktopRecorder desktop;
    desktop.userManager = {.ran = true, .exitStatus = 0};
    ASSERT_FALSE(DailyJobOn());
    EXPECT_TRUE(SetDailyJob(nullptr, true));
    EXPECT_TRUE(DailyJobOn());
    EXPECT_THAT(desktop.userManagerCalls,
                ElementsAre("daemon-reload", "enable --now quaymark-announce.timer"));
    std::string service;
    ASSERT_TRUE(ReadRegularFile(UserUnitDirectory() / kTimerServiceName, service));
    EXPECT_EQ(service, TimerServiceUnit(AnnouncerPath()));
    EXPECT_TRUE(std::filesystem::exists(AnnouncerPath()));

    EXPECT_TRUE(SetDailyJob(nullptr, false));
    EXPECT_FALSE(DailyJobOn());
    EXPECT_FALSE(std::filesystem::exists(UserUnitDirectory() / kTimerServiceName));
    EXPECT_THAT(desktop.messages, IsEmpty());

    desktop.userManager = {.ran = false, .output = "Failed to connect to bus"};
    EXPECT_FALSE(SetDailyJob(nullptr, true));
    EXPECT_FALSE(DailyJobOn());
    EXPECT_FALSE(std::filesystem::exists(UserUnitDirectory() / kTimerServiceName));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.contains("Failed to connect to bus"));
    EXPECT_TRUE(
        desktop.messages[0].text.contains(QString::fromStdString(CrontabLine(AnnouncerPath()))));
}

// Announce Changes from the window: the sitemap's pages join the list, the new ones are
// announced, the results window follows, and a failed daily run is told at the next start.
TEST(DailyJob, AnnounceChangesFromTheWindowAndAFailedDailyRunToldOnce) {
    quaymark::testing::ScopedPageDir dir;
    const std::filesystem::path listFile = dir.path() / "data" / "quaysites.dat";
    AnnounceSite site;
    site.Serve("/sitemap.xml", quaymark::testing::Urlset(
                                   {"http://www.example.test/a", "http://www.example.test/b"}));
    ASSERT_TRUE(SaveUrlList(listFile, {"http://www.example.test/a"}, ""));
    ASSERT_TRUE(SaveIndexNowSettings(IndexNowSettingsPath(), {.key = "announce-key",
                                                              .endpoint = AnnounceSite::kEndpoint,
                                                              .enabled = true,
                                                              .checkPages = false,
                                                              .letThrough = {"*"}}));
    {
        History::Opened opened = History::Open(HistoryPath(listFile));
        ASSERT_TRUE(opened.history
                        ->RememberSitemaps({{.site = AnnounceSite::kSite,
                                             .sitemap = "http://www.example.test/sitemap.xml"}})
                        .empty());
        ASSERT_TRUE(opened.history
                        ->RecordAnnouncerRun(
                            {.time = 1, .scheduled = true, .exitStatus = 2, .result = "no key"})
                        .empty());
    }
    testing::DesktopRecorder desktop;
    testing::ModalDriver driver;
    driver.Then<CDoneDlg>([](CDoneDlg* done) { QTimer::singleShot(0, done, &QDialog::accept); });
    {
        CSubmitDlg window(listFile, site.Routing());
        window.show();
        window.splash()->hide();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !desktop.messages.empty(); }));
        EXPECT_TRUE(desktop.messages[0].text.contains("did not go well: no key"));
        window.controls().Get<QPushButton>("announce")->click();
        EXPECT_TRUE(driver.done());
        EXPECT_THAT(window.Entries(),
                    ElementsAre("http://www.example.test/a", "http://www.example.test/b"));
        ASSERT_EQ(desktop.messages.size(), 2u);
        EXPECT_TRUE(desktop.messages[1].text.startsWith(
            "Announced 2 pages (2 new, 0 changed, 0 removed), 0 left out as not changed.\n"
            "1 page new in the sitemaps: added at the end of the list."));
        EXPECT_EQ(site.Posted().size(), 1u);
        window.RequestQuit();
    }
    History::Opened opened = History::Open(HistoryPath(listFile));
    EXPECT_FALSE(opened.history->TakeUntoldFailure()) << "told once";
    std::filesystem::remove(IndexNowSettingsPath());
}

}  // namespace
}  // namespace quaymark::ui
