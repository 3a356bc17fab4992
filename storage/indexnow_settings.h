#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "storage/atomic_file.h"

namespace quaymark {

inline constexpr std::string_view kDefaultIndexNowEndpoint = "https://api.indexnow.org/indexnow";

// The user's IndexNow settings, kept as the lines key=<key>, endpoint=<url> and
// enabled=true|false. A missing file means IndexNow is off.
struct IndexNowSettings {
    std::string key;
    std::string endpoint{kDefaultIndexNowEndpoint};
    bool enabled = false;
};

// A key is 8 to 128 characters from a-z, A-Z, 0-9 and "-".
bool IsValidIndexNowKey(std::string_view key);

// Reads the settings; an unknown line is passed over, an invalid key is not taken.
FileResult LoadIndexNowSettings(const std::filesystem::path& path, IndexNowSettings& settings);
// Writes the settings atomically, mode 0600 for a new file; refuses an invalid key.
FileResult SaveIndexNowSettings(const std::filesystem::path& path,
                                const IndexNowSettings& settings);

}  // namespace quaymark
