#include "engine/crawl/log_follower.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace quaymark {
namespace {

// Closes the descriptor when the read ends.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::filesystem::path& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) {}
    ~ReadOnlyFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace

LogLines::LogLines(LogReading& reading, const std::function<void(std::string_view)>& each)
    : reading_(reading), each_(each) {}

std::size_t LogLines::Feed(std::string_view chunk) {
    std::size_t start = 0;
    for (std::size_t end = chunk.find('\n'); end != std::string_view::npos;
         end = chunk.find('\n', start)) {
        const std::string_view piece = chunk.substr(start, end - start);
        if (skipping_ || line_.size() + piece.size() > kMaxLogLine) {
            ++reading_.overlong;
        } else if (line_.empty()) {
            each_(piece);
            ++reading_.lines;
        } else {
            line_.append(piece);
            each_(line_);
            ++reading_.lines;
        }
        line_.clear();
        skipping_ = false;
        start = end + 1;
    }
    const std::string_view rest = chunk.substr(start);
    if (!skipping_ && line_.size() + rest.size() > kMaxLogLine) {
        skipping_ = true;
        line_.clear();
    } else if (!skipping_) {
        line_.append(rest);
    }
    return start;
}

void LogLines::Finish() {
    if (!skipping_ && !line_.empty()) {
        each_(line_);
        ++reading_.lines;
    }
    line_.clear();
}

LogReading FollowLog(const std::filesystem::path& path, const LogCursor& cursor,
                     const std::function<void(std::string_view line)>& each, std::uint64_t maxBytes,
                     const std::stop_token& stop) {
    LogReading reading{.cursor = cursor};
    const ReadOnlyFile file(path);
    struct stat info {};
    if (file.fd() < 0 || ::fstat(file.fd(), &info) != 0) {
        reading.failure = std::strerror(errno);
        return reading;
    }
    if (!S_ISREG(info.st_mode)) {
        reading.failure = "not a regular file";
        return reading;
    }
    LogCursor& at = reading.cursor;
    const LogCursor same{.device = static_cast<std::uint64_t>(info.st_dev),
                         .inode = static_cast<std::uint64_t>(info.st_ino),
                         .offset = at.offset};
    reading.rotated = at.inode != 0 && (at.device != same.device || at.inode != same.inode);
    reading.truncated = !reading.rotated && static_cast<std::uint64_t>(info.st_size) < at.offset;
    at = same;
    if (reading.rotated || reading.truncated) {
        at.offset = 0;
    }
    std::vector<char> buffer(1 << 16);
    LogLines lines(reading, each);
    std::uint64_t offset = at.offset;
    std::uint64_t read = 0;
    while (read < maxBytes && !stop.stop_requested()) {
        const ssize_t got =
            ::pread(file.fd(), buffer.data(), buffer.size(), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            reading.failure = std::strerror(errno);
            break;
        }
        if (got == 0) {
            break;
        }
        // Whole lines only: the cursor moves past each line end.
        if (const std::size_t end =
                lines.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) {
            at.offset = offset + end;
        }
        offset += static_cast<std::uint64_t>(got);
        read += static_cast<std::uint64_t>(got);
    }
    return reading;
}

}  // namespace quaymark
