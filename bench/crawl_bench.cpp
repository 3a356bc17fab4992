// Reading a site's access log for the engines' robots, beside grep counting the same file's
// lines: the goal is at least half grep's rate, with memory flat whatever the log's size.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/crawl/robot_check.h"
#include "engine/crawl/robot_visits.h"
#include "tests/support/fake_dns.h"

namespace quaymark::bench {
namespace {

using Seconds = std::chrono::duration<double>;

// A combined log of about so many megabytes, one request in a hundred a robot's.
std::filesystem::path WriteLog(std::int64_t megabytes) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quaymark-bench-XXXXXX").string();
    const std::filesystem::path log =
        std::filesystem::path(::mkdtemp(pattern.data())) / "access.log";
    std::ofstream out(log, std::ios::binary);
    const std::int64_t bytes = megabytes * 1024 * 1024;
    std::int64_t written = 0;
    for (std::int64_t n = 0; written < bytes; ++n) {
        const bool robot = n % 100 == 0;
        std::string line = (robot ? "66.249.66." : "203.0.113.") + std::to_string(n % 250) +
                           " - - [09/Dec/2026:06:25:24 +0000] \"GET /pages/section/item" +
                           std::to_string(n) +
                           ".html HTTP/1.1\" 200 5120 \"https://www.example.org/\" \"" +
                           (robot ? "Mozilla/5.0 (compatible; Googlebot/2.1; "
                                    "+http://www.google.com/bot.html)"
                                  : "Mozilla/5.0 (X11; Linux x86_64; rv:120.0) Gecko/20100101 "
                                    "Firefox/120.0") +
                           "\"\n";
        out << line;
        written += static_cast<std::int64_t>(line.size());
    }
    return log;
}

long MaxRssKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_ReadLogBesideGrep(benchmark::State& state) {
    const std::filesystem::path log = WriteLog(state.range(0));
    const double megabytes = static_cast<double>(std::filesystem::file_size(log)) / (1024 * 1024);
    const long rssBefore = MaxRssKb();
    std::size_t visits = 0;
    Seconds ours{};
    Seconds grep{};
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        visits = ReadRobotVisits(log, {}).visits.size();
        ours = std::chrono::steady_clock::now() - start;
        start = std::chrono::steady_clock::now();
        // Not to /dev/null: GNU grep stops at the first match when nobody reads its output.
        const std::string command =
            "grep -c Googlebot '" + log.string() + "' > '" + log.string() + ".count'";
        benchmark::DoNotOptimize(std::system(command.c_str()));
        grep = std::chrono::steady_clock::now() - start;
    }
    state.counters["visits"] = static_cast<double>(visits);
    state.counters["ours_MB_per_s"] = megabytes / ours.count();
    state.counters["grep_MB_per_s"] = megabytes / grep.count();
    state.counters["rss_growth_kB"] = static_cast<double>(MaxRssKb() - rssBefore);
    std::filesystem::remove_all(log.parent_path());
}
// The goal is set for a log of a gigabyte; 64 MB is a quick look.
BENCHMARK(BM_ReadLogBesideGrep)->Arg(64)->Arg(1024)->Iterations(1)->Unit(benchmark::kMillisecond);

// 10,000 distinct addresses claiming Googlebot against a loopback DNS server: half of them the
// engine's, a quarter pointing elsewhere, a quarter with no reverse name. The goal: within 10
// s, at most 64 lookups in flight (counted by the client, and by the server as the questions
// it found waiting at once).
void BM_VerifyRobots(benchmark::State& state) {
    testing::FakeDns dns;
    std::vector<RobotClaim> claims;
    const RobotKind* google = RobotOf("Google");
    for (int i = 0; i < state.range(0); ++i) {
        const std::string address = "10." + std::to_string(i / 65536) + "." +
                                    std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
        const std::string name = "crawl-" + std::to_string(i) + ".googlebot.com";
        if (i % 4 < 2) {
            dns.Pointer(address, name);
            dns.Forward(name, address);
        } else if (i % 4 == 2) {
            dns.Pointer(address, "host-" + std::to_string(i) + ".example.net");
        }
        claims.push_back({.address = address, .robot = google});
    }
    RobotChecks checks;
    for (auto _ : state) {
        checks = VerifyRobots(claims, {.server = dns.server()});
    }
    std::size_t verified = 0;
    for (const auto& [address, verdict] : checks.verdicts) {
        verified += verdict == RobotVerdict::Verified ? 1 : 0;
    }
    state.counters["verified"] = static_cast<double>(verified);
    state.counters["answered"] = static_cast<double>(checks.verdicts.size());
    state.counters["peak_in_flight"] = static_cast<double>(checks.peakInFlight);
    state.counters["server_peak_waiting"] = static_cast<double>(dns.peakWaiting());
    state.counters["questions"] = static_cast<double>(dns.questions());
}
BENCHMARK(BM_VerifyRobots)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quaymark::bench

BENCHMARK_MAIN();
