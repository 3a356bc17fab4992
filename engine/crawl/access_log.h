#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quaymark {

// One request of a web server's access log, in the formats nginx and Apache write by default:
// `common` (client, ident, user, [time], "request", status, size), `combined` (with the
// referer and the user agent quoted after them), and Apache's `vhost_combined` (the same,
// after the virtual host and its port). The client's address is kept only while the line is
// read: what a caller keeps of it is its own choice.
struct LogRequest {
    // The virtual host, without its port; empty where the format names none.
    std::string host;
    std::string client;
    // Seconds since the epoch, the line's own offset taken into account.
    std::int64_t time = 0;
    std::string method;
    // The request's target as sent: a path with its query, or an absolute address.
    std::string target;
    int status = 0;
    // Empty in the common format.
    std::string userAgent;
};

// The request a log line records; nothing for a line in none of the formats, whatever its
// length or bytes. The fields' escapes (\" and \\, and nginx's \xHH) are undone.
std::optional<LogRequest> ParseLogLine(std::string_view line);

// "10/Oct/2000:13:55:36 -0700" as seconds since the epoch; nothing when it is no such time.
std::optional<std::int64_t> ParseLogTime(std::string_view text);

}  // namespace quaymark
