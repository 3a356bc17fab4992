#pragma once

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/channel/channel.h"
#include "engine/channel/run_context.h"
#include "engine/indexnow/indexnow.h"
#include "engine/indexnow/status_meaning.h"
#include "engine/net/status_fetcher.h"

namespace quaymark {

// IndexNow after the seven engines: the addresses it cannot take are told, then one batch per
// host is posted, waiting and trying again where waiting may help.
class IndexNowChannel : public Channel {
public:
    IndexNowChannel(IndexNowJob job, RetryPolicy retry, const RunRouting& routing,
                    RunControl& control, RunRecorder& recorder);

    std::string_view name() const override { return kIndexNowName; }
    RunSteps Prepare(const std::vector<std::string>& addresses) override;
    bool Finish() override;
    bool Resend(const RunRequest& request) override;
    std::string Label(const RunRequest& request) const override;

private:
    // Posts one batch; returns whether it failed, recording the failure under the name.
    bool SendBatch(std::string_view name, const RunRequest& batch);
    StatusAnswer PostWithBackoff(const RunRequest& batch);

    IndexNowJob job_;
    RetryPolicy retry_;
    StatusFetcher fetcher_;
    RunControl& control_;
    RunRecorder& recorder_;
    std::vector<std::string> addresses_;
    std::vector<IndexNowBatch> batches_;
    std::mt19937 jitter_{std::random_device{}()};
};

}  // namespace quaymark
