#include "engine/indexnow/indexnow_channel.h"

#include <ctime>

#include "engine/indexnow/failure_page.h"
#include "engine/net/web_address.h"

namespace quaymark {

IndexNowChannel::IndexNowChannel(IndexNowJob job, RetryPolicy retry, const RunRouting& routing,
                                 RunControl& control, RunRecorder& recorder)
    : job_(std::move(job)),
      retry_(retry),
      fetcher_(routing),
      control_(control),
      recorder_(recorder) {}

std::string IndexNowChannel::Label(const RunRequest& request) const {
    return BatchLabel(request.host, request.addresses.size());
}

RunSteps IndexNowChannel::Prepare(const std::vector<std::string>& addresses) {
    addresses_ = addresses;
    batches_ = MakeBatches(job_.pages.value_or(addresses));
    return {.beyond = static_cast<int>(batches_.size())};
}

StatusAnswer IndexNowChannel::PostWithBackoff(const RunRequest& batch) {
    return SendWithBackoff([&] { return fetcher_.Post(batch.url, batch.body); }, retry_,
                           kIndexNowName, control_, recorder_.observer(), jitter_);
}

bool IndexNowChannel::SendBatch(std::string_view name, const RunRequest& batch) {
    const StatusAnswer answer = PostWithBackoff(batch);
    const std::string label = Label(batch);
    const bool accepted = IndexNowAccepted(answer.status);
    recorder_.Log(batch,
                  answer.status == 0 ? std::string("no answer") : std::to_string(answer.status),
                  accepted ? std::string() : IndexNowReason(answer), accepted);
    if (answer.status == 202) {
        recorder_.Note("IndexNow: received; the key is still being checked. " + label);
    }
    if (accepted) {
        return false;
    }
    const std::string reason = IndexNowReason(answer);
    recorder_.FullRecord(IndexNowFailurePage(reason, answer, job_.settings, label, batch.host),
                         {.channel = std::string(kIndexNowName),
                          .engine = std::string(name),
                          .status = answer.status,
                          .detail = reason + ".",
                          .target = label},
                         batch);
    return true;
}

// The addresses IndexNow cannot take are told in list order, then each batch is posted,
// Cancel stopping before the next.
bool IndexNowChannel::Finish() {
    bool failed = false;
    for (const std::string& address : addresses_) {
        if (!HostOf(address)) {
            recorder_.FullRecord(NotAnnouncedPage(address),
                                 {.channel = std::string(kIndexNowName),
                                  .engine = std::string(kIndexNowName),
                                  .detail = std::string(kNotAnnounceable) + ".",
                                  .target = address},
                                 {});
            failed = true;
        }
    }
    RunObserver& observer = recorder_.observer();
    for (const IndexNowBatch& batch : batches_) {
        if (control_.Cancelled()) {
            break;
        }
        observer.AddressStarted(batch.host);
        observer.EngineStarted(kIndexNowName);
        const RunRequest request{.channel = std::string(kIndexNowName),
                                 .url = job_.settings.endpoint,
                                 .body = BatchBody(job_.settings, batch),
                                 .host = batch.host,
                                 .addresses = batch.urls,
                                 .engine = std::string(kIndexNowName)};
        failed = SendBatch(kIndexNowName, request) || failed;
        if (!control_.Cancelled()) {
            observer.RequestDone();
        }
    }
    return failed;
}

bool IndexNowChannel::Resend(const RunRequest& request) {
    return SendBatch(kResendName, request);
}

}  // namespace quaymark
