#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "engine/page_lines.h"

namespace quaymark {

struct Credentials {
    std::string user;
    std::string password;
};

// What a fetch asks of the person at the screen. The fetch runs on the worker thread; an
// implementation holds it there until the user has answered.
class FetchPrompt {
public:
    virtual ~FetchPrompt() = default;
    // The message "Cannot open internet connection.".
    virtual void ShowCannotOpenConnection() = 0;
    // The password dialog after a 401; no value means the user gave none.
    virtual std::optional<Credentials> AskCredentials(const std::string& url) = 0;
};

// Bounds that keep a dead or hostile server from holding a run for ever.
struct FetchLimits {
    std::chrono::milliseconds connect{std::chrono::seconds(60)};
    std::chrono::milliseconds idle{std::chrono::seconds(60)};
    std::chrono::milliseconds total{std::chrono::minutes(5)};
    std::size_t maxBodyBytes = std::size_t{16} << 20;
    // A body of bare line feeds would cost far more memory than its bytes.
    std::size_t maxPieces = std::size_t{1} << 20;
};

// One HTTP GET whose answer page comes back as line pieces.
class PageFetcher {
public:
    explicit PageFetcher(FetchPrompt& prompt, FetchLimits limits = {});
    PageFetcher(const PageFetcher&) = delete;
    PageFetcher& operator=(const PageFetcher&) = delete;
    virtual ~PageFetcher();

    // For tests and benchmarks: requests for "host:port" connect to 127.0.0.1 at the given
    // port while the request line and Host header stay as they are. The key ":" matches any.
    void SetConnectTo(const std::map<std::string, std::uint16_t>& loopbackPorts);

    // Fetches the URL; returns the fetcher's lines, empty when no page was obtained. The same
    // list is returned by every call.
    PageLines& Fetch(std::string url);

private:
    class Transfer;
    struct RequestLists;

    PageLines& FetchInto(const std::string& url);

    FetchPrompt& prompt_;
    FetchLimits limits_;
    std::unique_ptr<RequestLists> lists_;
    PageLines lines;
};

}  // namespace quaymark
