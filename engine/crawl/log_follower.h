#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

namespace quaymark {

// Where the last read of a log stopped: the file it was (device and inode) and how far.
struct LogCursor {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t offset = 0;

    bool operator==(const LogCursor&) const = default;
};

// What a read of a log found.
struct LogReading {
    LogCursor cursor{};
    std::size_t lines = 0;
    // Lines over the length a log line may have, passed over.
    std::size_t overlong = 0;
    // The file at the path was another than the cursor's (rotated), or shorter (truncated):
    // it was read from its start.
    bool rotated = false;
    bool truncated = false;
    // Why the log could not be read; empty when it was.
    std::string failure{};
};

// A log line longer than this is no request a server wrote; it is passed over.
inline constexpr std::size_t kMaxLogLine = 64 * 1024;

// Cuts the bytes of a log into lines, however they arrive, each line handed on whole; a line
// over the limit is counted and passed over.
class LogLines {
public:
    LogLines(LogReading& reading, const std::function<void(std::string_view line)>& each);
    // Where the chunk's last line end was, past it; 0 when it had none.
    std::size_t Feed(std::string_view chunk);
    // The bytes are done: a last line without its end is handed on too.
    void Finish();

private:
    LogReading& reading_;
    const std::function<void(std::string_view line)>& each_;
    std::string line_;
    bool skipping_ = false;  // within a line over the limit
};

// Hands each whole line of the log written since the cursor to the caller, and says where the
// read stopped. A file that is not the cursor's, or is shorter than its offset, is read from
// its start; a last line still being written (no line end yet) waits for the next read. The
// log is only read: opened read-only, never written, moved or locked. At most so many bytes
// are read at once, so that a log of gigabytes is read over several calls; a stop asked ends
// the read after the bytes at hand.
LogReading FollowLog(const std::filesystem::path& path, const LogCursor& cursor,
                     const std::function<void(std::string_view line)>& each,
                     std::uint64_t maxBytes = std::uint64_t{1} << 32,
                     const std::stop_token& stop = {});

}  // namespace quaymark
