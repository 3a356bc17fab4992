#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/raw_server.h"

namespace quaymark::testing {

// One request as an engine received it.
struct EngineRequest {
    std::string host;    // the Host header
    std::string target;  // path and query, as on the request line
};

// Answers every engine host on one loopback port. A test chooses each answer page; by
// default every engine thanks the user, which judges as accepted.
class FakeEngineServer {
public:
    using PageChooser = std::function<std::string(const EngineRequest&)>;

    FakeEngineServer();

    void SetPages(PageChooser chooser);
    std::vector<EngineRequest> requests() const;
    // Routes every engine host here, for a PageFetcher or a run.
    std::map<std::string, std::uint16_t> Routes() const;

private:
    mutable std::mutex mutex_;
    PageChooser chooser_;
    std::vector<EngineRequest> requests_;
    RawServer server_;
};

// Page choosers for common cases.
std::string AcceptedPage();
std::string FailedPage(const std::string& why);

}  // namespace quaymark::testing
