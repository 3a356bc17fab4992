#pragma once

#include <filesystem>

namespace quaymark::ui {

// Where the URL list lives: quaysites.dat in the program's directory under the user's data
// directory ($XDG_DATA_HOME, else ~/.local/share).
std::filesystem::path UrlListPath();

// The history database: history.sqlite in the program's data directory, beside the URL list
// it belongs to.
std::filesystem::path HistoryPath(const std::filesystem::path& listFile);

// The IndexNow settings: quaymark/indexnow.conf under the user's configuration directory
// ($XDG_CONFIG_HOME, else ~/.config).
std::filesystem::path IndexNowSettingsPath();

// The program's own directory for error pages: quaymark/pages under the user's cache
// directory ($XDG_CACHE_HOME, else ~/.cache), made with mode 0700 when missing.
std::filesystem::path ErrorPageDirectory();

}  // namespace quaymark::ui
