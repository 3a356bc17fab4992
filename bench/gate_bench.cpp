// The gate over a big run: 100,000 pages on 200 hosts, every fourth host kept back by a
// pattern, the DNS answered at once (a stand-in), in pages a second: what the gate itself
// costs beside the one lookup each host takes.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/check/host_gate.h"

namespace quaymark::bench {
namespace {

HostAnswers PublicAnswer(const std::vector<std::string>& hosts, const RunRouting&) {
    HostAnswers answers;
    for (const std::string& host : hosts) {
        answers[host] = {"93.184.215.14"};
    }
    return answers;
}

void BM_GatePages(benchmark::State& state) {
    std::vector<std::string> pages;
    for (int i = 0; i < 100000; ++i) {
        const int host = i % 200;
        pages.push_back("https://" + std::string(host % 4 == 0 ? "staging" : "www") + ".site" +
                        std::to_string(host) + ".com/section/page-" + std::to_string(i));
    }
    const GateRules rules{.letThrough = {"*.example.test"},
                          .notAnnounced = {"staging.*", "*.netlify.app"}};
    std::size_t passed = 0;
    for (auto _ : state) {
        const GateOutcome gated = GatePages(pages, rules, {}, PublicAnswer);
        passed = gated.passed.size();
        benchmark::DoNotOptimize(passed);
    }
    state.counters["pages/s"] = benchmark::Counter(
        static_cast<double>(pages.size()) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
    state.counters["passed"] = static_cast<double>(passed);
}
BENCHMARK(BM_GatePages)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quaymark::bench

BENCHMARK_MAIN();
