#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quaymark {

// False only when the file does not exist; a file that is there but cannot be opened counts
// as existing.
bool FileExists(const std::filesystem::path& path);

// Appends the stored addresses to the list and sets the e-mail text. Lines end at LF, a CR
// before it is dropped, lines are read whole at any length, and a last line without a line
// break counts like any other. A file that cannot be read leaves both empty.
void LoadUrlList(const std::filesystem::path& path, std::vector<std::string>& list,
                 std::string& email);

// The reading rules of LoadUrlList applied to the file's bytes.
void ParseUrlList(std::string_view content, std::vector<std::string>& list, std::string& email);

// Writes the addresses, "EOS" and the e-mail text, every line ending in CR LF. The content
// goes to a temporary file that replaces the old one only once it is safely on disk, so a
// failed save leaves the previous list whole. Creates the file's directory when missing.
// Returns whether the new list was stored.
bool SaveUrlList(const std::filesystem::path& path, const std::vector<std::string>& list,
                 const std::string& email);

// The bytes SaveUrlList writes.
std::string FormatUrlList(const std::vector<std::string>& list, const std::string& email);

}  // namespace quaymark
