#include "engine/crawl/log_rotations.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace quaymark {
namespace {

// How old a rotation is, the oldest greatest: 3 for access.log.3 (or .3.gz) as logrotate
// numbers them, and for its dated names (access.log-20261209, .gz too) the older the date, the
// greater; 0 for any other name.
long RotationAge(const std::string& name, const std::string& log) {
    if (name.size() <= log.size() + 1 || name.compare(0, log.size(), log) != 0) {
        return 0;
    }
    const char mark = name[log.size()];
    std::string rest = name.substr(log.size() + 1);
    if (rest.size() > 3 && rest.compare(rest.size() - 3, 3, ".gz") == 0) {
        rest.resize(rest.size() - 3);
    }
    if (rest.empty() ||
        !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return 0;
    }
    if (mark == '.' && rest.size() <= 6) {
        return std::atol(rest.c_str());
    }
    constexpr long kLastDate = 99991231;
    return mark == '-' && rest.size() == 8 ? kLastDate + 1 - std::atol(rest.c_str()) : 0;
}

struct GzClose {
    void operator()(gzFile file) const { gzclose(file); }
};

// A rotation read whole, compressed or not (zlib reads a plain file as it is).
std::string ReadWhole(const std::filesystem::path& path,
                      const std::function<void(std::string_view)>& each, LogReading& reading,
                      std::uint64_t maxBytes, const std::stop_token& stop) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return "not a regular file";
    }
    const std::unique_ptr<gzFile_s, GzClose> file(gzopen(path.c_str(), "rb"));
    if (!file) {
        return "cannot be opened";
    }
    LogLines lines(reading, each);
    std::vector<char> buffer(1 << 16);
    for (std::uint64_t read = 0; !stop.stop_requested(); read += buffer.size()) {
        if (read >= maxBytes) {
            return "read no further than " + std::to_string(maxBytes >> 20) + " MB";
        }
        const int got = gzread(file.get(), buffer.data(), static_cast<unsigned>(buffer.size()));
        if (got < 0) {
            int code = 0;
            return gzerror(file.get(), &code);
        }
        if (got == 0) {
            lines.Finish();  // a rotation is written no more
            return {};
        }
        lines.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    }
    return {};
}

bool SameFile(const std::filesystem::path& path, const LogCursor& cursor) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 &&
           static_cast<std::uint64_t>(info.st_dev) == cursor.device &&
           static_cast<std::uint64_t>(info.st_ino) == cursor.inode;
}

}  // namespace

std::vector<std::filesystem::path> Rotations(const std::filesystem::path& log) {
    std::vector<std::pair<long, std::filesystem::path>> found;
    std::error_code error;
    const std::string name = log.filename().string();
    for (const auto& entry : std::filesystem::directory_iterator(
             log.parent_path().empty() ? "." : log.parent_path(), error)) {
        if (const long age = RotationAge(entry.path().filename().string(), name)) {
            found.emplace_back(age, entry.path());
        }
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::filesystem::path> rotations;
    for (auto& [age, path] : found) {
        rotations.push_back(std::move(path));
    }
    return rotations;
}

LogSinceReading ReadLogSince(const std::filesystem::path& log, const LogCursor& cursor,
                             const std::function<void(std::string_view line)>& each,
                             std::uint64_t maxBytes, const std::stop_token& stop) {
    LogSinceReading since;
    LogReading earlier;
    if (cursor.inode == 0) {
        for (const std::filesystem::path& rotation : Rotations(log)) {
            if (std::string failure = ReadWhole(rotation, each, earlier, maxBytes, stop);
                !failure.empty()) {
                since.reading.failure = rotation.string() + ": " + failure;
            }
        }
    } else if (!SameFile(log, cursor)) {
        const std::vector<std::filesystem::path> rotations = Rotations(log);
        const auto rest = std::find_if(rotations.begin(), rotations.end(),
                                       [&](const auto& path) { return SameFile(path, cursor); });
        if (rest != rotations.end()) {
            earlier = FollowLog(*rest, cursor, each, maxBytes, stop);
        } else {
            since.gap = true;
        }
    }
    std::string rotationFailure = std::move(since.reading.failure);
    since.reading = FollowLog(log, cursor, each, maxBytes, stop);
    since.reading.lines += earlier.lines;
    since.reading.overlong += earlier.overlong;
    if (since.reading.failure.empty()) {
        since.reading.failure = rotationFailure.empty() ? earlier.failure : rotationFailure;
    }
    return since;
}

}  // namespace quaymark
