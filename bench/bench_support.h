#pragma once

#include <httplib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "engine/page_fetcher.h"

namespace quaymark::bench {

// An HTTP server on 127.0.0.1 for the length of a benchmark.
class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    httplib::Server& server() { return server_; }
    std::uint16_t port() const { return port_; }

private:
    httplib::Server server_;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// The same HTTP/1.0 GET the program sends, on a fresh bare libcurl handle; the body is
// discarded. Returns whether it succeeded.
bool BareCurlGet(const std::string& url, std::uint16_t loopbackPort);

// Answers no question: benchmarks run without a person.
class NullPrompt : public FetchPrompt {
public:
    void ShowCannotOpenConnection() override {}
    std::optional<Credentials> AskCredentials(const std::string&) override { return std::nullopt; }
};

// The process's peak resident set size so far, in bytes.
std::size_t PeakRssBytes();

}  // namespace quaymark::bench
