#pragma once

#include <httplib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/channel/channel.h"
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

// Follows a run without showing anything: what the run costs by itself.
class QuietRun : public RunObserver {
public:
    void RunStarted(int, int, int) override {}
    void AddressStarted(const std::string&) override {}
    void EngineStarted(std::string_view) override {}
    void RequestDone() override {}
    void FailureRecorded(const FailureRecord&) override {}
    void WaitStarted(std::string_view, std::chrono::seconds, std::string_view) override {}
    void WaitEnded() override {}
    void RunEnded() override {}
};

// A line of /proc/self/status, in bytes: "VmRSS" now, "VmHWM" the peak since the last reset.
std::size_t StatusBytes(const std::string& name);
// The process's peak resident set size so far, in bytes, and its reset to what it holds now.
std::size_t PeakRssBytes();
void ResetPeakRss();

}  // namespace quaymark::bench
