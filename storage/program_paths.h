#pragma once

#include <filesystem>
#include <string_view>

namespace quaymark {

// The program's files, where the desktop's base directories put them. Both programs, the
// window and the announcer, find them here.

// The user's directories: $XDG_DATA_HOME, $XDG_CONFIG_HOME, $XDG_CACHE_HOME when absolute,
// else ~/.local/share, ~/.config and ~/.cache.
std::filesystem::path DataHome();
std::filesystem::path ConfigHome();
std::filesystem::path CacheHome();

// Where the URL list lives: quaysites.dat in the program's directory under the user's data
// directory.
std::filesystem::path UrlListPath();

// The history database: history.sqlite in the program's data directory, beside the URL list
// it belongs to.
std::filesystem::path HistoryPath(const std::filesystem::path& listFile);

// Taken by whoever may write the list: the list file's name and ".lock", beside it.
std::filesystem::path ListLockPath(const std::filesystem::path& listFile);

// Taken by whoever announces, so that one announcement runs at a time: the list file's name
// and ".run.lock", beside it.
std::filesystem::path RunLockPath(const std::filesystem::path& listFile);

// The channel settings: quaymark/indexnow.conf under the user's configuration directory.
std::filesystem::path IndexNowSettingsPath();

// The copy of the service account's key for Google Search Console:
// quaymark/google-service-account.json under the user's configuration directory.
std::filesystem::path GoogleKeyPath();

// The credential of an engine's own channel, the user's alone:
// quaymark/<section>.credential under the user's configuration directory.
std::filesystem::path CredentialPath(std::string_view section);

// The program's own directory for error pages: quaymark/pages under the user's cache
// directory, made with mode 0700 when missing.
std::filesystem::path ErrorPageDirectory();

}  // namespace quaymark
