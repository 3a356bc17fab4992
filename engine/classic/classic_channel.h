#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/channel/channel.h"
#include "engine/channel/run_context.h"
#include "engine/classic/engine_table.h"
#include "engine/net/page_fetcher.h"

namespace quaymark {

// The seven add-URL pages: every address goes to each engine of the table in turn, each
// answer page is judged, and a failure leaves its line, its error page and its request to
// send again (Google's only the request).
class ClassicChannel : public Channel {
public:
    static constexpr std::string_view kName = "classic";

    ClassicChannel(std::string email, FetchPrompt& prompt, const RunRouting& routing,
                   RunControl& control, RunRecorder& recorder);

    std::string_view name() const override { return kName; }
    RunSteps Prepare(const std::vector<std::string>& addresses) override;
    bool SendAddress(const std::string& address) override;
    bool Resend(const RunRequest& request) override;
    std::string Label(const RunRequest& request) const override { return request.url; }

private:
    // Returns whether the request failed; a row of none is a resend.
    bool SendAndJudge(const EngineRow* row, const std::string& item, RunRequest request);

    std::string email_;
    PageFetcher fetcher_;
    RunControl& control_;
    RunRecorder& recorder_;
};

}  // namespace quaymark
