#include "engine/submit_run.h"

#include "engine/run_state.h"

namespace quaymark {
namespace {

bool SetsStatusText(SubmitVerdict verdict) {
    return verdict != SubmitVerdict::InvalidUrl;
}

bool Cancelled() {
    return CancelFlag.load(std::memory_order_acquire);
}

// Records a failure with its error page and failure line.
void FullRecord(const SubmitJob& job, const PageLines& lines, SubmitVerdict verdict,
                std::string_view name, const std::string& item, const std::string& url) {
    WriteErrorPage(job.errorPageDir, lines);
    job.mainDlg->AppendFailure(*job.progressDlg, verdict, name, item);
    job.mainDlg->ResubmitList.push_back(url);
}

// Returns whether the request failed.
bool SendAndJudge(const SubmitJob& job, PageFetcher& fetcher, const EngineRow* row,
                  const std::string& item, const std::string& url) {
    PageLines& lines = fetcher.Fetch(url);
    const SubmitVerdict verdict = ClassifyPage(lines);
    if (verdict == SubmitVerdict::Accepted) {
        return false;
    }
    if (row == nullptr) {
        FullRecord(job, lines, verdict, kResendName, item, url);
    } else if (row->fullRecord) {
        FullRecord(job, lines, verdict, row->name, item, url);
    } else {
        job.mainDlg->ResubmitList.push_back(url);
    }
    return true;
}

bool SendResend(const SubmitJob& job, PageFetcher& fetcher, const std::string& item) {
    ProgressView& progress = *job.progressDlg;
    progress.SetText(kEngineTextId, std::string(kResendName));
    bool failed = false;
    if (!Cancelled()) {
        failed = SendAndJudge(job, fetcher, nullptr, item, item);
    }
    progress.StepProgress();
    return failed;
}

bool SendToEngines(const SubmitJob& job, PageFetcher& fetcher, const std::string& item) {
    ProgressView& progress = *job.progressDlg;
    bool failed = false;
    for (const EngineRow& row : EngineTable) {
        progress.SetText(kEngineTextId, std::string(row.name));
        const std::string url = BuildRequestUrl(row, item, job.mainDlg->m_strEmail);
        if (Cancelled()) {
            continue;
        }
        failed = SendAndJudge(job, fetcher, &row, item, url) || failed;
        if (!Cancelled()) {
            progress.StepProgress();
        }
    }
    return failed;
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

void SubmitResults::AppendFailure(ProgressView& progress, SubmitVerdict verdict,
                                  std::string_view engine, std::string_view item) {
    std::string text(engine);
    text.append(FailureSuffix(verdict));
    if (SetsStatusText(verdict)) {
        progress.SetText(kStatusTextId, text);
    }
    text.append(" ").append(item);
    FailureList.push_back(std::move(text));
}

int SubmitWorker(const SubmitJob* job) {
    bool anyFailure = false;
    {
        PageFetcher fetcher(*job->prompt, job->limits);
        fetcher.SetConnectTo(job->connectTo);
        ProgressView& progress = *job->progressDlg;
        const bool resend = job->mode == SubmitJob::Resend;
        progress.SetAddressCount(static_cast<int>(job->items->size()),
                                 resend ? 1 : static_cast<int>(EngineTable.size()));
        progress.Show();
        for (const std::string& item : *job->items) {
            if (Cancelled()) {
                break;
            }
            progress.SetText(kAddressTextId, item);
            const bool failed =
                resend ? SendResend(*job, fetcher, item) : SendToEngines(*job, fetcher, item);
            anyFailure = anyFailure || failed;
        }
        progress.Hide();
        RunFailedFlag.store(anyFailure, std::memory_order_release);
        CancelFlag.store(true, std::memory_order_release);
        WorkerDoneFlag.store(true, std::memory_order_release);
    }
    if (job->wakeStarter) {
        job->wakeStarter();
    }
    return anyFailure ? 1 : 0;
}

}  // namespace quaymark
