#include "engine/check/page_checker.h"

#include <xxhash.h>

#include <memory>

#include "engine/check/page_reader.h"
#include "engine/net/curl_handles.h"
#include "engine/net/http_text.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

// One page's transfer: its request lines, what the answer's headers said and its body.
struct Transfer {
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
    bool headerNoindex = false;
    std::string linkCanonical;
};

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
        transfer->headerNoindex = false;
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
        transfer->headerNoindex = transfer->headerNoindex || HeaderSaysNoindex(*robots);
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

// Another address than the page's own, as both are normalised.
bool Elsewhere(const std::string& canonical, const std::string& address) {
    return !canonical.empty() && canonical != NormalisedAddress(address).value_or(address);
}

PageCheck Judge(Transfer& transfer, CURLcode result) {
    PageCheck check{.address = transfer.address};
    curl_easy_getinfo(transfer.easy.get(), CURLINFO_RESPONSE_CODE, &check.status);
    check.cut = transfer.cap.cut;
    if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && transfer.cap.cut)) {
        check.detail = Describe(FailureOf(result));
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
    } else if (transfer.headerNoindex) {
        check.verdict = PageVerdict::Noindex;
    } else if (Elsewhere(transfer.linkCanonical, transfer.address)) {
        check.verdict = PageVerdict::CanonicalElsewhere;
        check.detail = transfer.linkCanonical;
    } else if (transfer.contentType.find("html") != std::string::npos) {
        const PageReading reading = ReadPage(transfer.body, transfer.address);
        check.verdict = reading.noindex ? PageVerdict::Noindex
                        : Elsewhere(reading.canonical, transfer.address)
                            ? PageVerdict::CanonicalElsewhere
                            : PageVerdict::Indexable;
        check.detail = check.verdict == PageVerdict::CanonicalElsewhere ? reading.canonical : "";
        check.fingerprint = reading.fingerprint;
        check.cut = check.cut || reading.cut;
    } else {
        check.verdict = PageVerdict::Indexable;
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
        case PageVerdict::Failed:
            return "error";
    }
    return "";
}

PageChecker::PageChecker(RunRouting routing, CheckLimits limits)
    : routing_(std::move(routing)), limits_(limits) {}

std::vector<PageCheck> PageChecker::Check(const std::vector<PageCheckRequest>& pages,
                                          const std::function<void(const PageCheck&)>& done) {
    std::vector<PageCheck> checks(pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        checks[i] = {.address = pages[i].address, .detail = "not checked: cancelled"};
    }
    const MultiHandle multi(curl_multi_init());
    if (!multi) {
        return checks;
    }
    curl_multi_setopt(multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, limits_.hostConnections);
    curl_multi_setopt(multi.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    std::vector<std::unique_ptr<Transfer>> running;
    std::size_t next = 0;
    const auto start = [&] {
        while (next < pages.size() && running.size() < limits_.inFlight && !cancelled_) {
            auto transfer =
                std::make_unique<Transfer>(routing_, pages[next], next, limits_.maxBodyBytes);
            ++next;
            transfer->easy.reset(curl_easy_init());
            CURL* e = transfer->easy.get();
            if (e == nullptr) {
                continue;
            }
            SetUpTransfer(e, routing_, transfer->lists, {});
            curl_easy_setopt(e, CURLOPT_URL, WireUrl(transfer->address).c_str());
            curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
            curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &KeepHeader);
            curl_easy_setopt(e, CURLOPT_HEADERDATA, transfer.get());
            curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &KeepBody);
            curl_easy_setopt(e, CURLOPT_WRITEDATA, transfer.get());
            curl_easy_setopt(e, CURLOPT_PRIVATE, transfer.get());
            curl_multi_add_handle(multi.get(), e);
            running.push_back(std::move(transfer));
        }
    };
    start();
    while (!running.empty()) {
        int stillRunning = 0;
        curl_multi_perform(multi.get(), &stillRunning);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            Transfer* transfer = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
            PageCheck& check = checks[transfer->index];
            check = Judge(*transfer, message->data.result);
            curl_multi_remove_handle(multi.get(), message->easy_handle);
            if (done) {
                done(check);
            }
            std::erase_if(running, [&](const auto& t) { return t.get() == transfer; });
        }
        if (cancelled_) {
            for (const auto& transfer : running) {
                curl_multi_remove_handle(multi.get(), transfer->easy.get());
            }
            running.clear();
            break;
        }
        start();
        if (!running.empty()) {
            curl_multi_poll(multi.get(), nullptr, 0, 100, nullptr);
        }
    }
    return checks;
}

}  // namespace quaymark
