#include "bench/bench_support.h"

#include <curl/curl.h>

#include <fstream>
#include <string>

namespace quaymark::bench {

namespace {
size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}
}  // namespace

bool BareCurlGet(const std::string& url, std::uint16_t loopbackPort) {
    CURL* easy = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "Accept: text/*");
    headers = curl_slist_append(headers, "User-Agent: Quay Marker by Tolvane");
    const std::string route = "::127.0.0.1:" + std::to_string(loopbackPort);
    curl_slist* connectTo = curl_slist_append(nullptr, route.c_str());
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Discard);
    const bool ok = curl_easy_perform(easy) == CURLE_OK;
    curl_easy_cleanup(easy);
    curl_slist_free_all(connectTo);
    curl_slist_free_all(headers);
    return ok;
}

std::size_t StatusBytes(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(name + ":", 0) == 0) {
            return std::stoull(line.substr(name.size() + 1)) * 1024;
        }
    }
    return 0;
}

std::size_t PeakRssBytes() {
    return StatusBytes("VmHWM");
}

void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace quaymark::bench
