#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>

namespace quaymark {

// The lock of the URL list: whoever holds it may write the list, and keeps it until done. The
// window holds it as long as it runs, the announcer while it adds pages. An advisory lock on
// a file of our own beside the list, which goes with its holder, so a crash leaves nothing
// stale; the file is removed when the lock is given back.
class ListLock {
public:
    // Tries once, without waiting.
    explicit ListLock(std::filesystem::path lockFile);
    ~ListLock();
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;

    bool held() const { return fd_ >= 0; }
    // Another holder has it.
    bool heldElsewhere() const { return error_ == std::errc::resource_unavailable_try_again; }
    // Why it is not held, in the system's words.
    std::error_code error() const { return error_; }

private:
    std::filesystem::path file_;
    int fd_ = -1;
    std::error_code error_;
};

// Takes the lock at the path, waiting while another holder has it: up to the bound, and
// until cancelled says so (asked between tries, a tenth of a second apart). Waiting is called
// once, when the wait begins. The lock comes back not held when the wait ended without it or
// the file could not be locked at all (its error says why).
std::unique_ptr<ListLock> WaitForLock(const std::filesystem::path& lockFile,
                                      std::chrono::milliseconds bound,
                                      const std::function<void()>& waiting,
                                      const std::function<bool()>& cancelled = {});

}  // namespace quaymark
