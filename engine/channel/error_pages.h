#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/net/page_lines.h"
#include "engine/net/status_fetcher.h"

namespace quaymark {

// Text as it stands in an error page: the characters HTML reserves escaped.
std::string EscapeHtml(std::string_view text);

// The end of an error page: the other side's answer (its status line and body, as text) under
// the heading, or why the transfer failed; then the page's end.
void AppendAnswer(PageLines& page, std::string_view heading, const StatusAnswer& answer);

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
