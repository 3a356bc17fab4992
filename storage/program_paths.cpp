#include "storage/program_paths.h"

#include <string>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace quaymark {
namespace {

std::filesystem::path Home() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        return home;
    }
    const passwd* user = ::getpwuid(::getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "/";
}

// A relative base directory is invalid and is passed over, as the desktop's rules say.
std::filesystem::path BaseDirectory(const char* variable, const char* fallback) {
    if (const char* value = std::getenv(variable); value != nullptr && *value == '/') {
        return value;
    }
    return Home() / fallback;
}

// Error pages hold what the engines answered about the user's pages: theirs alone.
void MakePrivateDirectory(const std::filesystem::path& directory) {
    ::mkdir(directory.c_str(), 0700);
}

}  // namespace

std::filesystem::path DataHome() {
    return BaseDirectory("XDG_DATA_HOME", ".local/share");
}

std::filesystem::path ConfigHome() {
    return BaseDirectory("XDG_CONFIG_HOME", ".config");
}

std::filesystem::path CacheHome() {
    return BaseDirectory("XDG_CACHE_HOME", ".cache");
}

std::filesystem::path UrlListPath() {
    return DataHome() / "quaymark" / "quaysites.dat";
}

std::filesystem::path HistoryPath(const std::filesystem::path& listFile) {
    return listFile.parent_path() / "history.sqlite";
}

std::filesystem::path ListLockPath(const std::filesystem::path& listFile) {
    std::filesystem::path lock = listFile;
    return lock += ".lock";
}

std::filesystem::path RunLockPath(const std::filesystem::path& listFile) {
    std::filesystem::path lock = listFile;
    return lock += ".run.lock";
}

std::filesystem::path IndexNowSettingsPath() {
    return ConfigHome() / "quaymark" / "indexnow.conf";
}

std::filesystem::path GoogleKeyPath() {
    return ConfigHome() / "quaymark" / "google-service-account.json";
}

std::filesystem::path CredentialPath(std::string_view section) {
    return ConfigHome() / "quaymark" / (std::string(section) + ".credential");
}

std::filesystem::path ErrorPageDirectory() {
    const std::filesystem::path cache = CacheHome();
    std::error_code ignored;  // a directory that cannot be made leaves the pages unwritten
    std::filesystem::create_directories(cache.parent_path(), ignored);
    MakePrivateDirectory(cache);
    MakePrivateDirectory(cache / "quaymark");
    MakePrivateDirectory(cache / "quaymark" / "pages");
    return cache / "quaymark" / "pages";
}

}  // namespace quaymark
