#include "engine/classic/classic_channel.h"

#include "engine/classic/classify.h"

namespace quaymark {
namespace {

// A failure of one of the seven pages, in the words its verdict has.
Failure Told(std::string_view engine, SubmitVerdict verdict, long status, const std::string& item) {
    return {.channel = std::string(ClassicChannel::kName),
            .engine = std::string(engine),
            .verdict = verdict,
            .status = status,
            .detail = std::string(FailureSentence(verdict)),
            .target = item};
}

}  // namespace

ClassicChannel::ClassicChannel(std::string email, FetchPrompt& prompt, const RunRouting& routing,
                               RunControl& control, RunRecorder& recorder)
    : email_(std::move(email)), fetcher_(prompt, routing), control_(control), recorder_(recorder) {}

RunSteps ClassicChannel::Prepare(const std::vector<std::string>&) {
    return {.perAddress = static_cast<int>(EngineTable.size())};
}

bool ClassicChannel::SendAndJudge(const EngineRow* row, const std::string& item,
                                  RunRequest request) {
    PageLines& lines = fetcher_.Fetch(request.url);
    const SubmitVerdict verdict = ClassifyAnswer(fetcher_.status(), lines);
    recorder_.Log(request, std::string(VerdictName(verdict)), std::string(FailureSentence(verdict)),
                  verdict == SubmitVerdict::Accepted);
    if (verdict == SubmitVerdict::Accepted) {
        return false;
    }
    if (row == nullptr) {
        recorder_.FullRecord(lines, Told(kResendName, verdict, fetcher_.status(), item),
                             std::move(request));
    } else if (row->fullRecord) {
        recorder_.FullRecord(lines, Told(row->name, verdict, fetcher_.status(), item),
                             std::move(request));
    } else {
        recorder_.Resubmit(std::move(request));
    }
    return true;
}

bool ClassicChannel::SendAddress(const std::string& address) {
    RunObserver& observer = recorder_.observer();
    bool failed = false;
    for (const EngineRow& row : EngineTable) {
        observer.EngineStarted(row.name);
        std::string url = BuildRequestUrl(row, address, email_);
        if (control_.Cancelled()) {
            continue;
        }
        failed = SendAndJudge(&row, address,
                              {.channel = std::string(kName),
                               .url = std::move(url),
                               .addresses = {address},
                               .engine = std::string(row.name)}) ||
                 failed;
        if (!control_.Cancelled()) {
            observer.RequestDone();
        }
    }
    return failed;
}

bool ClassicChannel::Resend(const RunRequest& request) {
    return SendAndJudge(nullptr, request.url, request);
}

}  // namespace quaymark
