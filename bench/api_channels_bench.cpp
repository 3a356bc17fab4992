// 10,000 pages through each engine's own channel against a loopback stand-in of its API over
// verified TLS, with the requests each took counted: batches where the API takes them, one a page
// where it does not.
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>

#include "bench/bench_support.h"
#include "engine/run/channel_kinds.h"
#include "engine/run/submit_run.h"
#include "tests/support/tls_server.h"

namespace quaymark::bench {
namespace {

void BM_TenThousandPages(benchmark::State& state, const char* section) {
    testing::TlsServer server;
    std::atomic<int> requests{0};
    const auto answer = [&](const char* body, int status = 200) {
        return [&, body, status](const httplib::Request&, httplib::Response& response) {
            ++requests;
            response.status = status;
            response.set_content(body, "application/json");
        };
    };
    server->Get("/webmaster/api.svc/json/GetUrlSubmissionQuota",
                answer(R"({"d":{"DailyQuota":100000,"MonthlyQuota":100000}})"));
    server->Post("/webmaster/api.svc/json/SubmitUrlBatch", answer(R"({"d":null})"));
    server->Get("/webmaster/api.svc/json/GetCrawlStats", answer(R"({"d":[]})"));
    server->Get("/v4/user", answer(R"({"user_id":42})"));
    server->Get("/v4/user/42/hosts",
                answer(R"({"hosts":[{"host_id":"https:www.example.test:443",)"
                       R"("ascii_host_url":"https://www.example.test/","verified":true}]})"));
    server->Get(R"(/v4/user/42/hosts/[^/]+/recrawl/quota)",
                answer(R"({"daily_quota":100000,"quota_remainder":100000})"));
    server->Post(R"(/v4/user/42/hosts/[^/]+/recrawl/queue)", answer(R"({"task_id":"t"})", 202));
    server->Get(R"(/v4/user/42/hosts/[^/]+/recrawl/queue)", answer(R"({"tasks":[],"count":0})"));
    server->Post("/urls", answer(R"({"success":2000,"remain":100000})"));
    RunRouting routing{.connectTo = {}, .limits = {}, .caFile = testing::TlsServer::CaFile()};
    for (const char* host :
         {"ssl.bing.com:443", "api.webmaster.yandex.net:443", "data.zz.baidu.com:443"}) {
        routing.connectTo[host] = server.port();
    }
    std::vector<std::string> pages;
    for (int i = 0; i < 10000; ++i) {
        pages.push_back("https://www.example.test/page/" + std::to_string(i));
    }
    QuietRun quiet;
    NullPrompt prompt;
    bool failed = false;
    for (auto _ : state) {
        requests = 0;
        SubmitJob job{
            .items = pages,
            .errorPageDir = "/nonexistent",
            .classic = false,
            .indexNow = {.settings = {.checkPages = false}},
            .apis = {{section, {.settings = {.enabled = true}, .credential = "secret-1"}}},
            .routing = routing};
        SubmitRun run(std::move(job), prompt, quiet);
        failed = run.SubmitWorker().failed || failed;
    }
    state.counters["requests"] = requests.load();
    state.counters["failed"] = failed ? 1 : 0;
}

BENCHMARK_CAPTURE(BM_TenThousandPages, bing, "bing")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_TenThousandPages, yandex, "yandex")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_TenThousandPages, baidu, "baidu")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace quaymark::bench

BENCHMARK_MAIN();
