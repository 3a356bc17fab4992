// Takes the README's screenshots from the real windows: the main window with a list, the
// failures window after a run against a loopback server whose engines refuse some pages, the
// Channels window after a key check, the import's windows and the run's history.
// Run it under Xvfb through scripts/screenshots.
#include <curl/curl.h>
#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <ctime>

#include "engine/indexnow/indexnow.h"
#include "storage/history.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"
#include "tests/support/fake_engine_server.h"
#include "tests/support/tls_server.h"
#include "ui/channels_window.h"
#include "ui/history_window.h"
#include "ui/import_windows.h"
#include "ui/info_windows.h"
#include "ui/main_window.h"
#include "ui/results_windows.h"
#include "ui/run_starter.h"
#include "ui/sites_window.h"

namespace {

using quaymark::testing::EngineRequest;

void Save(QWidget* window, const QString& path) {
    if (!QTest::qWaitForWindowExposed(window)) {
        qWarning("window %s never showed", qPrintable(window->windowTitle()));
    }
    QTest::qWait(300);  // let the window manager-less X server finish drawing
    window->screen()->grabWindow(window->winId()).save(path);
}

std::string EnginePage(const EngineRequest& request) {
    if (request.host == "www.hotbot.com") {
        return quaymark::testing::FailedPage("Sorry, we could not connect to your site.");
    }
    if (request.host == "www.lycos.com" && request.target.find("garden") != std::string::npos) {
        return quaymark::testing::FailedPage("This URL was already submitted today.");
    }
    return quaymark::testing::AcceptedPage();
}

// The Sites window over 90 days of a site of 400 pages: announced through IndexNow and Google,
// fetched by the verified robots some hours later, a few false robots, and Google's index
// growing; the robots' chart shown, and a page's timeline.
void SitesShot(const QString& out, const QString& home) {
    qputenv("XDG_DATA_HOME", home.toLocal8Bit());
    const std::string site = "https://www.example.com/";
    std::vector<std::string> pages;
    for (int i = 0; i < 400; ++i) {
        pages.push_back(site + "garden/plant-" + std::to_string(i) + ".html");
    }
    std::filesystem::create_directories(quaymark::UrlListPath().parent_path());
    quaymark::SaveUrlList(quaymark::UrlListPath(), pages, "me@example.com");
    quaymark::History::Opened opened =
        quaymark::History::Open(quaymark::HistoryPath(quaymark::UrlListPath()));
    quaymark::History& history = *opened.history;
    const std::string log = "/var/log/nginx/access.log";
    history.AddSiteLog(site, log);
    const std::int64_t now = std::time(nullptr);
    const std::int64_t day = 86400;
    const char* engines[] = {"Bing", "Yandex", "Seznam", "Google"};
    for (int d = 89; d >= 0; --d) {
        std::vector<quaymark::HistoryRow> rows;
        std::vector<quaymark::CrawlVisit> visits;
        std::vector<quaymark::GoogleInspection> inspections;
        const int count = 3 + (d * 7) % 9;
        for (int k = 0; k < count; ++k) {
            const std::string& page = pages[static_cast<std::size_t>((d * 13 + k * 31) % 400)];
            const std::int64_t sent = now - d * day - 6 * 3600 + k * 60;
            const bool refused = (d + k) % 17 == 0;
            rows.push_back({sent, "IndexNow", page, "r", refused ? "429" : "200", "", !refused});
            for (int e = 0; e < 4; ++e) {
                if ((d + k + e) % 3 != 0 && sent + (e + 1) * 5 * 3600 < now) {
                    visits.push_back({.site = site,
                                      .address = page,
                                      .engine = engines[e],
                                      .time = sent + (e + 1) * 5 * 3600 + k * 600,
                                      .status = 200,
                                      .check = quaymark::VisitCheck::Verified});
                }
            }
            if (k % 4 == 0) {
                visits.push_back({.site = site,
                                  .address = page,
                                  .engine = "Google",
                                  .time = sent + 3600,
                                  .status = 200,
                                  .check = quaymark::VisitCheck::False});
            }
            inspections.push_back({.address = page,
                                   .property = "sc-domain:example.com",
                                   .verdict = (d + k) % 5 == 0 ? "NEUTRAL" : "PASS",
                                   .coverage = (d + k) % 5 == 0 ? "Crawled - currently not indexed"
                                                                : "Submitted and indexed",
                                   .inspectedAt = sent + 2 * 3600});
        }
        history.Append(rows);
        history.KeepLogRead({.site = site, .path = log}, visits);
        history.KeepInspections(inspections);
    }
    quaymark::ui::SitesWindow window({});
    QSignalSpy answered(&window, &quaymark::ui::SitesWindow::answered);
    window.show();
    answered.wait(10000);
    answered.wait(10000);
    window.ShowTimeline(QString::fromStdString(pages[13]));
    answered.wait(10000);
    window.findChild<QTabWidget*>()->setCurrentIndex(1);
    Save(&window, out + "/sites-window.png");
}

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    QApplication application(argc, argv);
    const QString out =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs")).absolutePath();
    QTemporaryDir data;
    QDir::setCurrent(data.path());
    // The error pages and the settings stay in here.
    qputenv("XDG_CACHE_HOME", data.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", data.path().toLocal8Bit());
    const std::filesystem::path listFile = data.filePath("quaysites.dat").toStdString();
    quaymark::SaveUrlList(listFile,
                          {"http://www.example.com/", "http://www.example.com/garden/roses.html",
                           "http://shop.example.com/index.html"},
                          "me@example.com");
    quaymark::testing::FakeEngineServer engines;
    engines.SetPages(EnginePage);
    quaymark::ui::CSubmitDlg window(listFile, {engines.Routes(), {}, {}});
    window.show();
    window.splash()->hide();
    auto* list = window.controls().Get<QListView>("list");
    list->setCurrentIndex(list->model()->index(1, 0));
    Save(&window, out + "/main-window.png");

    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* failed = qobject_cast<quaymark::ui::CFailedDlg*>(QApplication::activeModalWidget());
        if (failed == nullptr) {
            return;
        }
        watcher.stop();
        failed->controls().Get<QListWidget>("list")->setCurrentRow(2);
        Save(failed, out + "/failures-window.png");
        failed->OnOK();
    });
    watcher.start(50);
    window.OnOK();

    // The Channels window after Check, against sites of a TLS server of the tour's own.
    const std::string key = "5f2b8c1e9a7d4036b1e2c3d4a5f60718";
    quaymark::testing::TlsServer sites;
    sites->Get(R"(/.*)", [&](const httplib::Request& request, httplib::Response& response) {
        if (request.get_header_value("Host").rfind("mysite.", 0) == 0) {
            response.set_content(key, "text/plain");
        } else {
            response.status = 404;
        }
    });
    quaymark::RunRouting routing{{{"mysite.example.test:443", sites.port()},
                                  {"shop.example.test:443", sites.port()},
                                  {"shop.example.test:80", 1}},
                                 {},
                                 quaymark::testing::TlsServer::CaFile()};
    quaymark::ui::CChannelsDlg channels(
        {.key = key,
         .endpoint = std::string(quaymark::kIndexNowEndpoints[1]),
         .enabled = true,
         .google = true},
        true,
        {"https://mysite.example.test/", "https://mysite.example.test/garden.html",
         "https://shop.example.test/"},
        routing);
    channels.ShowGoogleKey("announcer@my-site-4711.iam.gserviceaccount.com");
    channels.show();
    channels.OnCheck();
    Save(&channels, out + "/channels-window.png");
    channels.reject();

    // The import's two windows as a site owner sees them.
    quaymark::ui::CImportDlg import;
    import.controls().Get<QLineEdit>("address")->setText("https://www.example.com/");
    import.show();
    Save(&import, out + "/import-window.png");
    import.reject();
    quaymark::ui::CImportProgressDlg importing(nullptr);
    importing.SitemapStarted("https://www.example.com/sitemaps/articles-2026.xml.gz");
    importing.AddressesFound(12840);
    importing.show();
    Save(&importing, out + "/importing-window.png");
    importing.hide();

    // The history of the run above, with the sitemap an import of the site read.
    window.history().Writer()->Flush();
    quaymark::History::Opened past = quaymark::History::Open(quaymark::HistoryPath(listFile));
    const std::int64_t now = std::time(nullptr);
    past.history->RememberSitemaps({{.site = "http://www.example.com/",
                                     .sitemap = "http://www.example.com/sitemap.xml",
                                     .readAt = now - 3600}});
    past.history->RecordAnnouncerRun(
        {.time = now - 5 * 3600,
         .scheduled = true,
         .announced = 12,
         .leftOut = 2388,
         .result = "Announced 12 pages (3 new, 8 changed, 1 removed), 2388 left out as not "
                   "changed."});
    // What the checks and Google said of the first pages of the list.
    const std::vector<std::string> entries = window.Entries();
    const std::vector<std::pair<std::string, std::string>> verdicts{
        {"indexable", "PASS"}, {"noindex", ""}, {"indexable", "NEUTRAL"}};
    std::vector<quaymark::PageCheckRecord> checks;
    std::vector<quaymark::GoogleInspection> inspections;
    for (std::size_t i = 0; i < std::min(entries.size(), verdicts.size()); ++i) {
        checks.push_back({.address = entries[i],
                          .verdict = verdicts[i].first,
                          .textChangedAt = now - static_cast<std::int64_t>(i + 1) * 86400,
                          .checkedAt = now - 3600});
        if (!verdicts[i].second.empty()) {
            inspections.push_back(
                {.address = entries[i],
                 .property = "sc-domain:example.com",
                 .verdict = verdicts[i].second,
                 .coverage = verdicts[i].second == "PASS" ? "Submitted and indexed"
                                                          : "Discovered - currently not indexed",
                 .lastCrawl = verdicts[i].second == "PASS" ? "2026-12-07T06:12:00Z" : "",
                 .inspectedAt = now - 3600});
        }
    }
    past.history->KeepPageChecks(checks);
    past.history->KeepInspections(inspections);
    quaymark::ui::CHistoryDlg history(
        window.Entries(),
        {.summaries = past.history->Summaries(std::string(quaymark::kIndexNowName)),
         .sitemaps = past.history->Sitemaps(),
         .removed = past.history->RemovedPages(),
         .announcerRuns = past.history->AnnouncerRuns(10),
         .checks = past.history->PageChecks(),
         .inspections = past.history->Inspections()},
        now);
    history.show();
    // The table's far end, where the checks and Google's columns are.
    auto* table = history.controls().Get<QTableView>("table");
    table->scrollTo(table->model()->index(0, table->model()->columnCount() - 1));
    Save(&history, out + "/history-window.png");
    history.accept();
    window.OnCancel();
    SitesShot(out, data.path() + QStringLiteral("/sites"));
    return 0;
}
