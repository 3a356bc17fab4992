#pragma once

#include <memory>
#include <optional>
#include <string>

#include "engine/net/page_lines.h"
#include "engine/net/transfer_options.h"

namespace quaymark {

struct Credentials {
    std::string user;
    std::string password;
};

// What a fetch asks of the person at the screen. The fetch runs on the worker thread; an
// implementation holds it there until the user has answered.
class FetchPrompt {
public:
    virtual ~FetchPrompt() = default;
    // The message "Cannot open internet connection.".
    virtual void ShowCannotOpenConnection() = 0;
    // The password dialog after a 401; no value means the user gave none.
    virtual std::optional<Credentials> AskCredentials(const std::string& url) = 0;
};

// One HTTP GET whose answer page comes back as line pieces.
class PageFetcher {
public:
    // The routing says where the requests go and within which limits.
    explicit PageFetcher(FetchPrompt& prompt, RunRouting routing = {});
    PageFetcher(const PageFetcher&) = delete;
    PageFetcher& operator=(const PageFetcher&) = delete;
    virtual ~PageFetcher();

    // Fetches the URL; returns the fetcher's lines, empty when no page was obtained. The same
    // list is returned by every call.
    PageLines& Fetch(std::string url);
    // The status of the answer whose body the lines hold; 0 when no page was obtained.
    long status() const { return status_; }

private:
    class Transfer;
    struct SharedLists;

    PageLines& FetchInto(const std::string& url);

    FetchPrompt& prompt_;
    RunRouting routing_;
    std::unique_ptr<SharedLists> lists_;
    PageLines lines;
    long status_ = 0;
};

}  // namespace quaymark
