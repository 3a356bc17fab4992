#include "engine/net/page_fetcher.h"

#include <curl/curl.h>

#include <memory>
#include <string_view>
#include <utility>

#include "engine/net/curl_handles.h"
#include "engine/net/http_text.h"

namespace quaymark {
namespace {

constexpr std::string_view kHttpPrefix = "http://";
constexpr std::size_t kMaxHeaderBytes = std::size_t{1} << 20;

// The wire form of an http URL that can be parsed, or nothing.
std::optional<std::string> ParseHttpUrl(const std::string& url) {
    const std::string wire = WireUrl(url);
    const UrlHandle parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, wire.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    char* scheme = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) {
        return std::nullopt;
    }
    const bool isHttp = std::string_view(scheme) == "http";
    curl_free(scheme);
    if (!isHttp) {
        return std::nullopt;
    }
    return wire;
}

bool IsFollowedRedirect(long status) {
    return status == 301 || status == 302 || status == 303;
}

}  // namespace

// What every request of a fetcher shares: the fixed header lines, the test-only connection
// routes, and the DNS cache, so that a run looks each host up once while every request
// still opens and closes a connection of its own.
struct PageFetcher::SharedLists {
    explicit SharedLists(const RunRouting& routing) : lists(routing, {"Accept: text/*"}) {}
    RequestLists lists;
    ShareHandle dnsCache{curl_share_init()};
};

// One exchange after another on one easy handle: the request options are set once, each
// Perform sends the GET and reads the answer.
class PageFetcher::Transfer {
public:
    // Which answers are taken without their body: the caller acts on the status instead.
    enum class Stage { First, AfterAuth, Redirected };

    struct Outcome {
        bool answered = false;  // a complete status line and headers arrived
        long status = 0;
        std::string headers;
    };

    Transfer(EasyHandle easy, const RunRouting& routing, const SharedLists& shared,
             PageLines& lines)
        : easy_(std::move(easy)),
          limits_(routing.limits),
          cap_{.limit = routing.limits.maxBodyBytes},
          splitter_(lines, routing.limits.maxPieces) {
        CURL* e = easy_.get();
        SetUpTransfer(e, routing, shared.lists, {.protocols = "http", .verified = false});
        curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(e, CURLOPT_SHARE, shared.dnsCache.get());
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
        curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
    }

    void SetCredentials(const std::optional<Credentials>& credentials) {
        CURL* e = easy_.get();
        if (credentials) {
            curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
            curl_easy_setopt(e, CURLOPT_USERNAME, credentials->user.c_str());
            curl_easy_setopt(e, CURLOPT_PASSWORD, credentials->password.c_str());
        } else {
            curl_easy_setopt(e, CURLOPT_USERNAME, nullptr);
            curl_easy_setopt(e, CURLOPT_PASSWORD, nullptr);
        }
    }

    // Sends the request. Answers the stage does not take whole end at their headers; any
    // other answer's body is read into the lines, keeping what arrived before a failure.
    Outcome Perform(const std::string& wireUrl, Stage stage) {
        stage_ = stage;
        outcome_ = Outcome{};
        headersDone_ = false;
        skipBody_ = false;
        cap_ = BodyCap{.limit = limits_.maxBodyBytes};
        // The total limit counts network time only: not the time the user takes to answer
        // the password dialog between two exchanges.
        const auto remaining =
            std::chrono::duration_cast<std::chrono::milliseconds>(limits_.total - networkTime_);
        if (remaining.count() <= 0) {
            return outcome_;
        }
        const Clock::time_point start = Clock::now();
        lastActivity_ = start;
        CURL* e = easy_.get();
        curl_easy_setopt(e, CURLOPT_URL, wireUrl.c_str());
        curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(remaining.count()));
        const CURLcode result = curl_easy_perform(e);
        networkTime_ += Clock::now() - start;
        if (result == CURLE_OK || cap_.cut) {
            splitter_.Finish();
        }
        outcome_.answered = headersDone_;
        return std::move(outcome_);
    }

private:
    using Clock = std::chrono::steady_clock;

    bool TakesWithoutBody(long status) const {
        switch (stage_) {
            case Stage::First:
                return status == 401 || IsFollowedRedirect(status);
            case Stage::AfterAuth:
                return IsFollowedRedirect(status);
            case Stage::Redirected:
                return status != 200;
        }
        return false;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
        auto* t = static_cast<Transfer*>(self);
        const std::string_view line(data, size * count);
        t->lastActivity_ = Clock::now();
        if (line.rfind("HTTP/", 0) == 0) {
            // A new answer begins (after an interim 1xx one): only the last one counts.
            t->outcome_.headers.clear();
            t->headersDone_ = false;
        }
        if (line == "\r\n" || line == "\n") {
            long status = 0;
            curl_easy_getinfo(t->easy_.get(), CURLINFO_RESPONSE_CODE, &status);
            t->outcome_.status = status;
            t->headersDone_ = status >= 200;
            t->skipBody_ = t->headersDone_ && t->TakesWithoutBody(status);
        } else if (t->outcome_.headers.size() + line.size() <= kMaxHeaderBytes) {
            t->outcome_.headers.append(line);
        }
        return line.size();
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* self) {
        auto* t = static_cast<Transfer*>(self);
        if (t->skipBody_) {
            return 0;  // the status is all this answer is wanted for
        }
        t->lastActivity_ = Clock::now();
        // A page that fills the splitter's pieces is cut there as one that fills its bytes.
        if (!t->splitter_.Feed(t->cap_.Admit({data, size * count}))) {
            t->cap_.cut = true;
        }
        return t->cap_.cut ? 0 : size * count;
    }

    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        const auto* t = static_cast<Transfer*>(self);
        return Clock::now() - t->lastActivity_ > t->limits_.idle ? 1 : 0;
    }

    EasyHandle easy_;
    const FetchLimits& limits_;
    BodyCap cap_;
    LineSplitter splitter_;
    Clock::duration networkTime_{};
    Clock::time_point lastActivity_;
    Stage stage_ = Stage::First;
    Outcome outcome_;
    bool headersDone_ = false;
    bool skipBody_ = false;
};

PageFetcher::PageFetcher(FetchPrompt& prompt, RunRouting routing)
    : prompt_(prompt),
      routing_(std::move(routing)),
      lists_(std::make_unique<SharedLists>(routing_)) {
    // One fetcher is used by one thread at a time: the share needs no locks.
    curl_share_setopt(lists_->dnsCache.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    lines.reserve(10);
}

PageFetcher::~PageFetcher() = default;

PageLines& PageFetcher::Fetch(std::string url) {
    lines.clear();
    status_ = 0;
    if (url.find(kHttpPrefix) == std::string::npos) {
        if (HasOwnScheme(url)) {
            return lines;  // https, ftp and the like: http is the only scheme served
        }
        url.insert(0, kHttpPrefix);
    }
    return FetchInto(url);
}

PageLines& PageFetcher::FetchInto(const std::string& url) {
    EasyHandle easy(curl_easy_init());
    if (!easy) {
        prompt_.ShowCannotOpenConnection();
        return lines;
    }
    const std::optional<std::string> wire = ParseHttpUrl(url);
    if (!wire) {
        return lines;
    }
    Transfer transfer(std::move(easy), routing_, *lists_, lines);
    Transfer::Outcome answer = transfer.Perform(*wire, Transfer::Stage::First);
    if (answer.answered && answer.status == 401) {
        transfer.SetCredentials(prompt_.AskCredentials(url));
        answer = transfer.Perform(*wire, Transfer::Stage::AfterAuth);
    }
    if (!answer.answered || !IsFollowedRedirect(answer.status)) {
        status_ = answer.answered ? answer.status : 0;
        return lines;
    }
    const std::optional<std::string> location = FindLocation(answer.headers);
    // A fragment of the redirect's target names a place in the page, not a part of the request.
    const std::optional<std::string> target =
        location ? ParseHttpUrl(location->substr(0, location->find('#'))) : std::nullopt;
    if (!target) {
        return lines;
    }
    transfer.SetCredentials(std::nullopt);
    answer = transfer.Perform(*target, Transfer::Stage::Redirected);
    if (!answer.answered || answer.status != 200) {
        lines.clear();
    } else {
        status_ = answer.status;
    }
    return lines;
}

}  // namespace quaymark
