// Speed and memory of the page fetch, the page judging, IndexNow's batches and the sitemap
// reading.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "engine/classic/classify.h"
#include "engine/indexnow/indexnow.h"
#include "engine/indexnow/status_meaning.h"
#include "engine/net/page_fetcher.h"
#include "engine/sitemap/sitemap_import.h"
#include "tests/support/gzip.h"

namespace quaymark::bench {
namespace {

std::string TwoKibPage() {
    std::string page;
    while (page.size() < 2048) {
        page += "<p>Thank you for adding your page to our index.</p>\r\n";
    }
    page.resize(2048);
    return page;
}

using Seconds = std::chrono::duration<double>;

template <typename Fn>
Seconds TimeOf(int count, Fn&& request) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        request();
    }
    return std::chrono::steady_clock::now() - start;
}

// Runs two request loops in alternating blocks so that neither gains from going second;
// returns both rates per second.
template <typename A, typename B>
std::pair<double, double> AlternatingRates(int count, A&& first, B&& second) {
    constexpr int kBlock = 100;
    Seconds a{0};
    Seconds b{0};
    for (int done = 0; done < count; done += kBlock) {
        a += TimeOf(kBlock, first);
        b += TimeOf(kBlock, second);
    }
    return {count / a.count(), count / b.count()};
}

// PageFetcher beside a bare libcurl loop sending the same HTTP/1.0 request.
void BM_FetchRate(benchmark::State& state) {
    constexpr int kRequests = 2000;
    LoopbackServer loopback;
    const std::string page = TwoKibPage();
    loopback->Get("/add", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(page, "text/html");
    });
    const std::string url = "http://www.engine.example/add?url=http://mine.example/";
    NullPrompt prompt;
    PageFetcher fetcher(prompt, {{{":", loopback.port()}}, {}, {}});
    for (auto _ : state) {
        const auto [fetchRate, bareRate] = AlternatingRates(
            kRequests, [&] { benchmark::DoNotOptimize(fetcher.Fetch(url).size()); },
            [&] { benchmark::DoNotOptimize(BareCurlGet(url, loopback.port())); });
        state.counters["fetch_per_s"] = fetchRate;
        state.counters["bare_curl_per_s"] = bareRate;
        state.counters["ratio"] = fetchRate / bareRate;
    }
}
BENCHMARK(BM_FetchRate)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ClassifyPage(benchmark::State& state) {
    const std::string line = std::string(1021, 'w') + "\n";
    PageLines page((10u << 20) / line.size(), line);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ClassifyPage(page));
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * page.size() * line.size()));
}
BENCHMARK(BM_ClassifyPage)->Unit(benchmark::kMillisecond);

// One fetch of a 1 GiB body: the page is cut off at the fetch's body limit, so memory stays low.
void BM_FetchHugeBody(benchmark::State& state) {
    constexpr std::size_t kBody = std::size_t{1} << 30;
    LoopbackServer loopback;
    const std::string chunk = std::string(1021, 'h') + "\n";
    loopback->Get("/huge", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(kBody, "text/html",
                                      [&](size_t offset, size_t length, httplib::DataSink& sink) {
                                          const std::size_t n = std::min(length, chunk.size());
                                          (void)offset;
                                          return sink.write(chunk.data(), n);
                                      });
    });
    NullPrompt prompt;
    PageFetcher fetcher(prompt, {{{":", loopback.port()}}, {}, {}});
    for (auto _ : state) {
        benchmark::DoNotOptimize(fetcher.Fetch("http://www.engine.example/huge").size());
    }
    state.counters["peak_rss_MiB"] = static_cast<double>(PeakRssBytes()) / (1 << 20);
}
BENCHMARK(BM_FetchHugeBody)->Iterations(1)->Unit(benchmark::kMillisecond);

// 50,000 addresses of one host announced through IndexNow: the batches are built and posted
// to a loopback endpoint, which must receive five requests.
void BM_IndexNowBatches(benchmark::State& state) {
    constexpr int kAddresses = 50000;
    LoopbackServer endpoint;
    std::atomic<int> requests{0};
    std::atomic<std::size_t> received{0};
    endpoint->Post("/indexnow", [&](const httplib::Request& request, httplib::Response& response) {
        ++requests;
        received += request.body.size();
        response.status = 200;
    });
    std::vector<std::string> addresses;
    for (int i = 0; i < kAddresses; ++i) {
        addresses.push_back("https://www.mine.example/articles/" + std::to_string(i) + ".html");
    }
    const IndexNowSettings job{.key = "0123456789abcdef0123456789abcdef",
                               .endpoint = "http://api.indexnow.example/indexnow",
                               .enabled = true};
    const StatusFetcher fetcher({{{":", endpoint.port()}}, {}, {}});
    for (auto _ : state) {
        requests = 0;
        received = 0;
        const auto start = std::chrono::steady_clock::now();
        const std::vector<IndexNowBatch> batches = MakeBatches(addresses);
        std::vector<std::string> bodies;
        for (const IndexNowBatch& batch : batches) {
            bodies.push_back(BatchBody(job, batch));
        }
        const Seconds built = std::chrono::steady_clock::now() - start;
        for (const std::string& body : bodies) {
            if (!IndexNowAccepted(fetcher.Post(job.endpoint, body).status)) {
                state.SkipWithError("the endpoint refused a batch");
            }
        }
        const Seconds sent = std::chrono::steady_clock::now() - start;
        state.counters["requests"] = requests.load();
        state.counters["build_ms"] = built.count() * 1000;
        state.counters["build_and_send_ms"] = sent.count() * 1000;
        state.counters["body_MiB"] = static_cast<double>(received.load()) / (1 << 20);
    }
}
BENCHMARK(BM_IndexNowBatches)->Iterations(3)->Unit(benchmark::kMillisecond);

class QuietImport : public ImportObserver {
public:
    void SitemapStarted(const std::string&) override {}
    void AddressesFound(std::size_t) override {}
};

// A sitemap of 50,000 addresses, plain (0) or gzip (1), read from a loopback server that
// streams it: the rate of uncompressed bytes and the peak memory above the size before.
void BM_SitemapRead(benchmark::State& state) {
    constexpr int kAddresses = 50000;
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<urlset xmlns=\""
        "http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (int i = 0; i < kAddresses; ++i) {
        xml += "  <url>\n    <loc>https://www.mine.example/articles/" + std::to_string(i) +
               ".html</loc>\n    <lastmod>2026-12-01T10:00:00+00:00</lastmod>\n  </url>\n";
    }
    xml += "</urlset>\n";
    const bool gzip = state.range(0) == 1;
    const std::string body = gzip ? testing::Gzip(xml) : xml;
    LoopbackServer site;
    site->Get("/sitemap.xml", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(body.size(), "application/xml",
                                      [&](size_t offset, size_t length, httplib::DataSink& sink) {
                                          return sink.write(body.data() + offset,
                                                            std::min<size_t>(length, 65536));
                                      });
    });
    QuietImport observer;
    for (auto _ : state) {
        const std::size_t idle = StatusBytes("VmRSS");
        ResetPeakRss();
        SitemapImporter importer({{{":", site.port()}}, {}, {}}, observer);
        const auto start = std::chrono::steady_clock::now();
        const SitemapImport import = importer.Import("http://www.mine.example/sitemap.xml");
        const Seconds took = std::chrono::steady_clock::now() - start;
        if (import.pages.size() != kAddresses || !import.failures.empty()) {
            state.SkipWithError("the sitemap was not read whole");
        }
        state.counters["addresses"] = static_cast<double>(import.pages.size());
        state.counters["MB_per_s"] = static_cast<double>(xml.size()) / took.count() / 1e6;
        state.counters["sitemap_MB"] = static_cast<double>(xml.size()) / 1e6;
        state.counters["peak_rss_above_idle_MiB"] =
            static_cast<double>(StatusBytes("VmHWM") - idle) / (1 << 20);
    }
}
BENCHMARK(BM_SitemapRead)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// The most a hostile import can make the program keep: gzip sitemaps of addresses of the
// longest length taken (2,048 bytes), as many as the protocol's 50 MiB lets one sitemap hold,
// read until the import's own bounds stop it. The peak memory above the size before.
void BM_SitemapImportWorstCase(benchmark::State& state) {
    const SitemapLimits limits;
    std::string body;
    {
        std::string xml = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
        for (std::size_t i = 0;; ++i) {
            const std::string number = std::to_string(i);
            const std::string entry =
                "<url><loc>https://www.mine.example/" +
                std::string(limits.maxAddressLength - 25 - number.size(), 'a') + number +
                "</loc></url>";
            if (xml.size() + entry.size() + 9 > limits.maxBytes) {
                break;
            }
            xml += entry;
        }
        body = testing::Gzip(xml + "</urlset>");
    }
    LoopbackServer site;
    site->Get("/sitemap.xml.gz", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(body, "application/gzip");
    });
    QuietImport observer;
    for (auto _ : state) {
        // What making the sitemap left in the heap is given back, so that idle is idle.
        ::malloc_trim(0);
        const std::size_t idle = StatusBytes("VmRSS");
        ResetPeakRss();
        SitemapImporter importer({{{":", site.port()}}, {}, {}}, observer);
        const SitemapImport import = importer.Import("http://www.mine.example/sitemap.xml.gz");
        state.counters["addresses"] = static_cast<double>(import.pages.size());
        state.counters["stopped_by_a_bound"] = import.failures.empty() ? 0 : 1;
        state.counters["peak_rss_above_idle_MiB"] =
            static_cast<double>(StatusBytes("VmHWM") - idle) / (1 << 20);
    }
}
BENCHMARK(BM_SitemapImportWorstCase)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quaymark::bench

// libcurl is set up before the loopback servers start their threads.
int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
