#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace quaymark {

// How a read or write of one of the user's files went: no error means it went well.
struct FileResult {
    std::error_code error;

    explicit operator bool() const { return !error; }
    // The reason in the system's words, such as "Permission denied".
    std::string Reason() const { return error.message(); }
    // No file there at all: the path, or a folder on its way, names nothing to keep.
    bool Missing() const {
        return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
    }
};

// Reads the whole of a regular file. It is opened without blocking, so a FIFO or a device at
// the path is refused ("Not a regular file") rather than waited on; anything short of a
// complete read says why.
FileResult ReadRegularFile(const std::filesystem::path& path, std::string& content);

// How content reaches the disk; ::write in the program, a failing stand-in in tests.
using WriteBytes = ssize_t (*)(int fd, const void* data, std::size_t size);

// Writes every byte, going on after an interrupted call; says why when a write fails.
std::error_code WriteAll(int fd, std::string_view bytes, WriteBytes write = ::write);

// Replaces the file's content atomically: the content goes to a temporary file beside it that
// replaces it only once it is safely on disk, so a failed write leaves the previous file
// whole. A symbolic link is written through to its target; the replaced file keeps its
// permission bits, and a new file is 0600. Creates the file's directory when missing.
FileResult WriteFileAtomically(const std::filesystem::path& path, const std::string& content,
                               WriteBytes write = ::write);
// The same for a secret: the new file is 0600 from its first byte to its last, whatever mode
// the one it replaces had.
FileResult WriteSecretAtomically(const std::filesystem::path& path, const std::string& content,
                                 WriteBytes write = ::write);

}  // namespace quaymark
