#include "engine/run/channels.h"

#include "engine/classic/classic_channel.h"
#include "engine/google/google_channel.h"
#include "engine/indexnow/indexnow_channel.h"

namespace quaymark {

std::vector<std::unique_ptr<Channel>> MakeChannels(const SubmitJob& job, FetchPrompt& prompt,
                                                   RunControl& control, RunRecorder& recorder) {
    const bool resend = job.mode == SubmitJob::Resend;
    std::vector<std::unique_ptr<Channel>> channels;
    if (resend || job.classic) {
        channels.push_back(
            std::make_unique<ClassicChannel>(job.email, prompt, job.routing, control, recorder));
    }
    if (resend || job.indexNow.announces()) {
        channels.push_back(std::make_unique<IndexNowChannel>(job.indexNow, job.retry, job.routing,
                                                             control, recorder));
    }
    if (resend || job.google.announces()) {
        channels.push_back(
            std::make_unique<GoogleChannel>(job.google, job.routing, control, recorder));
    }
    return channels;
}

}  // namespace quaymark
