#include "ui/program_dirs.h"

#include <sys/stat.h>

#include <QFile>
#include <QStandardPaths>

namespace quaymark::ui {
namespace {

std::filesystem::path StandardLocation(QStandardPaths::StandardLocation location) {
    return std::filesystem::path(
        QFile::encodeName(QStandardPaths::writableLocation(location)).toStdString());
}

// Error pages hold what the engines answered about the user's pages: theirs alone.
void MakePrivateDirectory(const std::filesystem::path& directory) {
    ::mkdir(directory.c_str(), 0700);
}

}  // namespace

std::filesystem::path UrlListPath() {
    return StandardLocation(QStandardPaths::GenericDataLocation) / "quaymark" / "quaysites.dat";
}

std::filesystem::path HistoryPath(const std::filesystem::path& listFile) {
    return listFile.parent_path() / "history.sqlite";
}

std::filesystem::path IndexNowSettingsPath() {
    return StandardLocation(QStandardPaths::GenericConfigLocation) / "quaymark" / "indexnow.conf";
}

std::filesystem::path ErrorPageDirectory() {
    const std::filesystem::path cache = StandardLocation(QStandardPaths::GenericCacheLocation);
    std::error_code ignored;  // a directory that cannot be made leaves the pages unwritten
    std::filesystem::create_directories(cache.parent_path(), ignored);
    MakePrivateDirectory(cache);
    MakePrivateDirectory(cache / "quaymark");
    MakePrivateDirectory(cache / "quaymark" / "pages");
    return cache / "quaymark" / "pages";
}

}  // namespace quaymark::ui
