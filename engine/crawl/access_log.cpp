#include "engine/crawl/access_log.h"

#include <array>
#include <charconv>
#include <chrono>

namespace quaymark {
namespace {

// Reads the fields of a line from its start, each after the space that ends the one before.
class Fields {
public:
    explicit Fields(std::string_view line) : rest_(line) {}

    bool done() const { return rest_.empty(); }
    bool AtBracket() const { return !rest_.empty() && rest_.front() == '['; }

    // A field up to the next space.
    std::optional<std::string_view> Bare() {
        if (rest_.empty() || rest_.front() == ' ') {
            return std::nullopt;
        }
        const std::size_t end = rest_.find(' ');
        const std::string_view field = rest_.substr(0, end);
        Skip(end);
        return field;
    }

    // A field between [ and ].
    std::optional<std::string_view> Bracketed() {
        if (rest_.empty() || rest_.front() != '[') {
            return std::nullopt;
        }
        const std::size_t end = rest_.find(']');
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view field = rest_.substr(1, end - 1);
        Skip(end + 1);
        return field;
    }

    // A field between quotes, its escapes undone.
    std::optional<std::string> Quoted() {
        if (rest_.empty() || rest_.front() != '"') {
            return std::nullopt;
        }
        std::string field;
        for (std::size_t i = 1; i < rest_.size(); ++i) {
            const char c = rest_[i];
            if (c == '"') {
                Skip(i + 1);
                return field;
            }
            if (c != '\\' || i + 1 == rest_.size()) {
                field.push_back(c);
                continue;
            }
            const char next = rest_[++i];
            if (next == 'x' && i + 2 < rest_.size()) {
                unsigned value = 0;
                const char* first = rest_.data() + i + 1;
                if (std::from_chars(first, first + 2, value, 16).ptr == first + 2) {
                    field.push_back(static_cast<char>(value));
                    i += 2;
                    continue;
                }
            }
            field.push_back(next == '"' || next == '\\' ? next : '\\');
            if (next != '"' && next != '\\') {
                field.push_back(next);
            }
        }
        return std::nullopt;  // no closing quote
    }

private:
    // Past the field and the one space after it; a line's end is a field's end too.
    void Skip(std::size_t length) {
        rest_ = length >= rest_.size() ? std::string_view{} : rest_.substr(length);
        if (!rest_.empty() && rest_.front() == ' ') {
            rest_.remove_prefix(1);
        }
    }

    std::string_view rest_;
};

template <typename Number>
bool ReadNumber(std::string_view text, Number& value) {
    return !text.empty() && std::from_chars(text.data(), text.data() + text.size(), value).ptr ==
                                text.data() + text.size();
}

}  // namespace

std::optional<std::int64_t> ParseLogTime(std::string_view text) {
    static constexpr std::array<std::string_view, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // dd/Mon/yyyy:hh:mm:ss +hhmm
    if (text.size() != 26 || text[2] != '/' || text[6] != '/' || text[11] != ':' ||
        text[14] != ':' || text[17] != ':' || text[20] != ' ' ||
        (text[21] != '+' && text[21] != '-')) {
        return std::nullopt;
    }
    unsigned day = 0;
    int year = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int offsetHours = 0;
    int offsetMinutes = 0;
    std::size_t month = 0;
    while (month < kMonths.size() && kMonths[month] != text.substr(3, 3)) {
        ++month;
    }
    if (month == kMonths.size() || !ReadNumber(text.substr(0, 2), day) ||
        !ReadNumber(text.substr(7, 4), year) || !ReadNumber(text.substr(12, 2), hour) ||
        !ReadNumber(text.substr(15, 2), minute) || !ReadNumber(text.substr(18, 2), second) ||
        !ReadNumber(text.substr(22, 2), offsetHours) ||
        !ReadNumber(text.substr(24, 2), offsetMinutes) || hour > 23 || minute > 59 || second > 60 ||
        offsetMinutes > 59) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(year),
                                           std::chrono::month(static_cast<unsigned>(month + 1)),
                                           std::chrono::day(day)};
    if (!date.ok()) {
        return std::nullopt;
    }
    const std::int64_t offset =
        (offsetHours * 3600 + offsetMinutes * 60) * (text[21] == '-' ? -1 : 1);
    const auto days = std::chrono::sys_days(date).time_since_epoch().count();
    return static_cast<std::int64_t>(days) * 86400 + hour * 3600 + minute * 60 + second - offset;
}

std::optional<LogRequest> ParseLogLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    Fields fields(line);
    LogRequest request;
    // Before the time: client, ident and user; `vhost_combined` names "host:port" first.
    std::array<std::string_view, 4> before{};
    std::size_t count = 0;
    while (!fields.AtBracket()) {
        const std::optional<std::string_view> field = fields.Bare();
        if (!field || count == before.size()) {
            return std::nullopt;
        }
        before[count++] = *field;
    }
    if (count == 4) {
        request.host = before[0].substr(0, before[0].rfind(':'));
    } else if (count != 3) {
        return std::nullopt;
    }
    const std::optional<std::string_view> time = fields.Bracketed();
    std::optional<std::string> requestLine = fields.Quoted();
    const std::optional<std::string_view> status = fields.Bare();
    const std::optional<std::string_view> size = fields.Bare();
    if (!time || !requestLine || !status || !size || !ReadNumber(*status, request.status) ||
        request.status < 100 || request.status > 999) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> seconds = ParseLogTime(*time);
    if (!seconds) {
        return std::nullopt;
    }
    request.client = before[count - 3];
    request.time = *seconds;
    // "GET /path HTTP/1.1"; a request the server could not read ("-", or bytes) has no target.
    const std::size_t space = requestLine->find(' ');
    if (space == std::string::npos || space == 0) {
        return std::nullopt;
    }
    request.method = requestLine->substr(0, space);
    const std::size_t end = requestLine->find(' ', space + 1);
    request.target =
        requestLine->substr(space + 1, end == std::string::npos ? end : end - space - 1);
    if (request.target.empty()) {
        return std::nullopt;
    }
    if (!fields.done()) {
        const std::optional<std::string> referer = fields.Quoted();
        std::optional<std::string> agent = fields.Quoted();
        if (!referer || !agent) {
            return std::nullopt;
        }
        request.userAgent = std::move(*agent);
    }
    return request;
}

}  // namespace quaymark
