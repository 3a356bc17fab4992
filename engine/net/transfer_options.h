#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>

#include "engine/net/curl_handles.h"

namespace quaymark {

// The User-Agent every request of the program carries.
inline constexpr std::string_view kUserAgentHeader = "User-Agent: Quay Marker by Tolvane";

// Bounds that keep a dead or hostile server from holding a run for ever.
struct FetchLimits {
    std::chrono::milliseconds connect{std::chrono::seconds(60)};
    std::chrono::milliseconds idle{std::chrono::seconds(60)};
    std::chrono::milliseconds total{std::chrono::minutes(5)};
    std::size_t maxBodyBytes = std::size_t{16} << 20;
    // A body of bare line feeds would cost far more memory than its bytes.
    std::size_t maxPieces = std::size_t{1} << 20;
};

// Where requests go and within which limits: the real hosts and the limits above in the
// program; loopback ports, short limits and a test authority in tests and benchmarks.
struct RunRouting {
    // Requests for "host:port" connect to 127.0.0.1 at the given port while the request line
    // and Host header stay as they are. The key ":" matches any.
    std::map<std::string, std::uint16_t> connectTo;
    FetchLimits limits;
    // A certificate authority trusted instead of the system's store, for a test's own TLS
    // server; empty in the program.
    std::string caFile;
    // The name server ("127.0.0.1:port") asked of robots' addresses instead of the system's,
    // for a test's own; empty in the program.
    std::string nameServer{};
};

// The header lines (the given ones, then the User-Agent) and the loopback routes of a
// routing, built once and shared by its requests.
struct RequestLists {
    RequestLists(const RunRouting& routing, std::initializer_list<std::string_view> headerLines);
    Slist headers;
    Slist connectTo;
};

// What sets one kind of transfer apart from the others.
struct TransferSetup {
    // The schemes a request may use, and those a redirect libcurl follows may lead to.
    const char* protocols = "http,https";
    // The redirects libcurl follows itself; none by default, the caller deciding.
    long followRedirects = 0;
    // For the transfers whose body matters (IndexNow, the key check, sitemaps): certificates
    // verified against the system's store or the routing's authority, a trickle cut off like
    // silence, and the routing's total limit. The add-URL pages are judged by their text and
    // bound by the fetch's own limits.
    bool verified = true;
};

// The one set-up of every transfer of the program: no signals, no proxy, the fixed headers,
// the routes and the connect limit, then what the setup asks.
void SetUpTransfer(CURL* easy, const RunRouting& routing, const RequestLists& lists,
                   const TransferSetup& setup);

// How much of an answer's body a transfer takes: the bytes beyond the limit are cut off, and
// the transfer ends at them.
struct BodyCap {
    std::size_t limit;
    std::size_t taken = 0;
    bool cut = false;

    // The part of the bytes that fits.
    std::string_view Admit(std::string_view bytes);
};

// Why a transfer brought no answer: the kind the program acts on, with libcurl's own words.
struct TransferFailure {
    enum class Kind {
        None,
        CouldNotStart,
        Untrusted,
        NotResolved,
        Refused,
        TimedOut,
        TooSlow,
        HeadersTooLarge,
        Cancelled,
        TooManyRedirects,
        NonWebRedirect,  // the detail is where the redirect led
        Other,
    };
    Kind kind = Kind::None;
    std::string detail{};

    explicit operator bool() const { return kind != Kind::None; }
    bool operator==(const TransferFailure&) const = default;
};
TransferFailure FailureOf(CURLcode code);
// In the user's words: "certificate not trusted", "name not resolved", "connection refused",
// "timed out", "too slow", "the answer's headers were too large", else libcurl's own.
std::string Describe(const TransferFailure& failure);

}  // namespace quaymark
