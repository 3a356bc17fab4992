#include "engine/sitemap/w3c_date.h"

#include <charconv>
#include <chrono>

#include "engine/net/http_text.h"

namespace quaymark {
namespace {

// Reads a fixed number of digits; false when they are not all there.
bool Digits(std::string_view& text, std::size_t count, int& value) {
    if (text.size() < count) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + count, value);
    if (error != std::errc{} || end != text.data() + count) {
        return false;
    }
    text.remove_prefix(count);
    return true;
}

bool Skip(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

}  // namespace

std::optional<std::int64_t> ParseW3cDate(std::string_view text) {
    using namespace std::chrono;
    text = Trimmed(text);
    int year = 0;
    int month = 1;
    int day = 1;
    if (!Digits(text, 4, year)) {
        return std::nullopt;
    }
    if (Skip(text, '-') &&
        (!Digits(text, 2, month) || (Skip(text, '-') && !Digits(text, 2, day)))) {
        return std::nullopt;
    }
    const year_month_day date{std::chrono::year(year),
                              std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    int hour = 0;
    int minute = 0;
    int second = 0;
    int offset = 0;
    if (Skip(text, 'T')) {
        if (!Digits(text, 2, hour) || !Skip(text, ':') || !Digits(text, 2, minute)) {
            return std::nullopt;
        }
        if (Skip(text, ':') && !Digits(text, 2, second)) {
            return std::nullopt;
        }
        if (Skip(text, '.')) {
            const std::size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
            if (digits == 0) {
                return std::nullopt;
            }
            text.remove_prefix(digits);
        }
        if (!Skip(text, 'Z')) {
            const int sign = !text.empty() && text.front() == '-' ? -1 : 1;
            int offsetHours = 0;
            int offsetMinutes = 0;
            if (!(Skip(text, '+') || Skip(text, '-')) || !Digits(text, 2, offsetHours) ||
                !Skip(text, ':') || !Digits(text, 2, offsetMinutes)) {
                return std::nullopt;
            }
            offset = sign * (offsetHours * 3600 + offsetMinutes * 60);
        }
        if (hour > 23 || minute > 59 || second > 60) {
            return std::nullopt;
        }
    }
    if (!text.empty()) {
        return std::nullopt;
    }
    const auto midnight = sys_days(date).time_since_epoch();
    return duration_cast<seconds>(midnight).count() + hour * 3600 + minute * 60 + second - offset;
}

}  // namespace quaymark
