#include "storage/list_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace quaymark {
namespace {

// The lock belongs to the file still at the path: a holder giving it back removes the file,
// and a lock on a removed file locks nothing.
bool StillThere(int fd, const std::filesystem::path& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

ListLock::ListLock(std::filesystem::path lockFile) : file_(std::move(lockFile)) {
    std::error_code ignored;  // a directory that cannot be made is told by the open below
    std::filesystem::create_directories(file_.parent_path(), ignored);
    for (int tries = 0; tries < 3; ++tries) {
        const int fd = ::open(file_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            error_ = {errno, std::generic_category()};
            return;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            error_ = error == EWOULDBLOCK
                         ? std::make_error_code(std::errc::resource_unavailable_try_again)
                         : std::error_code(error, std::generic_category());
            ::close(fd);
            return;
        }
        if (StillThere(fd, file_)) {
            fd_ = fd;
            error_.clear();
            return;
        }
        ::close(fd);
        error_ = std::make_error_code(std::errc::resource_unavailable_try_again);
    }
}

ListLock::~ListLock() {
    if (fd_ >= 0) {
        ::unlink(file_.c_str());
        ::close(fd_);
    }
}

std::unique_ptr<ListLock> WaitForLock(const std::filesystem::path& lockFile,
                                      std::chrono::milliseconds bound,
                                      const std::function<void()>& waiting,
                                      const std::function<bool()>& cancelled) {
    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::milliseconds kBetweenTries{100};
    const Clock::time_point deadline = Clock::now() + bound;
    auto lock = std::make_unique<ListLock>(lockFile);
    if (lock->heldElsewhere() && waiting) {
        waiting();
    }
    while (lock->heldElsewhere() && Clock::now() < deadline && !(cancelled && cancelled())) {
        std::this_thread::sleep_for(
            std::min<Clock::duration>(kBetweenTries, deadline - Clock::now()));
        lock = std::make_unique<ListLock>(lockFile);
    }
    return lock;
}

}  // namespace quaymark
