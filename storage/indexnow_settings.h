#pragma once

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "storage/atomic_file.h"

namespace quaymark {

// The shared endpoint first, then the engines' own.
inline constexpr std::array<std::string_view, 6> kIndexNowEndpoints{
    "https://api.indexnow.org/indexnow",
    "https://www.bing.com/indexnow",
    "https://yandex.com/indexnow",
    "https://search.seznam.cz/indexnow",
    "https://searchadvisor.naver.com/indexnow",
    "https://indexnow.yep.com/indexnow"};
inline constexpr std::string_view kDefaultIndexNowEndpoint = kIndexNowEndpoints[0];

// The user's channel settings, a section for each: [indexnow] with the lines key=<key>,
// endpoint=<url>, enabled=true|false, keyLocation=<url> (empty: the key file is at the site's
// root) and onlyNewOrChanged=true; [classic] with classic=false; [checks] with
// checkPages=false; [google] with google=true. A section whose settings are all as by default
// is not written. The files of before the sections (the same lines, none under a heading) are
// read as they always were. A missing file means IndexNow is off; a file without one of the
// last five lines has no key location, announces every page, sends to the seven classic
// add-URL pages, checks the pages before announcing them and leaves Google Search Console off.
// A channel of an engine's own API, in a section of its own named after it ([bing]): on or off
// (bing=true), the sites it serves, blank-separated (bingSites=...; every site when none), and,
// where the engine also answers plain http, whether to use it (bingPlainHttp=true). Its
// credential is never here.
struct AccountSettings {
    bool enabled = false;
    std::vector<std::string> sites{};
    bool plainHttp = false;

    bool operator==(const AccountSettings&) const = default;
};

struct IndexNowSettings {
    std::string key{};
    std::string endpoint{kDefaultIndexNowEndpoint};
    bool enabled = false;
    std::string keyLocation{};
    bool onlyNewOrChanged = false;
    // Runs send to the seven classic add-URL pages as well as through the modern channels.
    bool classic = true;
    // Each page is fetched and judged before a modern channel announces it.
    bool checkPages = true;
    // Google Search Console, with the service account's key kept beside the settings.
    bool google = false;
    // The engines' own APIs, by section; one not here is off.
    std::map<std::string, AccountSettings, std::less<>> accounts{};
    // The gate before the modern channels: hosts (or patterns) let through although they
    // cannot be a public site, and those never announced; blank-separated in [gate].
    std::vector<std::string> letThrough{};
    std::vector<std::string> notAnnounced{};
};

// A key is 8 to 128 characters from a-z, A-Z, 0-9 and "-".
bool IsValidIndexNowKey(std::string_view key);

// Reads the settings; an unknown line, or one under another setting's section, is passed
// over, an invalid key is not taken.
FileResult LoadIndexNowSettings(const std::filesystem::path& path, IndexNowSettings& settings);
// Keeps the copy of a service account's key: written atomically, the user's alone (0600)
// whatever the file was before.
FileResult SaveServiceKeyFile(const std::filesystem::path& path, const std::string& text,
                              WriteBytes write = ::write);

// Writes the settings atomically, mode 0600 for a new file; refuses an invalid key.
FileResult SaveIndexNowSettings(const std::filesystem::path& path,
                                const IndexNowSettings& settings);

}  // namespace quaymark
