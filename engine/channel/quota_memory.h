#pragma once

#include <string>
#include <vector>

#include "storage/history_records.h"

namespace quaymark {

// What the channels of the engines' own APIs remember from one run to the next, each under its
// own name. Readings hold the worker until answered; Keep is handed on.
class QuotaMemory {
public:
    virtual ~QuotaMemory() = default;
    // The last reading of each site's quota.
    virtual std::vector<QuotaReading> LastQuotas(const std::string& channel) = 0;
    // The pages still waiting for the quota.
    virtual std::vector<std::string> Pending(const std::string& channel) = 0;
    virtual void Keep(QuotaKept kept) = 0;
};

}  // namespace quaymark
