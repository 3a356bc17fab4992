// Checking pages of about 30 KB on a loopback server, beside ab -k -c 16 fetching the
// same server in the same run: with 50,000 pages unchanged (all 304s) and 2,000 new (full
// bodies read and parsed), in pages a second, MB/s of HTML and the ratio to ab's rate, with
// the peak RSS above what the process held before; beside them libcurl alone on the same four
// connections, and the worst pages for the parser.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <curl/curl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "engine/check/page_checker.h"
#include "engine/check/page_reader.h"

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

// A loopback server of the pages that keeps connections alive, one thread a connection, and
// writes each answer in one piece: cpp-httplib answers keep-alive requests tens of
// milliseconds apart, which would measure the server and not the check.
class PageSite {
public:
    PageSite() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener_, 128);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { Accept(); });
    }
    ~PageSite() {
        ::shutdown(listener_, SHUT_RDWR);
        acceptor_.join();
        ::close(listener_);
        const std::lock_guard lock(mutex_);
        for (const int connection : connections_) {
            ::shutdown(connection, SHUT_RDWR);
        }
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }
    PageSite(const PageSite&) = delete;
    PageSite& operator=(const PageSite&) = delete;

    std::string Page(int n) const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/page/" + std::to_string(n);
    }

private:
    void Accept() {
        for (;;) {
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) {
                return;
            }
            const int on = 1;
            ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            const std::lock_guard lock(mutex_);
            connections_.push_back(connection);
            threads_.emplace_back([connection] { Serve(connection); });
        }
    }

    // Answers each request on the connection until it closes.
    static void Serve(int connection) {
        std::string pending;
        char buffer[8192];
        for (;;) {
            std::size_t end;
            while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
                const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    ::close(connection);
                    return;
                }
                pending.append(buffer, static_cast<std::size_t>(got));
            }
            const std::string head = pending.substr(0, end);
            pending.erase(0, end + 4);
            const std::size_t path = head.find("/page/") + 6;
            const int n = std::atoi(head.c_str() + path);
            const std::string etag = "\"v" + std::to_string(n) + "\"";
            const bool same = head.find("If-None-Match: " + etag) != std::string::npos;
            const std::string body = same ? std::string() : PageBody(n);
            const std::string answer =
                std::string(same ? "HTTP/1.1 304 Not Modified\r\n" : "HTTP/1.1 200 OK\r\n") +
                "ETag: " + etag +
                "\r\nConnection: keep-alive\r\nContent-Type: text/html\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body;
            for (std::size_t sent = 0; sent < answer.size();) {
                const ssize_t wrote =
                    ::send(connection, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                if (wrote <= 0) {
                    ::close(connection);
                    return;
                }
                sent += static_cast<std::size_t>(wrote);
            }
        }
    }

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<int> connections_;
    std::vector<std::thread> threads_;
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

// The worst pages for the parser within the 1 MiB cap, read with the program's own bounds:
// formatting elements rebuilt at every paragraph (0) and one tag of 145,000 attributes (1).
std::string HostilePage(int kind) {
    std::string page = "<html><head><title>Hostile</title></head><body>";
    if (kind == 0) {
        for (int i = 0; i < 200; ++i) {
            page += "<b id=" + std::to_string(i) + ">";
        }
        while (page.size() < (std::size_t{1} << 20) - 3) {
            page += "<p>";
        }
        return page;
    }
    page += "<div";
    for (int i = 0; i < 145000; ++i) {
        page += " a" + std::to_string(i);
    }
    return page + ">text</div>";
}

void BM_ReadHostilePage(benchmark::State& state) {
    const std::string page = HostilePage(static_cast<int>(state.range(0)));
    ::malloc_trim(0);
    ResetPeakRss();
    const std::size_t before = PeakRssBytes();
    bool cut = false;
    for (auto _ : state) {
        cut = ReadPage(page, "https://www.example.test/hostile.html").cut;
    }
    state.counters["cut"] = cut ? 1 : 0;
    state.counters["rss_above_idle_MiB"] = static_cast<double>(PeakRssBytes() - before) / (1 << 20);
}
BENCHMARK(BM_ReadHostilePage)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

// The ceiling for four connections: libcurl's multi interface alone, each handle reused at
// once for the next conditional request, nothing read or kept.
void BM_LibcurlAloneUnchanged(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    PageSite site;
    CURLM* multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, 4L);
    std::vector<std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>> headers;
    int next = 0;
    const auto add = [&](CURL* easy) {
        const std::string condition = "If-None-Match: \"v" + std::to_string(next) + "\"";
        headers.emplace_back(curl_slist_append(nullptr, condition.c_str()), &curl_slist_free_all);
        curl_easy_setopt(easy, CURLOPT_URL, site.Page(next++).c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.back().get());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Discard);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_multi_add_handle(multi, easy);
    };
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int i = 0; i < 4; ++i) {
            add(curl_easy_init());
        }
        for (int done = 0; done < count;) {
            int running = 0;
            curl_multi_perform(multi, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                CURL* easy = message->easy_handle;
                curl_multi_remove_handle(multi, easy);
                ++done;
                if (next < count) {
                    add(easy);
                } else {
                    curl_easy_cleanup(easy);
                }
            }
            curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    curl_multi_cleanup(multi);
    const double rate = count / took.count();
    const double ab = AbRate(site.Page(1), count, true);
    state.counters["pages_per_s"] = rate;
    state.counters["ab_per_s"] = ab;
    state.counters["vs_ab"] = ab > 0 ? rate / ab : 0;
}
BENCHMARK(BM_LibcurlAloneUnchanged)
    ->Arg(50000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
BENCHMARK(BM_CheckNew)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quaymark::bench

BENCHMARK_MAIN();
