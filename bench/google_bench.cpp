// Inspecting 2,000 pages of one property through Google Search Console against a loopback
// Google: the run's own time and requests. Google allows 600 inspections a minute; the
// benchmark's minute lasts 60 ms, so what is measured is the program and not the quota, which
// makes 2,000 inspections take at least three minutes and twenty seconds in life.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench/bench_support.h"
#include "engine/run/history_log.h"
#include "engine/run/submit_run.h"
#include "tests/support/fake_google.h"
#include "tests/support/temp_dir.h"

namespace quaymark::bench {
namespace {

void BM_InspectPages(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    testing::FakeGoogle google;
    google.Properties(R"({"siteEntry":[{"siteUrl":"sc-domain:example.test",)"
                      R"("permissionLevel":"siteOwner"}]})");
    std::vector<std::string> pages;
    for (int n = 0; n < count; ++n) {
        pages.push_back("https://www.example.test/page/" + std::to_string(n));
    }
    testing::TempDir dir;
    History::Opened opened = History::Open(dir.path() / "history.sqlite");
    HistoryWriter writer(*opened.history);
    writer.RememberSitemaps(
        {{.site = "https://www.example.test/", .sitemap = "https://www.example.test/sitemap.xml"}});
    QuietRun quiet;
    NullPrompt prompt;
    RunResult result;
    for (auto _ : state) {
        HistoryStores stores(writer);
        SubmitJob job{
            .items = pages,
            .errorPageDir = dir.path(),
            .classic = false,
            .indexNow = {.settings = {.checkPages = false}},
            .google = {.key = google.Key(), .retry = {.second = std::chrono::milliseconds(1)}},
            .retry = {},
            .routing = google.Routing()};
        stores.Attach(job);
        SubmitRun run(std::move(job), prompt, quiet);
        result = run.SubmitWorker();
        writer.Flush();
    }
    state.counters["inspected"] = static_cast<double>(google.inspected().size());
    state.counters["token_requests"] = google.tokens();
    state.counters["sitemaps_submitted"] = static_cast<double>(google.submitted().size());
    state.counters["failures"] = static_cast<double>(result.FailureList.size());
}
BENCHMARK(BM_InspectPages)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quaymark::bench

BENCHMARK_MAIN();
