#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <stop_token>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/channel/channel.h"
#include "engine/check/host_gate.h"
#include "storage/indexnow_settings.h"

namespace quaymark {

// The gate a run's pages pass before any modern channel hears of them: the hosts that cannot
// be a public site and those the user keeps back, then, for IndexNow, each host's key file.
struct GateJob {
    RunRouting routing{};
    // The rules are the settings'; IndexNow's key is checked when indexNow is on.
    const IndexNowSettings* settings = nullptr;
    bool indexNow = false;
    // A dry run keeps no key check.
    bool keep = true;
    std::int64_t now = 0;
    AddressLookup lookup = HostAddresses;
    // The user's cancel: the key checks not yet made are not made, their hosts sent nothing.
    std::stop_token stop{};
};

struct RunGate {
    // The pages every modern channel may hear of, in their order.
    std::vector<std::string> passed{};
    // The hosts IndexNow may not send to: their key file is not served exactly.
    std::unordered_set<std::string> keyRefused{};
    std::map<GateReason, std::size_t> leftOut{};
    std::vector<std::string> notes{};

    // The passed pages IndexNow may send.
    std::vector<std::string> ForIndexNow(const std::vector<std::string>& pages) const;
};

// Each host's key is fetched at most once a day while it is served: the check found served is
// kept and trusted until the day ends; one that failed is checked again at the next run, so
// that a mended key file counts at once.
RunGate PassGate(const std::vector<std::string>& pages, const GateJob& job, RequestLog* log);

}  // namespace quaymark
