#include "storage/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string_view>

namespace quaymark {
namespace {

// Mode of a file that did not exist before: the user's files are theirs alone.
constexpr mode_t kNewFileMode = 0600;
// As many links as the system itself follows before it gives up.
constexpr int kMaxLinkHops = 40;

std::error_code LastError() {
    return {errno, std::generic_category()};
}

// Only what a regular file holds is a list; a FIFO or a device is never waited on.
class NotRegularFileCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "list file"; }
    std::string message(int) const override { return "Not a regular file"; }
};

std::error_code NotRegularFile() {
    static const NotRegularFileCategory category;
    return {1, category};
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now, so that a failing close is seen.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::error_code ReadWhole(const std::filesystem::path& path, std::string& content) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        return LastError();
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return LastError();
    }
    if (S_ISDIR(info.st_mode)) {
        return std::make_error_code(std::errc::is_a_directory);
    }
    if (!S_ISREG(info.st_mode)) {
        return NotRegularFile();
    }
    content.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return LastError();
        }
        if (got == 0) {
            return {};
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

void SyncDirectory(const std::filesystem::path& directory) {
    const FileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) {
        ::fsync(fd.get());
    }
}

// The file a path finally names once every symbolic link on the way is followed, so that
// the save replaces the target and the link stays a link.
std::error_code FollowLinks(const std::filesystem::path& path, std::filesystem::path& target) {
    target = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(target, error)) {
            return {};
        }
        const std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error) {
            return error;
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return std::make_error_code(std::errc::too_many_symbolic_link_levels);
}

std::filesystem::path TemporaryBeside(const std::filesystem::path& path) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path temporary = path;
    temporary += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    return temporary;
}

// Writes the content to a new file and gives it the mode and owner of the file it replaces;
// a secret keeps the mode it was made with.
std::error_code WriteTemporary(const std::filesystem::path& temporary, const std::string& content,
                               const struct stat* replaced, bool secret, WriteBytes write) {
    FileDescriptor fd(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode));
    if (fd.get() < 0) {
        return LastError();
    }
    if (replaced != nullptr) {
        // Best effort: only root may give a file away, and then it should stay the user's.
        [[maybe_unused]] const int owned = ::fchown(fd.get(), replaced->st_uid, replaced->st_gid);
        if (!secret && ::fchmod(fd.get(), replaced->st_mode & 07777) != 0) {
            return LastError();
        }
    }
    if (const std::error_code error = WriteAll(fd.get(), content, write)) {
        return error;
    }
    if (::fsync(fd.get()) != 0 || !fd.Close()) {
        return LastError();
    }
    return {};
}

FileResult Replace(const std::filesystem::path& path, const std::string& content, bool secret,
                   WriteBytes write) {
    std::filesystem::path target;
    if (const std::error_code error = FollowLinks(path, target)) {
        return {error};
    }
    const std::filesystem::path directory = target.parent_path();
    if (!directory.empty()) {
        std::error_code ignored;  // a directory that cannot be made fails the open below
        std::filesystem::create_directories(directory, ignored);
    }
    struct stat replaced {};
    const bool replacing = ::stat(target.c_str(), &replaced) == 0;
    const std::filesystem::path temporary = TemporaryBeside(target);
    std::error_code error =
        WriteTemporary(temporary, content, replacing ? &replaced : nullptr, secret, write);
    if (!error && ::rename(temporary.c_str(), target.c_str()) != 0) {
        error = LastError();
    }
    if (error) {
        ::unlink(temporary.c_str());
        return {error};
    }
    SyncDirectory(directory.empty() ? std::filesystem::path(".") : directory);
    return {};
}

}  // namespace

std::error_code WriteAll(int fd, std::string_view bytes, WriteBytes write) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

FileResult ReadRegularFile(const std::filesystem::path& path, std::string& content) {
    return {ReadWhole(path, content)};
}

FileResult WriteFileAtomically(const std::filesystem::path& path, const std::string& content,
                               WriteBytes write) {
    return Replace(path, content, false, write);
}

FileResult WriteSecretAtomically(const std::filesystem::path& path, const std::string& content,
                                 WriteBytes write) {
    return Replace(path, content, true, write);
}

}  // namespace quaymark
