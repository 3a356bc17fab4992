#include "engine/check/page_checker.h"

#include <xxhash.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "engine/check/page_reader.h"
#include "engine/check/page_readers.h"
#include "engine/net/curl_handles.h"
#include "engine/net/http_text.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

}  // namespace

// One page's transfer: its request lines, what the answer's headers said and its body.
struct PageChecker::Transfer {
    Transfer(const RunRouting& routing, const PageCheckRequest& request, std::size_t index,
             std::size_t maxBody)
        : index(index),
          address(request.address),
          lists(routing,
                {request.etag.empty() ? "" : "If-None-Match: " + request.etag,
                 request.lastModified.empty() ? "" : "If-Modified-Since: " + request.lastModified}),
          cap{.limit = maxBody} {}

    std::size_t index;
    std::string address;
    RequestLists lists;
    EasyHandle easy;
    BodyCap cap;
    std::string body;
    std::string etag;
    std::string lastModified;
    std::string location;
    std::string contentType;
    Audience headerNoindex = kNoRobot;
    std::string linkCanonical;
    // The site whose pages go one at a time, if this is one of them.
    std::string paced{};
};

namespace {

using Transfer = PageChecker::Transfer;

// A validator or header value goes on only as one line of plain text.
bool OneLine(std::string_view value) {
    return value.find_first_of("\r\n") == std::string_view::npos;
}

size_t KeepHeader(char* data, size_t size, size_t count, void* transferPointer) {
    auto* transfer = static_cast<Transfer*>(transferPointer);
    const std::string_view line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new answer (after a 100 Continue): nothing of the last counts.
        transfer->etag.clear();
        transfer->lastModified.clear();
        transfer->location.clear();
        transfer->contentType.clear();
        transfer->headerNoindex = kNoRobot;
        transfer->linkCanonical.clear();
    } else if (const auto etag = HeaderValue(line, "etag")) {
        transfer->etag.assign(*etag);
    } else if (const auto modified = HeaderValue(line, "last-modified")) {
        transfer->lastModified.assign(*modified);
    } else if (const auto location = HeaderValue(line, "location")) {
        transfer->location.assign(*location);
    } else if (const auto type = HeaderValue(line, "content-type")) {
        transfer->contentType = AsciiLowerCopy(*type);
    } else if (const auto robots = HeaderValue(line, "x-robots-tag")) {
        transfer->headerNoindex |= HeaderSaysNoindex(*robots);
    } else if (const auto link = HeaderValue(line, "link")) {
        if (transfer->linkCanonical.empty()) {
            transfer->linkCanonical = CanonicalOfLinkHeader(*link, transfer->address).value_or("");
        }
    }
    return line.size();
}

size_t KeepBody(char* data, size_t size, size_t count, void* transferPointer) {
    auto* transfer = static_cast<Transfer*>(transferPointer);
    const std::string_view admitted = transfer->cap.Admit({data, size * count});
    transfer->body.append(admitted);
    return transfer->cap.cut ? 0 : size * count;  // the rest of a long page is not read
}

// Why a transfer brought no answer. One cut by the slow-answer bound before its time ran out
// had begun to answer: it was too slow, not silent.
TransferFailure WhyNoAnswer(const Transfer& transfer, CURLcode result, const RunRouting& routing) {
    TransferFailure failure = FailureOf(result);
    long status = 0;
    curl_off_t took = 0;
    curl_easy_getinfo(transfer.easy.get(), CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(transfer.easy.get(), CURLINFO_TOTAL_TIME_T, &took);
    if (failure.kind == TransferFailure::Kind::TimedOut && status != 0 &&
        std::chrono::microseconds(took) < routing.limits.total) {
        failure.kind = TransferFailure::Kind::TooSlow;
    }
    return failure;
}

// What lies between an address's scheme and its path, as it is spelt: enough to tell sites
// apart when counting them.
std::string_view Authority(std::string_view address) {
    const std::size_t scheme = address.find("://");
    const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
    return address.substr(start, address.find('/', start) - start);
}

// The check as the answer's status and headers give it; whether its HTML is still to be read.
PageCheck Judge(Transfer& transfer, CURLcode result, const RunRouting& routing, bool& readHtml) {
    PageCheck check{.address = transfer.address};
    readHtml = false;
    curl_easy_getinfo(transfer.easy.get(), CURLINFO_RESPONSE_CODE, &check.status);
    check.cut = transfer.cap.cut;
    if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && transfer.cap.cut)) {
        check.detail = Describe(WhyNoAnswer(transfer, result, routing));
        return check;
    }
    if (OneLine(transfer.etag) && OneLine(transfer.lastModified)) {
        check.etag = transfer.etag;
        check.lastModified = transfer.lastModified;
    }
    const long status = check.status;
    if (status == 304) {
        check.verdict = PageVerdict::NotModified;
    } else if (status == 404 || status == 410) {
        check.verdict = PageVerdict::Removed;
    } else if (status >= 300 && status <= 399) {
        check.verdict = PageVerdict::Redirected;
        check.detail = ResolveAddress(transfer.address, transfer.location).value_or("");
    } else if (status != 200) {
        check.detail = "answered " + std::to_string(status);
    } else if (transfer.headerNoindex == kEveryRobot) {
        check.verdict = PageVerdict::Noindex;
    } else if (Elsewhere(transfer.linkCanonical, transfer.address)) {
        check.verdict = PageVerdict::CanonicalElsewhere;
        check.detail = transfer.linkCanonical;
    } else if (transfer.contentType.find("html") != std::string::npos) {
        check.noindexFor = transfer.headerNoindex;
        readHtml = true;
    } else {
        check.verdict = PageVerdict::Indexable;
        check.noindexFor = transfer.headerNoindex;
        check.fingerprint = XXH3_64bits(transfer.body.data(), transfer.body.size());
    }
    return check;
}

}  // namespace

std::string_view VerdictWord(PageVerdict verdict) {
    switch (verdict) {
        case PageVerdict::Indexable:
            return "indexable";
        case PageVerdict::NotModified:
            return "not modified";
        case PageVerdict::Noindex:
            return "noindex";
        case PageVerdict::CanonicalElsewhere:
            return "canonical elsewhere";
        case PageVerdict::Redirected:
            return "redirected";
        case PageVerdict::Removed:
            return "removed";
        case PageVerdict::Disallowed:
            return "disallowed by robots.txt";
        case PageVerdict::Failed:
            return "error";
    }
    return "";
}

PageChecker::PageChecker(RunRouting routing, CheckLimits limits, std::stop_token stop)
    : routing_(std::move(routing)), limits_(limits), stop_(std::move(stop)) {}

std::vector<PageCheck> PageChecker::Check(const std::vector<PageCheckRequest>& pages,
                                          const CheckHooks& hooks) {
    std::vector<PageCheck> checks(pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        checks[i] = {.address = pages[i].address, .detail = "not checked: cancelled"};
    }
    const auto judged = [&](std::size_t index, PageCheck check) {
        checks[index] = std::move(check);
        if (hooks.done) {
            hooks.done(checks[index]);
        }
    };
    std::unique_ptr<Readers> readers;
    std::vector<std::pair<std::size_t, PageCheck>> read;
    const Stage reading{
        .attach =
            [&](CURLM* multi) {
                // A reader a core, no more than there are pages or than keep the fetching fed.
                const std::size_t cores = std::max(1U, std::thread::hardware_concurrency());
                readers = std::make_unique<Readers>(
                    std::max<std::size_t>(1, std::min({cores, pages.size(), kMaxReaders})), multi);
            },
        .full = [&] { return readers->Full(); },
        .drain =
            [&] {
                const bool more = readers->Take(read);
                for (auto& [index, check] : read) {
                    judged(index, std::move(check));
                }
                return more;
            },
        .finished =
            [&](Transfer& transfer, CURLcode result) {
                bool readHtml = false;
                PageCheck check = Judge(transfer, result, routing_, readHtml);
                if (readHtml) {
                    readers->Hand(transfer.index, std::move(check), std::move(transfer.body));
                } else {
                    judged(transfer.index, std::move(check));
                }
            },
    };
    Transfers(pages, TransferKind::Page, hooks, reading);
    readers.reset();  // before the multi handle its readers wake goes
    return checks;
}

// As the engines read robots.txt: a redirect is followed, a file that is not there (any 4xx)
// allows every page, and a server that fails to answer allows none for now.
std::vector<RobotsAnswer> PageChecker::ReadRobots(const std::vector<std::string>& siteRoots) {
    std::vector<PageCheckRequest> requests;
    std::vector<RobotsAnswer> answers(siteRoots.size(), {.failure = "not read: cancelled"});
    for (const std::string& root : siteRoots) {
        requests.push_back({.address = root + "robots.txt"});
    }
    Transfers(requests, TransferKind::Robots, {},
              {.finished = [&](Transfer& transfer, CURLcode result) {
                  RobotsAnswer& answer = answers[transfer.index];
                  long status = 0;
                  curl_easy_getinfo(transfer.easy.get(), CURLINFO_RESPONSE_CODE, &status);
                  if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && transfer.cap.cut)) {
                      answer.failure = Describe(WhyNoAnswer(transfer, result, routing_));
                  } else if (status >= 200 && status <= 299) {
                      answer = {.text = std::move(transfer.body)};
                  } else if (status >= 400 && status <= 499) {
                      answer = {};
                  } else {
                      answer.failure = "answered " + std::to_string(status);
                  }
              }});
    return answers;
}

void PageChecker::Transfers(const std::vector<PageCheckRequest>& requests, TransferKind kind,
                            const CheckHooks& hooks, const Stage& stage) {
    const bool robots = kind == TransferKind::Robots;
    const std::size_t maxBody = robots ? kMaxRobotsBytes : limits_.maxBodyBytes;
    using Clock = std::chrono::steady_clock;
    const MultiHandle multi(curl_multi_init());
    if (!multi) {
        return;
    }
    if (stage.attach) {
        stage.attach(multi.get());
    }
    const auto full = [&] { return stage.full && stage.full(); };
    const auto draining = [&] { return stage.drain && stage.drain(); };
    curl_multi_setopt(multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, limits_.hostConnections);
    curl_multi_setopt(multi.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    const auto stopped = [&] { return stop_.stop_requested(); };

    // The pages of a site that asks for a crawl delay wait in its own queue, one in flight.
    struct Paced {
        std::chrono::milliseconds delay;
        std::deque<std::size_t> waiting{};
        bool busy = false;
        Clock::time_point next{};
    };
    std::map<std::string, Paced, std::less<>> paced;
    // The others wait in their host's queue until one of its connections is free: in libcurl's
    // queue their time limits would run while slow pages hold the connections.
    std::map<std::string_view, std::deque<std::size_t>> open;
    std::map<std::string_view, long> busy;
    std::size_t opened = 0;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const std::string root =
            hooks.crawlDelays.empty() ? std::string() : SiteRoot(requests[i].address).value_or("");
        const auto delay = hooks.crawlDelays.find(root);
        if (delay == hooks.crawlDelays.end()) {
            open[Authority(requests[i].address)].push_back(i);
            ++opened;
        } else {
            paced.try_emplace(root, Paced{.delay = delay->second})
                .first->second.waiting.push_back(i);
        }
    }
    const std::size_t inFlight = limits_.inFlight;
    const auto slowOver = std::min(
        limits_.slowOver, std::chrono::duration_cast<std::chrono::seconds>(routing_.limits.idle));

    std::vector<std::unique_ptr<Transfer>> running;
    // A finished transfer's handle serves the next: its buffers are kept, only its options reset.
    std::vector<EasyHandle> spare;
    const auto add = [&](std::size_t index, const std::string& site) {
        auto transfer = std::make_unique<Transfer>(routing_, requests[index], index, maxBody);
        transfer->paced = site;
        if (spare.empty()) {
            transfer->easy.reset(curl_easy_init());
        } else {
            transfer->easy = std::move(spare.back());
            spare.pop_back();
            curl_easy_reset(transfer->easy.get());
        }
        CURL* e = transfer->easy.get();
        if (e == nullptr) {
            return false;
        }
        SetUpTransfer(e, routing_, transfer->lists, {.followRedirects = robots ? 5L : 0L});
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, limits_.slowBytesPerSecond);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME,
                         std::max(1L, static_cast<long>(slowOver.count())));
        curl_easy_setopt(e, CURLOPT_URL, WireUrl(transfer->address).c_str());
        curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
        // Read as the engines read it: decoded, the body's cap counting what it decodes to.
        curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &KeepHeader);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, transfer.get());
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &KeepBody);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, transfer.get());
        curl_easy_setopt(e, CURLOPT_PRIVATE, transfer.get());
        curl_multi_add_handle(multi.get(), e);
        running.push_back(std::move(transfer));
        return true;
    };
    // Starts what may start now; returns how long until a paced site may have its next page.
    const auto start = [&]() -> std::chrono::milliseconds {
        std::chrono::milliseconds wait{100};
        const Clock::time_point now = Clock::now();
        for (auto& [site, queue] : paced) {
            if (queue.waiting.empty() || queue.busy) {
                continue;
            }
            if (now < queue.next) {
                wait =
                    std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(queue.next - now));
                continue;
            }
            queue.busy = true;
            add(queue.waiting.front(), site);
            queue.waiting.pop_front();
        }
        for (auto& [host, queue] : open) {
            while (!queue.empty() && busy[host] < limits_.hostConnections &&
                   running.size() < inFlight && !full()) {
                busy[host] += add(queue.front(), {}) ? 1 : 0;
                queue.pop_front();
                --opened;
            }
        }
        return wait;
    };
    const auto waiting = [&] {
        return std::any_of(paced.begin(), paced.end(),
                           [](const auto& queue) { return !queue.second.waiting.empty(); });
    };

    start();
    for (;;) {
        if (stopped()) {
            for (const auto& transfer : running) {
                curl_multi_remove_handle(multi.get(), transfer->easy.get());
            }
            running.clear();
            return;
        }
        if (running.empty() && !waiting() && opened == 0 && !draining()) {
            return;
        }
        int stillRunning = 0;
        curl_multi_perform(multi.get(), &stillRunning);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            Transfer* transfer = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
            stage.finished(*transfer, message->data.result);
            curl_multi_remove_handle(multi.get(), message->easy_handle);
            spare.push_back(std::move(transfer->easy));
            if (const auto site = paced.find(transfer->paced); site != paced.end()) {
                site->second.busy = false;
                site->second.next = Clock::now() + site->second.delay;
            } else {
                --busy[Authority(transfer->address)];
            }
            std::erase_if(running, [&](const auto& t) { return t.get() == transfer; });
        }
        draining();
        const std::chrono::milliseconds wait = start();
        curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(wait.count()), nullptr);
    }
}

}  // namespace quaymark
