#include "engine/submit_run.h"

#include "engine/http_text.h"

#include <ctime>

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

std::string ItemText(const ResendItem& item) {
    return item.channel == Channel::IndexNow ? BatchLabel(item.host, item.addresses.size())
                                             : item.url;
}

namespace {

// How the history names a verdict.
std::string_view VerdictName(SubmitVerdict verdict) {
    switch (verdict) {
        case SubmitVerdict::Accepted:
            return "accepted";
        case SubmitVerdict::Failed:
            return "failed";
        case SubmitVerdict::AlreadySubmitted:
            return "already submitted";
        case SubmitVerdict::InvalidUrl:
            return "not a valid address";
        case SubmitVerdict::EngineCouldNotConnect:
            return "could not connect";
        case SubmitVerdict::NoPage:
            return "no page";
    }
    return {};
}

}  // namespace

void SubmitRun::Log(const ResendItem& request, std::string verdict, std::string reason,
                    bool accepted) {
    if (job_.log == nullptr) {
        return;
    }
    const std::int64_t now = std::time(nullptr);
    const std::string channel = request.engine.empty() ? std::string(kResendName) : request.engine;
    for (const std::string& address : request.addresses) {
        job_.log->Record({now, channel, address, request.url, verdict, reason, accepted});
    }
}

SubmitRun::SubmitRun(SubmitJob job, FetchPrompt& prompt, RunObserver& observer)
    : job_(std::move(job)), prompt_(prompt), observer_(observer) {}

void SubmitRun::RequestCancel() {
    {
        // Under the wait's lock, so that a wait about to begin cannot miss it.
        const std::lock_guard lock(cancelMutex_);
        CancelFlag.store(true, std::memory_order_release);
    }
    cancelled_.notify_all();
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
                             ResendItem request) {
    PageLines& lines = fetcher.Fetch(request.url);
    const SubmitVerdict verdict = ClassifyAnswer(fetcher.status(), lines);
    const std::string_view suffix = FailureSuffix(verdict);
    Log(request, std::string(VerdictName(verdict)),
        suffix.empty() ? std::string() : std::string(suffix.substr(2)),
        verdict == SubmitVerdict::Accepted);
    if (verdict == SubmitVerdict::Accepted) {
        return false;
    }
    if (row == nullptr) {
        FullRecord(lines, verdict, kResendName, suffix, item, std::move(request));
    } else if (row->fullRecord) {
        FullRecord(lines, verdict, row->name, suffix, item, std::move(request));
    } else {
        result_.ResubmitList.push_back(std::move(request));
    }
    return true;
}

bool SubmitRun::WaitUnlessCancelled(std::chrono::milliseconds wait) {
    std::unique_lock lock(cancelMutex_);
    return !cancelled_.wait_for(lock, wait, [this] { return Cancelled(); });
}

StatusAnswer SubmitRun::PostWithBackoff(const StatusFetcher& fetcher, const ResendItem& batch) {
    const RetryPolicy& policy = job_.retry;
    std::chrono::milliseconds backoff = policy.firstBackoff;
    std::chrono::seconds waited{0};
    std::uniform_real_distribution<double> spread(0.75, 1.25);
    for (int tries = 1;; ++tries) {
        StatusAnswer answer = fetcher.Post(batch.url, batch.body);
        if (!WorthRetrying(answer.status) || tries >= policy.maxTries || Cancelled()) {
            return answer;
        }
        const std::optional<std::chrono::seconds> asked =
            ParseRetryAfter(answer.retryAfter, std::time(nullptr));
        const std::chrono::seconds wait =
            asked ? *asked : std::chrono::ceil<std::chrono::seconds>(backoff * spread(jitter_));
        backoff *= 2;
        if (wait > policy.maxWait - waited) {
            return answer;  // longer than a batch may wait: told as it is
        }
        observer_.WaitStarted(kIndexNowName, wait,
                              answer.status == 429
                                  ? std::string("too many requests")
                                  : "server error " + std::to_string(answer.status));
        const bool goOn = WaitUnlessCancelled(wait.count() * policy.second);
        observer_.WaitEnded();
        if (!goOn) {
            return answer;
        }
        waited += wait;
    }
}

bool SubmitRun::SendBatch(const StatusFetcher& fetcher, std::string_view name,
                          const ResendItem& batch) {
    const StatusAnswer answer = PostWithBackoff(fetcher, batch);
    const std::string label = ItemText(batch);
    Log(batch, answer.status == 0 ? std::string("no answer") : std::to_string(answer.status),
        IndexNowAccepted(answer.status) ? std::string() : IndexNowReason(answer),
        IndexNowAccepted(answer.status));
    if (answer.status == 202) {
        result_.notes.push_back("IndexNow: received; the key is still being checked. " + label);
    }
    if (IndexNowAccepted(answer.status)) {
        return false;
    }
    const std::string reason = IndexNowReason(answer);
    FullRecord(IndexNowFailurePage(reason, answer, job_.indexNow, label, batch.host),
               SubmitVerdict::Failed, name, ": " + reason + ".", label, batch);
    return true;
}

// After the seven engines: the addresses IndexNow cannot take are told in list order, then
// each batch is posted, Cancel stopping before the next.
bool SubmitRun::AnnounceThroughIndexNow(const StatusFetcher& fetcher,
                                        const std::vector<IndexNowBatch>& batches) {
    bool failed = false;
    for (const std::string& item : job_.items) {
        if (!AnnounceHost(item)) {
            FullRecord(NotAnnouncedPage(item), SubmitVerdict::Failed, kIndexNowName,
                       ": " + std::string(kNotAnnounceable) + ".", item, {});
            failed = true;
        }
    }
    for (const IndexNowBatch& batch : batches) {
        if (Cancelled()) {
            break;
        }
        observer_.AddressStarted(batch.host);
        observer_.EngineStarted(kIndexNowName);
        const ResendItem item{Channel::IndexNow,
                              job_.indexNow.endpoint,
                              BatchBody(job_.indexNow, batch),
                              batch.host,
                              batch.urls,
                              std::string(kIndexNowName)};
        failed = SendBatch(fetcher, kIndexNowName, item) || failed;
        if (!Cancelled()) {
            observer_.RequestDone();
        }
    }
    return failed;
}

bool SubmitRun::SendResend(PageFetcher& fetcher, const StatusFetcher& https,
                           const ResendItem& item) {
    observer_.AddressStarted(ItemText(item));
    observer_.EngineStarted(kResendName);
    bool failed = false;
    if (!Cancelled()) {
        failed = item.channel == Channel::IndexNow ? SendBatch(https, kResendName, item)
                                                   : SendAndJudge(fetcher, nullptr, item.url, item);
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
        failed = SendAndJudge(fetcher, &row, item,
                              {Channel::Engine, url, {}, {}, {item}, std::string(row.name)}) ||
                 failed;
        if (!Cancelled()) {
            observer_.RequestDone();
        }
    }
    return failed;
}

std::vector<std::string> SubmitRun::AddressesToAnnounce() {
    if (!job_.indexNow.onlyNewOrChanged) {
        return job_.items;
    }
    // The history is asked here, on the worker, so that no window waits for it.
    if (job_.indexNow.dates.empty() && job_.log != nullptr) {
        job_.indexNow.dates = job_.log->AnnouncedDates(std::string(kIndexNowName));
    }
    LeftOut leftOut;
    std::vector<std::string> addresses =
        NewOrChanged(job_.items, job_.indexNow.dates, std::time(nullptr), leftOut);
    if (leftOut.unchanged > 0) {
        result_.notes.push_back("IndexNow: " + CountOfAddresses(leftOut.unchanged) +
                                " left out, announced before and not changed since.");
    }
    if (leftOut.recent > 0) {
        result_.notes.push_back("IndexNow: " + CountOfAddresses(leftOut.recent) +
                                " left out, announced in the last 10 minutes.");
    }
    return addresses;
}

RunResult SubmitRun::SubmitWorker() {
    {
        PageFetcher fetcher(prompt_, job_.routing);
        const StatusFetcher https(job_.routing);
        const bool resend = job_.mode == SubmitJob::Resend;
        const bool indexNow = !resend && job_.indexNow.enabled;
        const std::vector<IndexNowBatch> batches =
            indexNow ? MakeBatches(AddressesToAnnounce()) : std::vector<IndexNowBatch>{};
        const int steps = resend ? 1 : static_cast<int>(EngineTable.size());
        const std::size_t count = resend ? job_.resendItems.size() : job_.items.size();
        observer_.RunStarted(static_cast<int>(count), steps, static_cast<int>(batches.size()));
        for (std::size_t i = 0; i < count && !Cancelled(); ++i) {
            bool failed = false;
            if (resend) {
                failed = SendResend(fetcher, https, job_.resendItems[i]);
            } else {
                const std::string& item = job_.items[i];
                observer_.AddressStarted(item);
                failed = SendToEngines(fetcher, item);
            }
            result_.failed = result_.failed || failed;
        }
        if (indexNow && !Cancelled()) {
            result_.failed = AnnounceThroughIndexNow(https, batches) || result_.failed;
        }
        observer_.RunEnded();
    }
    return std::move(result_);
}

}  // namespace quaymark
