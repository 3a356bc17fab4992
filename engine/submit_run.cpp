#include "engine/submit_run.h"

#include "engine/http_text.h"

namespace quaymark {

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

void SubmitRun::RequestCancel() {
    CancelFlag.store(true, std::memory_order_release);
}

bool SubmitRun::Cancelled() const {
    return CancelFlag.load(std::memory_order_acquire);
}

void SubmitRun::FullRecord(const PageLines& lines, SubmitVerdict verdict, std::string_view name,
                           std::string_view suffix, const std::string& item, ResendItem resend) {
    std::filesystem::path page = WriteErrorPage(job_.errorPageDir, ErrorPageCounter, lines);
    std::string text(name);
    text.append(suffix);
    result_.FailureList.push_back({text + " " + item, std::move(page)});
    observer_.FailureRecorded({name, verdict, item, std::move(text)});
    if (!resend.url.empty()) {
        result_.ResubmitList.push_back(std::move(resend));
    }
}

// Returns whether the request failed.
bool SubmitRun::SendAndJudge(PageFetcher& fetcher, const EngineRow* row, const std::string& item,
                             const std::string& url) {
    PageLines& lines = fetcher.Fetch(url);
    const SubmitVerdict verdict = ClassifyPage(lines);
    if (verdict == SubmitVerdict::Accepted) {
        return false;
    }
    ResendItem resend{Channel::Engine, url};
    if (row == nullptr) {
        FullRecord(lines, verdict, kResendName, FailureSuffix(verdict), item, std::move(resend));
    } else if (row->fullRecord) {
        FullRecord(lines, verdict, row->name, FailureSuffix(verdict), item, std::move(resend));
    } else {
        result_.ResubmitList.push_back(std::move(resend));
    }
    return true;
}

// An IndexNow failure is a full record whose page is the answer's body, else one of ours
// saying what the status means.
void SubmitRun::IndexNowRecord(std::string_view name, std::string_view reason, long status,
                               const std::string& body, const std::string& item,
                               const std::string& url) {
    PageLines lines;
    if (body.empty()) {
        lines = IndexNowExplanationPage(reason, status, job_.indexNow.key, item);
    } else {
        LineSplitter splitter(lines);
        splitter.Feed(body);
        splitter.Finish();
    }
    FullRecord(lines, SubmitVerdict::Failed, name, ": " + std::string(reason) + ".", item,
               {Channel::IndexNow, url});
}

// Judged by the status alone; returns whether the request failed.
bool SubmitRun::SendIndexNowRequest(const StatusFetcher& fetcher, std::string_view name,
                                    const std::string& item, const std::string& url) {
    const StatusFetcher::Answer answer = fetcher.Get(url);
    if (IndexNowAccepted(answer.status)) {
        return false;
    }
    IndexNowRecord(name, IndexNowReason(answer), answer.status, answer.body, item, url);
    return true;
}

bool SubmitRun::SendToIndexNow(const StatusFetcher& fetcher, const std::string& item) {
    observer_.EngineStarted(kIndexNowName);
    if (Cancelled()) {
        return false;
    }
    bool failed = true;
    if (SiteRoot(item)) {
        const std::string url = IndexNowRequestUrl(job_.indexNow.endpoint, item, job_.indexNow.key);
        failed = SendIndexNowRequest(fetcher, kIndexNowName, item, url);
    } else {
        IndexNowRecord(kIndexNowName, kNotAnnounceable, kNotSent, {}, item, {});
    }
    if (!Cancelled()) {
        observer_.RequestDone();
    }
    return failed;
}

bool SubmitRun::SendResend(PageFetcher& fetcher, const StatusFetcher& https,
                           const ResendItem& item) {
    observer_.AddressStarted(item.url);
    observer_.EngineStarted(kResendName);
    bool failed = false;
    if (!Cancelled()) {
        failed = item.channel == Channel::IndexNow
                     ? SendIndexNowRequest(https, kResendName, item.url, item.url)
                     : SendAndJudge(fetcher, nullptr, item.url, item.url);
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
    {
        PageFetcher fetcher(prompt_, job_.routing);
        const StatusFetcher https(job_.routing);
        const bool resend = job_.mode == SubmitJob::Resend;
        const bool indexNow = !resend && job_.indexNow.enabled;
        const int steps = resend ? 1 : static_cast<int>(EngineTable.size()) + (indexNow ? 1 : 0);
        const std::size_t count = resend ? job_.resendItems.size() : job_.items.size();
        observer_.RunStarted(static_cast<int>(count), steps);
        for (std::size_t i = 0; i < count && !Cancelled(); ++i) {
            bool failed = false;
            if (resend) {
                failed = SendResend(fetcher, https, job_.resendItems[i]);
            } else {
                const std::string& item = job_.items[i];
                observer_.AddressStarted(item);
                failed = SendToEngines(fetcher, item);
                if (indexNow) {
                    failed = SendToIndexNow(https, item) || failed;
                }
            }
            result_.failed = result_.failed || failed;
        }
        observer_.RunEnded();
    }
    return std::move(result_);
}

}  // namespace quaymark
