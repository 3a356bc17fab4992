#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quaymark {

// A W3C date and time as sitemaps give <lastmod> ("2026-12-08", "2026-12-08T10:30:00+01:00"),
// in seconds since the epoch; nothing for any other text.
std::optional<std::int64_t> ParseW3cDate(std::string_view text);

}  // namespace quaymark
