// Announce Changes over a site of 50,000 pages in ten sitemaps, 500 of its pages changed in one
// of them: the requests it makes and its wall time; and the announcer's start-to-exit time
// when nothing changed, for sites of 100, 50,000 and 500,000 pages.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>

#include "bench/bench_support.h"
#include "engine/run/announce_changes.h"
#include "engine/run/history_log.h"
#include "storage/history.h"
#include "storage/indexnow_settings.h"

extern char** environ;

namespace quaymark::bench {
namespace {

constexpr int kSitemaps = 10;
constexpr int kChanged = 500;
constexpr const char* kKey = "0123456789abcdef0123456789abcdef";

// Ten sitemaps answering a request that carries their ETag with 304, and an IndexNow endpoint;
// both counted.
class Site {
public:
    explicit Site(int pagesPerSitemap = 5000) : pagesPerSitemap_(pagesPerSitemap) {
        server_->Get(R"(/sitemap-(\d+)\.xml)", [this](const httplib::Request& request,
                                                      httplib::Response& response) {
            const std::lock_guard lock(mutex_);
            const std::string& body = bodies_[std::stoi(request.matches[1])];
            const std::string etag = "\"" + std::to_string(std::hash<std::string>{}(body)) + "\"";
            response.set_header("ETag", etag);
            ++gets;
            if (request.get_header_value("If-None-Match") == etag) {
                response.status = 304;
                ++notModified;
            } else {
                response.set_content(body, "application/xml");
            }
        });
        server_->Post("/indexnow", [this](const httplib::Request&, httplib::Response&) {
            const std::lock_guard lock(mutex_);
            ++posts;
        });
    }

    std::string Root() const { return "http://127.0.0.1:" + std::to_string(server_.port()) + "/"; }
    std::string Sitemap(int n) const { return Root() + "sitemap-" + std::to_string(n) + ".xml"; }
    std::string Page(int n) const { return Root() + "page/" + std::to_string(n); }

    // Every page last changed on New Year's Day, but for the first so many of one sitemap.
    void Publish(int changed, std::time_t changedAt) {
        char when[32];
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&changedAt));
        const std::lock_guard lock(mutex_);
        for (int s = 0; s < kSitemaps; ++s) {
            std::string& body = bodies_[s];
            body = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
            for (int i = 0; i < pagesPerSitemap_; ++i) {
                const bool isChanged = s == 3 && i < changed;
                body += "<url><loc>" + Page(s * pagesPerSitemap_ + i) + "</loc><lastmod>" +
                        (isChanged ? std::string(when) : "2026-01-01") + "</lastmod></url>";
            }
            body += "</urlset>";
        }
    }
    void ResetCounts() {
        const std::lock_guard lock(mutex_);
        gets = notModified = posts = 0;
    }
    RunRouting Routing() const { return {.connectTo = {}, .limits = {}, .caFile = {}}; }

    int gets = 0;
    int notModified = 0;
    int posts = 0;
    int pages() const { return kSitemaps * pagesPerSitemap_; }

private:
    int pagesPerSitemap_;
    LoopbackServer server_;
    std::mutex mutex_;
    std::string bodies_[kSitemaps];
};

IndexNowSettings Settings(const Site& site) {
    // The pages' checks are measured by the check benchmark: here the sitemaps' side alone.
    return {
        .key = kKey, .endpoint = site.Root() + "indexnow", .enabled = true, .checkPages = false};
}

// A history in which every page was announced yesterday and each sitemap read with the ETag
// it answers now.
void KeepHistory(const std::filesystem::path& file, Site& site) {
    std::filesystem::remove(file);
    History::Opened opened = History::Open(file);
    HistoryWriter writer(*opened.history);
    QuietRun quiet;
    const std::time_t yesterday = std::time(nullptr) - 86400;
    for (int n = 0; n < site.pages(); ++n) {
        writer.Record({.time = yesterday,
                       .channel = "IndexNow",
                       .address = site.Page(n),
                       .request = "r",
                       .verdict = "200",
                       .reason = "",
                       .accepted = true});
    }
    std::vector<RememberedSitemap> sitemaps;
    for (int s = 0; s < kSitemaps; ++s) {
        sitemaps.push_back({.site = site.Root(), .sitemap = site.Sitemap(s)});
    }
    writer.RememberSitemaps(sitemaps);
    writer.Flush();
    // The first Announce Changes reads every sitemap whole and keeps its pages and ETag.
    HistoryStores stores(writer);
    AnnounceChanges({.settings = Settings(site), .routing = site.Routing()}, stores, quiet).Run();
    writer.Flush();
}

void BM_AnnounceChanges(benchmark::State& state) {
    Site site;
    site.Publish(0, 0);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "quaymark-bench";
    std::filesystem::create_directories(dir);
    KeepHistory(dir / "template.sqlite", site);
    site.Publish(kChanged, std::time(nullptr) - 3600);
    QuietRun quiet;
    std::size_t announced = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::copy_file(dir / "template.sqlite", dir / "run.sqlite",
                                   std::filesystem::copy_options::overwrite_existing);
        History::Opened opened = History::Open(dir / "run.sqlite");
        HistoryWriter writer(*opened.history);
        HistoryStores stores(writer);
        site.ResetCounts();
        state.ResumeTiming();
        const AnnounceOutcome outcome =
            AnnounceChanges({.settings = Settings(site), .routing = site.Routing()}, stores, quiet)
                .Run();
        writer.Flush();
        state.PauseTiming();
        announced = outcome.announced();
        state.ResumeTiming();
    }
    state.counters["sitemap_requests"] = site.gets;
    state.counters["not_modified"] = site.notModified;
    state.counters["batches"] = site.posts;
    state.counters["announced"] = static_cast<double>(announced);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_AnnounceChanges)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The real announcer, from start to exit, over a site of so many pages with nothing changed.
void BM_AnnouncerNothingToAnnounce(benchmark::State& state) {
    Site site(static_cast<int>(state.range(0)) / kSitemaps);
    site.Publish(0, 0);
    const std::filesystem::path home = std::filesystem::temp_directory_path() / "quaymark-home";
    std::filesystem::remove_all(home);
    KeepHistory(home / "data" / "quaymark" / "history.sqlite", site);
    SaveIndexNowSettings(home / "config" / "quaymark" / "indexnow.conf", Settings(site));
    const std::string data = "XDG_DATA_HOME=" + (home / "data").string();
    const std::string config = "XDG_CONFIG_HOME=" + (home / "config").string();
    const std::string cache = "XDG_CACHE_HOME=" + (home / "cache").string();
    char* const environment[] = {const_cast<char*>(data.c_str()), const_cast<char*>(config.c_str()),
                                 const_cast<char*>(cache.c_str()), nullptr};
    char* const arguments[] = {const_cast<char*>(QUAYMARK_ANNOUNCER), const_cast<char*>("--quiet"),
                               nullptr};
    int status = -1;
    for (auto _ : state) {
        pid_t pid = 0;
        if (::posix_spawn(&pid, QUAYMARK_ANNOUNCER, nullptr, nullptr, arguments, environment) !=
            0) {
            state.SkipWithError("the announcer could not be started");
            break;
        }
        ::waitpid(pid, &status, 0);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        state.SkipWithError("the announcer did not end with status 0");
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_AnnouncerNothingToAnnounce)
    ->Arg(100)
    ->Arg(50000)
    ->Arg(500000)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace quaymark::bench

BENCHMARK_MAIN();
