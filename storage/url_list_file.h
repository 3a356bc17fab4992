#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quaymark {

// How a read or write of the list file went: no error means it went well.
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

// False only when the file does not exist; a file that is there but cannot be opened counts
// as existing. Never blocks, not even on a FIFO.
bool FileExists(const std::filesystem::path& path);

// Appends the stored addresses to the list and sets the e-mail text, byte for byte. Lines end
// at LF, a CR before it is dropped, lines are read whole at any length, and a last line
// without a line break counts like any other. Only a regular file is read, and it is opened
// without blocking. Anything short of a complete read leaves both empty and says why.
FileResult LoadUrlList(const std::filesystem::path& path, std::vector<std::string>& list,
                       std::string& email);

// The reading rules of LoadUrlList applied to the file's bytes.
void ParseUrlList(std::string_view content, std::vector<std::string>& list, std::string& email);

// How the content reaches the disk; ::write in the program, a failing stand-in in tests.
using WriteBytes = ssize_t (*)(int fd, const void* data, std::size_t size);

// Writes the addresses, "EOS" and the e-mail text, every line ending in CR LF. The content
// goes to a temporary file beside the real one that replaces it only once it is safely on
// disk, so a failed save leaves the previous list whole. A symbolic link is written through
// to its target; the replaced file keeps its permission bits, and a new file is 0600.
// Creates the file's directory when missing.
FileResult SaveUrlList(const std::filesystem::path& path, const std::vector<std::string>& list,
                       const std::string& email, WriteBytes write = ::write);

// The bytes SaveUrlList writes.
std::string FormatUrlList(const std::vector<std::string>& list, const std::string& email);

// Where the list goes when the list file could not be read at start and must not be
// replaced: beside it, named after it with the local date and time, such as
// quaysites-2026-12-08-110455.dat.
std::filesystem::path RescuePath(const std::filesystem::path& listFile, std::time_t now);

}  // namespace quaymark
