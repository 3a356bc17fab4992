#pragma once

#include <httplib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/net/page_fetcher.h"
#include "tests/support/loopback_server.h"

namespace quaymark::bench {

// An HTTP server on 127.0.0.1 for the length of a benchmark.
using LoopbackServer = testing::LoopbackServer<httplib::Server>;

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
