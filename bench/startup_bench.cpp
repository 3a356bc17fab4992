// From process start to the main window shown, with a long URL list, on the offscreen
// platform: the benchmark starts itself as a child that opens the real main window and
// reports the moment it is exposed, with its peak RSS.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "storage/url_list_file.h"
#include "ui/info_windows.h"
#include "ui/main_window.h"

extern char** environ;

namespace quaymark::bench {
namespace {

int ChildMain(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ui::CSubmitDlg window(argv[2]);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("shown %ld\n", usage.ru_maxrss);
    std::fflush(stdout);
    return 0;
}

void BM_StartupToMainWindow(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::filesystem::path list = std::filesystem::temp_directory_path() /
                                       ("quaymark-startup-" + std::to_string(count) + ".dat");
    std::vector<std::string> entries;
    for (int i = 0; i < count; ++i) {
        std::string address = "http://www.example.com/pages/item" + std::to_string(i) + ".html";
        address.resize(60, 'x');
        entries.push_back(address);
    }
    SaveUrlList(list, entries, "me@example.com");
    for (auto _ : state) {
        int out[2];
        if (pipe(out) != 0) {
            state.SkipWithError("no pipe");
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string self = "/proc/self/exe";
        std::string flag = "--child";
        std::string path = list.string();
        char* args[] = {self.data(), flag.data(), path.data(), nullptr};
        const auto start = std::chrono::steady_clock::now();
        pid_t child = 0;
        posix_spawn(&child, "/proc/self/exe", &actions, nullptr, args, environ);
        close(out[1]);
        char line[64] = {};
        const ssize_t got = read(out[0], line, sizeof line - 1);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        close(out[0]);
        waitpid(child, nullptr, 0);
        posix_spawn_file_actions_destroy(&actions);
        long rssKib = 0;
        if (got <= 0 || std::sscanf(line, "shown %ld", &rssKib) != 1) {
            state.SkipWithError("the child did not show its window");
            return;
        }
        state.counters["shown_ms"] = took.count();
        state.counters["peak_rss_MiB"] = rssKib / 1024.0;
    }
    std::filesystem::remove(list);
}
BENCHMARK(BM_StartupToMainWindow)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quaymark::bench

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--child") {
        return quaymark::bench::ChildMain(argc, argv);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
