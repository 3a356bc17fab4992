#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "storage/atomic_file.h"

namespace quaymark {

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

// Writes the addresses, "EOS" and the e-mail text, every line ending in CR LF, atomically
// (WriteFileAtomically): a failed save leaves the previous list whole.
FileResult SaveUrlList(const std::filesystem::path& path, const std::vector<std::string>& list,
                       const std::string& email, WriteBytes write = ::write);

// The bytes SaveUrlList writes.
std::string FormatUrlList(const std::vector<std::string>& list, const std::string& email);

// Where the list goes when the list file could not be read at start and must not be
// replaced: beside it, named after it with the local date and time, such as
// quaysites-2026-12-08-110455.dat.
std::filesystem::path RescuePath(const std::filesystem::path& listFile, std::time_t now);

}  // namespace quaymark
