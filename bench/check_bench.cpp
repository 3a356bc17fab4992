// Checking pages of about 30 KB on a loopback server, beside ab -k -c 16 fetching the
// same server in the same run: with every page unchanged (all 304s) and with every page new
// (full bodies read and parsed), in pages a second, MB/s of HTML and the ratio to ab's rate,
// with the peak RSS above what the process held before.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/check/page_checker.h"

namespace quaymark::bench {
namespace {

std::string PageBody(int n) {
    std::string body = "<!doctype html><html><head><title>Page " + std::to_string(n) +
                       "</title><meta name=description content=test></head><body><nav>Home | "
                       "Garden | Shop</nav><main><h1>Page " +
                       std::to_string(n) + "</h1>";
    while (body.size() < 30000) {
        body += "<p>Roses want sun, water and a little patience; prune them in March.</p>\n";
    }
    return body + "</main><footer>(c) 2026</footer></body></html>";
}

class PageSite {
public:
    PageSite() {
        server_->set_keep_alive_max_count(1000000);
        server_->set_tcp_nodelay(true);
        server_->Get(R"(/page/(\d+))",
                     [](const httplib::Request& request, httplib::Response& response) {
                         const std::string etag = "\"v" + std::string(request.matches[1]) + "\"";
                         response.set_header("ETag", etag);
                         if (request.get_header_value("If-None-Match") == etag) {
                             response.status = 304;
                             return;
                         }
                         response.set_content(PageBody(std::stoi(request.matches[1])), "text/html");
                     });
    }
    std::string Page(int n) const {
        return "http://127.0.0.1:" + std::to_string(server_.port()) + "/page/" + std::to_string(n);
    }

private:
    LoopbackServer server_;
};

// ab's requests a second against the page, keep-alive, 16 at once.
double AbRate(const std::string& url, int requests, bool conditional) {
    const std::string command = "ab -q -k -c 16 -n " + std::to_string(requests) +
                                (conditional ? " -H 'If-None-Match: \"v1\"' " : " ") + url +
                                " 2>/dev/null";
    double rate = 0;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
            std::sscanf(line, "Requests per second: %lf", &rate);
        }
        ::pclose(pipe);
    }
    return rate;
}

void Check(benchmark::State& state, bool unchanged) {
    const int count = static_cast<int>(state.range(0));
    PageSite site;
    std::vector<PageCheckRequest> pages;
    for (int n = 0; n < count; ++n) {
        pages.push_back(
            {.address = site.Page(n), .etag = unchanged ? "\"v" + std::to_string(n) + "\"" : ""});
    }
    const std::size_t before = PeakRssBytes();
    PageChecker checker({});
    std::size_t bytes = 0;
    std::size_t judged = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (const PageCheck& check : checker.Check(pages)) {
            judged +=
                check.verdict == (unchanged ? PageVerdict::NotModified : PageVerdict::Indexable);
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    bytes = unchanged ? 0 : static_cast<std::size_t>(count) * PageBody(1).size();
    const double rate = count / took.count();
    const double ab = AbRate(site.Page(1), count, unchanged);
    state.counters["pages_per_s"] = rate;
    state.counters["MB_per_s"] = static_cast<double>(bytes) / took.count() / 1e6;
    state.counters["ab_per_s"] = ab;
    state.counters["vs_ab"] = ab > 0 ? rate / ab : 0;
    state.counters["judged"] = static_cast<double>(judged);
    state.counters["rss_above_idle_MiB"] = static_cast<double>(PeakRssBytes() - before) / (1 << 20);
}

void BM_CheckUnchanged(benchmark::State& state) {
    Check(state, true);
}
void BM_CheckNew(benchmark::State& state) {
    Check(state, false);
}
BENCHMARK(BM_CheckUnchanged)
    ->Arg(50000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// The loopback server answers full pages slowly for ab and the check alike: fewer pages.
BENCHMARK(BM_CheckNew)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quaymark::bench

BENCHMARK_MAIN();
