// The Sites window over a site of 500,000 pages and a year of history: each page announced
// through IndexNow every three months, a verified robot's fetch after each announcement, and
// Google's inspections at its daily quota all year. The goal: the window shown, with the sites'
// rows, within 0.5 s; the chosen site's charts are computed off the UI thread.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "app/site_status.h"
#include "storage/history.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"
#include "ui/sites_window.h"

namespace quaymark::bench {
namespace {

using Seconds = std::chrono::duration<double>;

constexpr int kPages = 500000;
constexpr std::int64_t kDay = 24 * 60 * 60;
const std::string kSite = "https://big.example/";

std::string Page(int i) {
    return kSite + "section/" + std::to_string(i % 100) + "/item" + std::to_string(i) + ".html";
}

// The profile, made once in a home of its own.
void MakeProfile(std::int64_t now) {
    std::vector<std::string> list;
    for (int i = 0; i < kPages; ++i) {
        list.push_back(Page(i));
    }
    std::filesystem::create_directories(UrlListPath().parent_path());
    SaveUrlList(UrlListPath(), list, "owner@big.example");
    History::Opened opened = History::Open(HistoryPath(UrlListPath()));
    History& history = *opened.history;
    history.AddSiteLog(kSite, "/var/log/nginx/access.log");
    for (int quarter = 0; quarter < 4; ++quarter) {
        std::vector<HistoryRow> rows;
        std::vector<CrawlVisit> visits;
        for (int i = 0; i < kPages; ++i) {
            const std::int64_t sent = now - (quarter * 91 + i % 91) * kDay - i % 3600;
            rows.push_back({sent, "IndexNow", Page(i), "r", "200", "", true});
            visits.push_back({.site = kSite,
                              .address = Page(i),
                              .engine = i % 2 == 0 ? "Bing" : "Yandex",
                              .time = sent + (i % 40) * 3600,
                              .status = 200,
                              .check = VisitCheck::Verified});
        }
        history.Append(rows);
        history.KeepLogRead({.site = kSite, .path = "/var/log/nginx/access.log"}, visits);
    }
    std::vector<GoogleInspection> inspections;
    for (int day = 0; day < 365; ++day) {
        for (int i = 0; i < 2000; ++i) {
            const int page = (day * 2000 + i) % kPages;
            inspections.push_back({.address = Page(page),
                                   .property = "sc-domain:big.example",
                                   .verdict = page % 5 == 0 ? "NEUTRAL" : "PASS",
                                   .inspectedAt = now - day * kDay});
        }
    }
    history.KeepInspections(inspections);
}

void BM_StatusRows(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(StatusOfSites("", std::time(nullptr)));
    }
}
BENCHMARK(BM_StatusRows)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_StatusWithCharts(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(StatusOfSites(kSite, std::time(nullptr)));
    }
}
BENCHMARK(BM_StatusWithCharts)->Iterations(3)->Unit(benchmark::kMillisecond);

// From the window made to it exposed, to its rows, and to the chosen site's charts.
void BM_SitesWindow(benchmark::State& state) {
    Seconds shown{};
    Seconds rows{};
    Seconds charts{};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ui::SitesWindow window({});
        QSignalSpy answered(&window, &ui::SitesWindow::answered);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) {
            state.SkipWithError("the window was not shown");
            return;
        }
        shown = std::chrono::steady_clock::now() - start;
        answered.wait(60000);
        rows = std::chrono::steady_clock::now() - start;
        answered.wait(60000);
        charts = std::chrono::steady_clock::now() - start;
    }
    state.counters["shown_s"] = shown.count();
    state.counters["rows_s"] = rows.count();
    state.counters["charts_s"] = charts.count();
}
BENCHMARK(BM_SitesWindow)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quaymark::bench

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::string home = (std::filesystem::temp_directory_path() / "quaymark-sites-XXXXXX").string();
    qputenv("XDG_DATA_HOME", ::mkdtemp(home.data()));
    QApplication application(argc, argv);
    const auto start = std::chrono::steady_clock::now();
    quaymark::bench::MakeProfile(std::time(nullptr));
    std::printf("profile made in %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (qgetenv("QUAYMARK_BENCH_KEEP").isEmpty()) {
        std::filesystem::remove_all(home);
    } else {
        std::printf("kept %s\n", home.c_str());
    }
    return 0;
}
