#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/page_lines.h"

namespace quaymark {

enum class SubmitVerdict : int {
    Accepted = 0,
    Failed = 1,
    AlreadySubmitted = 2,
    InvalidUrl = 3,
    EngineCouldNotConnect = 4,
    NoPage = 5,
};

// The maker's home page: the link of the connection-problem page and the help window's Visit.
inline constexpr std::string_view HomePageAddress = "http://www.tolvane.example.com/";

// Judges a page by its marker phrases. An empty page gets the connection-problem page
// appended and is judged NoPage; any other page is left unchanged.
SubmitVerdict ClassifyPage(PageLines& lines);
// Judges an answer: as ClassifyPage, except that an error status (4xx, 5xx) is a failure
// even when its page holds no marker, since a dead add-URL page has accepted nothing.
SubmitVerdict ClassifyAnswer(long status, PageLines& lines);

// The eight lines that stand in for a page that never came.
const PageLines& ConnectionProblemPage();

// The file name of error page n: "submiterror", n in decimal, ".html".
std::string ErrorPageName(int n);

// Whether a file name is one that closing the failures window sweeps away: it ends in
// ".html" in any letter case and contains "submiterror" exactly.
bool IsSweptErrorPageName(std::string_view fileName);

// Writes the lines as the next numbered error page of a run in the given directory (the
// program's own), each followed by CR LF, advances the run's ErrorPageCounter and returns the
// page's path. The file is always created afresh and no link is followed, so whatever stood
// at that name before is never written through. A file that cannot be written is skipped
// silently; its number and path are used up all the same.
std::filesystem::path WriteErrorPage(const std::filesystem::path& directory,
                                     std::int32_t& ErrorPageCounter, const PageLines& lines);

}  // namespace quaymark
