#include "engine/submit_run.h"

namespace quaymark {
namespace {

bool SetsStatusText(SubmitVerdict verdict) {
    return verdict != SubmitVerdict::InvalidUrl;
}

}  // namespace

std::string BuildRequestUrl(const EngineRow& row, std::string_view address,
                            std::string_view email) {
    std::string url = "http://";
    url.append(row.host).append(row.path);
    for (std::size_t i = 0; i < row.queryPieces; ++i) {
        const QueryPiece& piece = row.query[i];
        switch (piece.kind) {
            case QueryPiece::Kind::Text:
                url.append(piece.text);
                break;
            case QueryPiece::Kind::Address:
                url.append(address);
                break;
            case QueryPiece::Kind::Email:
                url.append(email);
                break;
        }
    }
    return url;
}

std::string_view FailureSuffix(SubmitVerdict verdict) {
    switch (verdict) {
        case SubmitVerdict::Failed:
            return ": failed.";
        case SubmitVerdict::AlreadySubmitted:
            return ": was already submitted today.";
        case SubmitVerdict::InvalidUrl:
            return ": is not a valud URL.";
        case SubmitVerdict::EngineCouldNotConnect:
        case SubmitVerdict::NoPage:
            return ": could not connect.";
        case SubmitVerdict::Accepted:
            break;
    }
    return {};
}

SubmitRun::SubmitRun(SubmitJob job, FetchPrompt& prompt, RunObserver& observer)
    : job_(std::move(job)), prompt_(prompt), observer_(observer) {}

void SubmitRun::Reset() {
    FailureList.clear();
    ResubmitList.clear();
    CancelFlag.store(false, std::memory_order_release);
    RunFailedFlag.store(false, std::memory_order_release);
    WorkerDoneFlag.store(false, std::memory_order_release);
    ErrorPageCounter.store(0, std::memory_order_release);
}

void SubmitRun::RequestCancel() {
    CancelFlag.store(true, std::memory_order_release);
}

bool SubmitRun::WorkerDone() const {
    return WorkerDoneFlag.load(std::memory_order_acquire);
}

bool SubmitRun::Cancelled() const {
    return CancelFlag.load(std::memory_order_acquire);
}

// Records a failure with its error page and failure line.
void SubmitRun::FullRecord(const PageLines& lines, SubmitVerdict verdict, std::string_view name,
                           const std::string& item, const std::string& url) {
    WriteErrorPage(job_.errorPageDir, ErrorPageCounter, lines);
    std::string statusText(name);
    statusText.append(FailureSuffix(verdict));
    FailureList.push_back(statusText + " " + item);
    observer_.FailureRecorded({name, verdict, item, statusText, SetsStatusText(verdict)});
    ResubmitList.push_back(url);
}

// Returns whether the request failed.
bool SubmitRun::SendAndJudge(PageFetcher& fetcher, const EngineRow* row, const std::string& item,
                             const std::string& url) {
    PageLines& lines = fetcher.Fetch(url);
    const SubmitVerdict verdict = ClassifyPage(lines);
    if (verdict == SubmitVerdict::Accepted) {
        return false;
    }
    if (row == nullptr) {
        FullRecord(lines, verdict, kResendName, item, url);
    } else if (row->fullRecord) {
        FullRecord(lines, verdict, row->name, item, url);
    } else {
        ResubmitList.push_back(url);
    }
    return true;
}

bool SubmitRun::SendResend(PageFetcher& fetcher, const std::string& item) {
    observer_.EngineStarted(kResendName);
    bool failed = false;
    if (!Cancelled()) {
        failed = SendAndJudge(fetcher, nullptr, item, item);
    }
    observer_.RequestDone();
    return failed;
}

bool SubmitRun::SendToEngines(PageFetcher& fetcher, const std::string& item) {
    bool failed = false;
    for (const EngineRow& row : EngineTable) {
        observer_.EngineStarted(row.name);
        const std::string url = BuildRequestUrl(row, item, job_.email);
        if (Cancelled()) {
            continue;
        }
        failed = SendAndJudge(fetcher, &row, item, url) || failed;
        if (!Cancelled()) {
            observer_.RequestDone();
        }
    }
    return failed;
}

RunResult SubmitRun::SubmitWorker() {
    bool anyFailure = false;
    {
        PageFetcher fetcher(prompt_, job_.limits);
        fetcher.SetConnectTo(job_.connectTo);
        const bool resend = job_.mode == SubmitJob::Resend;
        observer_.RunStarted(static_cast<int>(job_.items.size()),
                             resend ? 1 : static_cast<int>(EngineTable.size()));
        for (const std::string& item : job_.items) {
            if (Cancelled()) {
                break;
            }
            observer_.AddressStarted(item);
            const bool failed = resend ? SendResend(fetcher, item) : SendToEngines(fetcher, item);
            anyFailure = anyFailure || failed;
        }
        observer_.RunEnded();
        RunFailedFlag.store(anyFailure, std::memory_order_release);
        CancelFlag.store(true, std::memory_order_release);
        WorkerDoneFlag.store(true, std::memory_order_release);
    }
    return {anyFailure, std::move(FailureList), std::move(ResubmitList)};
}

}  // namespace quaymark
