#pragma once

#include <memory>
#include <vector>

#include "engine/channel/channel.h"
#include "engine/channel/run_context.h"
#include "engine/run/submit_run.h"

namespace quaymark {

// The channels a run sends through, in sending order: the one place that lists them. A
// resend has every channel at hand, since its requests name the channel that sent them.
std::vector<std::unique_ptr<Channel>> MakeChannels(const SubmitJob& job, FetchPrompt& prompt,
                                                   RunControl& control, RunRecorder& recorder);

}  // namespace quaymark
