// Loading and saving a long URL list beside reading and writing the same bytes in one call.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "storage/url_list_file.h"

namespace quaymark::bench {
namespace {

using Seconds = std::chrono::duration<double>;

std::vector<std::string> SixtyByteAddresses(int count) {
    std::vector<std::string> list;
    list.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        std::string address =
            "http://www.example.com/pages/section/item" + std::to_string(i) + ".html";
        address.resize(60, 'x');
        list.push_back(std::move(address));
    }
    return list;
}

std::filesystem::path ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quaymark-bench-XXXXXX").string();
    return mkdtemp(pattern.data());
}

template <typename Fn>
Seconds TimeOf(Fn&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::steady_clock::now() - start;
}

void BM_LoadAndSave100k(benchmark::State& state) {
    const std::vector<std::string> list = SixtyByteAddresses(100000);
    const std::string email = "me@example.com";
    const std::filesystem::path dir = ScratchDir();
    const std::filesystem::path file = dir / "quaysites.dat";
    const std::filesystem::path plain = dir / "plain.dat";
    const std::string bytes = FormatUrlList(list, email);
    for (auto _ : state) {
        const Seconds save = TimeOf([&] { SaveUrlList(file, list, email); });
        const Seconds plainWrite = TimeOf([&] {
            const int fd = ::open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            benchmark::DoNotOptimize(::write(fd, bytes.data(), bytes.size()));
            ::close(fd);
        });
        std::vector<std::string> loaded;
        std::string loadedEmail;
        const Seconds load = TimeOf([&] { LoadUrlList(file, loaded, loadedEmail); });
        // A plain read into a buffer of its own, as a program reading the file would need.
        const Seconds plainRead = TimeOf([&] {
            std::string readBack(bytes.size(), '\0');
            const int fd = ::open(plain.c_str(), O_RDONLY);
            benchmark::DoNotOptimize(::read(fd, readBack.data(), readBack.size()));
            ::close(fd);
        });
        // The fsync of a fresh file cannot be measured apart inside the save, so it is timed
        // on its own with a plain write and subtracted.
        const Seconds fsyncCost =
            TimeOf([&] {
                const int fd = ::open(plain.c_str(), O_WRONLY | O_TRUNC);
                benchmark::DoNotOptimize(::write(fd, bytes.data(), bytes.size()));
                ::fsync(fd);
                ::close(fd);
            }) -
            plainWrite;
        state.counters["load_ms"] = load.count() * 1e3;
        state.counters["plain_read_ms"] = plainRead.count() * 1e3;
        state.counters["load_ratio"] = load / plainRead;
        state.counters["save_ms"] = save.count() * 1e3;
        state.counters["save_fsync_ms"] = fsyncCost.count() * 1e3;
        state.counters["save_without_sync_ms"] = (save - fsyncCost).count() * 1e3;
        state.counters["plain_write_ms"] = plainWrite.count() * 1e3;
        state.counters["save_ratio_without_sync"] = (save - fsyncCost) / plainWrite;
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadAndSave100k)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quaymark::bench

BENCHMARK_MAIN();
