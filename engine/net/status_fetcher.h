#pragma once

#include <cstddef>
#include <string>

#include "engine/net/transfer_options.h"

namespace quaymark {

// The answer to one request whose status and body are what count.
struct StatusAnswer {
    long status = 0;  // 0: no answer
    std::string statusLine{};
    // The body, cut at the bound of what is kept.
    std::string body{};
    bool bodyCut = false;
    std::string retryAfter{};
    std::string location{};
    // Why no answer came; none when one came.
    TransferFailure failure{};
};

// A request of an API: its method, address, body of its type, and how it is authorised.
struct ApiRequest {
    enum class Method { Get, Post, Put };
    Method method = Method::Get;
    std::string url;
    std::string body{};
    std::string contentType{};
    // The Authorization header's value ("Bearer <token>", "OAuth <token>"); none when empty.
    std::string authorization{};
};

// One HTTPS (or HTTP) request whose answer is judged by its status: IndexNow and its key
// check, Google's APIs. Used from one thread. Certificates are verified against the system's store,
// or against the routing's authority where a test gives one; no redirect is followed, and at most
// kMaxBody bytes of a body are kept.
class StatusFetcher {
public:
    static constexpr std::size_t kMaxBody = std::size_t{64} << 10;

    explicit StatusFetcher(RunRouting routing = {});
    StatusAnswer Get(const std::string& url) const;
    // A POST of a JSON body.
    StatusAnswer Post(const std::string& url, const std::string& json) const;
    // Any request of an API.
    StatusAnswer Send(const ApiRequest& request) const;

private:
    StatusAnswer Perform(const std::string& url, const std::string* json,
                         const RequestLists* lists = nullptr, const char* method = nullptr) const;

    RunRouting routing_;
    RequestLists lists_;
    RequestLists jsonLists_;
    // The connections, TLS sessions and names of its transfers, kept from one to the next:
    // an API asked a thousand times is one connection, not a thousand handshakes.
    ShareHandle shared_;
};

}  // namespace quaymark
