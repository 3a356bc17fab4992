// Speed of a whole submission run with the real progress window, and what the waiting UI
// thread costs while a run is under way.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sqlite3.h>
#include <time.h>
#include <optional>

#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "bench/bench_support.h"
#include "engine/classic/classic_channel.h"
#include "engine/run/history_log.h"
#include "engine/run/submit_run.h"
#include "storage/history.h"
#include "ui/history_window.h"
#include "ui/run_starter.h"

namespace quaymark::bench {
namespace {

std::vector<std::string> Addresses(int count) {
    std::vector<std::string> addresses;
    for (int i = 0; i < count; ++i) {
        addresses.push_back("http://site" + std::to_string(i) + ".example/index.html");
    }
    return addresses;
}

std::vector<std::string> RequestUrls(const std::vector<std::string>& addresses,
                                     const std::string& email) {
    std::vector<std::string> urls;
    for (const std::string& address : addresses) {
        for (const EngineRow& row : EngineTable) {
            urls.push_back(BuildRequestUrl(row, address, email));
        }
    }
    return urls;
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// The CPU time the X server has used so far, when the program draws on one (Xvfb): what the
// program's drawing costs beside its own thread. Negative without an X server.
double XServerCpuSeconds() {
    const std::string display = qEnvironmentVariable("DISPLAY").toStdString();
    if (QGuiApplication::platformName() != QStringLiteral("xcb") || display.empty()) {
        return -1;
    }
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        // The X server of this display: its command line names the display.
        std::ifstream cmdline(entry.path() / "cmdline");
        std::string argument;
        bool ours = false;
        bool server = false;
        for (int i = 0; std::getline(cmdline, argument, '\0'); ++i) {
            server =
                server || (i == 0 && (argument.ends_with("Xvfb") || argument.ends_with("Xorg")));
            ours = ours || argument == display;
        }
        if (!server || !ours) {
            continue;
        }
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string field;
        long ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14 || i == 15) {  // utime, stime
                ticks += std::stol(field);
            }
        }
        return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    return -1;
}

void AnswerEverything(LoopbackServer& loopback, std::chrono::milliseconds delay) {
    loopback->Get(R"(/.*)", [delay](const httplib::Request&, httplib::Response& response) {
        if (delay.count() > 0) {
            std::this_thread::sleep_for(delay);  // the engine's own pace
        }
        response.set_content("<html>Thank you for your submission.</html>\r\n", "text/html");
    });
}

void BM_RunRate(benchmark::State& state) {
    LoopbackServer loopback;
    AnswerEverything(loopback, std::chrono::milliseconds(0));
    ui::RunStarter starter({{{":", loopback.port()}}, {}, {}});
    const std::string email = "me@example.com";
    const std::vector<std::string> addresses = Addresses(1000);
    const std::vector<std::string> urls = RequestUrls(addresses, email);
    for (auto _ : state) {
        const auto runStart = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(starter.SubmitList(addresses, email, nullptr));
        const std::chrono::duration<double> run = std::chrono::steady_clock::now() - runStart;
        const auto bareStart = std::chrono::steady_clock::now();
        for (const std::string& url : urls) {
            benchmark::DoNotOptimize(BareCurlGet(url, loopback.port()));
        }
        const std::chrono::duration<double> bare = std::chrono::steady_clock::now() - bareStart;
        state.counters["run_requests_per_s"] = urls.size() / run.count();
        state.counters["bare_curl_per_s"] = urls.size() / bare.count();
        state.counters["ratio"] = bare.count() / run.count();
    }
}
BENCHMARK(BM_RunRate)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same run without a window: what the worker and the fetch cost by themselves.
// 1,000 addresses for the seven engines, all on the loopback server: 7,000 requests.
SubmitJob WorkerJob(std::uint16_t port) {
    SubmitJob job;
    job.items = Addresses(1000);
    job.email = "me@example.com";
    job.routing.connectTo = {{":", port}};
    return job;
}

void BM_WorkerAloneRate(benchmark::State& state) {
    LoopbackServer loopback;
    AnswerEverything(loopback, std::chrono::milliseconds(0));
    QuietRun progress;
    NullPrompt prompt;
    SubmitJob job = WorkerJob(loopback.port());
    for (auto _ : state) {
        SubmitRun run(job, prompt, progress);
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(run.SubmitWorker());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.counters["requests_per_s"] = 7000 / took.count();
    }
}
BENCHMARK(BM_WorkerAloneRate)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same 7,000-request run with every request recorded in the history beside one without,
// in alternating rounds so that neither gains from going second; each side's fastest round
// counts, as the loopback's noise only ever slows a round down.
void BM_WorkerWithHistoryRate(benchmark::State& state) {
    constexpr int kRounds = 5;
    LoopbackServer loopback;
    AnswerEverything(loopback, std::chrono::milliseconds(0));
    QuietRun progress;
    NullPrompt prompt;
    SubmitJob job = WorkerJob(loopback.port());
    std::string dir = (std::filesystem::temp_directory_path() / "quaymark-bench-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) {
        state.SkipWithError("no temporary directory");
        return;
    }
    History::Opened history = History::Open(std::filesystem::path(dir) / "history.sqlite");
    const auto timed = [&](HistoryWriter* writer) {
        std::optional<HistoryStores> stores;
        SubmitJob timedJob = job;
        if (writer != nullptr) {
            stores.emplace(*writer).Attach(timedJob);
        }
        SubmitRun run(std::move(timedJob), prompt, progress);
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(run.SubmitWorker());
        if (writer != nullptr) {
            writer->Flush();
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    };
    for (auto _ : state) {
        std::chrono::duration<double> without{1e9};
        std::chrono::duration<double> with{1e9};
        for (int round = 0; round < kRounds; ++round) {
            without = std::min(without, timed(nullptr));
            HistoryWriter writer(*history.history);
            with = std::min(with, timed(&writer));
            if (const std::string failure = writer.failure(); !failure.empty()) {
                state.SkipWithError(failure.c_str());
            }
        }
        state.counters["without_per_s"] = 7000 / without.count();
        state.counters["with_history_per_s"] = 7000 / with.count();
        state.counters["ratio"] = without.count() / with.count();
    }
    history.history.reset();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WorkerWithHistoryRate)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_UiThreadCpuDuringRun(benchmark::State& state) {
    LoopbackServer loopback;
    AnswerEverything(loopback, std::chrono::milliseconds(20));
    ui::RunStarter starter({{{":", loopback.port()}}, {}, {}});
    const std::vector<std::string> requests = RequestUrls(Addresses(200), "me@example.com");
    std::vector<RunRequest> urls;
    for (std::size_t i = 0; i < 200; ++i) {
        urls.push_back({.channel = std::string(ClassicChannel::kName), .url = requests[i]});
    }
    // One short run first: the program's one-time start costs (fonts, first paint) are not
    // what a long run spends while it waits.
    starter.SubmitList(std::vector<RunRequest>{urls.front()}, nullptr);
    for (auto _ : state) {
        const double cpuStart = ThreadCpuSeconds();
        const double xStart = XServerCpuSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(starter.SubmitList(urls, nullptr));
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
        state.counters["ui_cpu_percent"] = 100.0 * (ThreadCpuSeconds() - cpuStart) / wall.count();
        if (xStart >= 0) {
            state.counters["x_server_cpu_percent"] =
                100.0 * (XServerCpuSeconds() - xStart) / wall.count();
        }
        state.counters["requests"] = static_cast<double>(urls.size());
    }
}
BENCHMARK(BM_UiThreadCpuDuringRun)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
// A year of daily runs: so many rows for 5,000 pages, the seven engines and IndexNow, written
// as runs write them (the summary kept row by row). Timed: what the History window needs
// (the read on the history's thread, then the window built) and what the new-or-changed rule
// reads at the start of a run.
void BM_HistoryWindow(benchmark::State& state) {
    constexpr int kPages = 5000;
    const std::int64_t rows = state.range(0);
    std::string dir = (std::filesystem::temp_directory_path() / "quaymark-bench-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) {
        state.SkipWithError("no temporary directory");
        return;
    }
    const std::filesystem::path path = std::filesystem::path(dir) / "history.sqlite";
    History::Opened history = History::Open(path);
    {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        const std::string fill =
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            std::to_string(rows - 1) +
            ") INSERT INTO requests SELECT 1700000000 + i, CASE i % 8 WHEN 0 THEN 'WebCrawler'"
            " WHEN 1 THEN 'HotBot' WHEN 2 THEN 'Lycos' WHEN 3 THEN 'AltaVista' WHEN 4 THEN 'Go!'"
            " WHEN 5 THEN 'Excite' WHEN 6 THEN 'Google' ELSE 'IndexNow' END,"
            " 'https://www.mine.example/page/' || ((i / 8) % " +
            std::to_string(kPages) +
            "), 'http://engine.example/add?url=x', CASE WHEN i % 97 = 0 THEN 'failed'"
            " ELSE 'accepted' END, CASE WHEN i % 97 = 0 THEN 'failed.' ELSE '' END,"
            " i % 97 <> 0 FROM n";
        if (sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            state.SkipWithError(sqlite3_errmsg(db));
        }
        sqlite3_close(db);
    }
    std::vector<std::string> addresses;
    for (int i = 0; i < kPages; ++i) {
        addresses.push_back("https://www.mine.example/page/" + std::to_string(i));
    }
    HistoryWriter writer(*history.history);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        // As the window asks: the history read and the table made off the UI thread.
        std::promise<HistoryTable> read;
        writer.Read([&](History* past) {
            read.set_value(MakeHistoryTable(
                addresses, {.summaries = past->Summaries("IndexNow"), .sitemaps = {}},
                std::time(nullptr)));
        });
        HistoryTable table = read.get_future().get();
        const auto readDone = std::chrono::steady_clock::now();
        ui::CHistoryDlg window(std::move(table), {});
        const auto shown = std::chrono::steady_clock::now();
        const auto dates = writer.AnnouncedDates("IndexNow");
        const auto datesDone = std::chrono::steady_clock::now();
        state.counters["read_ms"] =
            std::chrono::duration<double, std::milli>(readDone - start).count();
        state.counters["window_ms"] =
            std::chrono::duration<double, std::milli>(shown - start).count();
        state.counters["ui_thread_ms"] =
            std::chrono::duration<double, std::milli>(shown - readDone).count();
        state.counters["new_or_changed_ms"] =
            std::chrono::duration<double, std::milli>(datesDone - shown).count();
        state.counters["rows"] = static_cast<double>(rows);
        benchmark::DoNotOptimize(dates);
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_HistoryWindow)
    ->Arg(3000000)
    ->Arg(15000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace quaymark::bench

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
