#pragma once

#include <string>
#include <vector>

#include "storage/history.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"

namespace quaymark {

// The user's history, made when it is not there yet.
inline History::Opened UserHistory() {
    return History::Open(HistoryPath(UrlListPath()));
}

// The user's history for reading: none, and no problem, while its file is not there, so that
// looking makes no file.
inline History::Opened HistoryIfAny() {
    const std::filesystem::path file = HistoryPath(UrlListPath());
    return FileExists(file) ? History::Open(file) : History::Opened{};
}

// The user's list as its file holds it, a list not made yet being an empty one; why it could
// not be read, or nothing.
inline std::string ReadUserList(std::vector<std::string>& list) {
    std::string email;
    const std::filesystem::path file = UrlListPath();
    const FileResult loaded = LoadUrlList(file, list, email);
    return !loaded && !loaded.Missing()
               ? "the list " + file.string() + " could not be read: " + loaded.Reason()
               : std::string();
}

}  // namespace quaymark
