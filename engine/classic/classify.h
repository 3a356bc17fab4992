#pragma once

#include <array>
#include <string_view>

#include "engine/channel/channel.h"
#include "engine/net/page_lines.h"

namespace quaymark {

// A phrase that decides the verdict of a page holding it, in any letter case.
struct Marker {
    std::string_view phrase;
    SubmitVerdict verdict;
};

// Test order matters: within one line the first marker found decides.
inline constexpr std::array<Marker, 6> kMarkers{{
    {"WE COULD NOT CONNECT", SubmitVerdict::SiteUnreachable},
    {"THIS DOES NOT SEEM TO BE A VALID URL", SubmitVerdict::AddressRefused},
    {"WE RECEIVED AN ERROR", SubmitVerdict::Failed},
    {"WE FAILED TO SPIDER", SubmitVerdict::Failed},
    {"ALREADY SUBMITTED", SubmitVerdict::AlreadyKnown},
    {"ERROR", SubmitVerdict::Failed},
}};

// Judges a page by its marker phrases. An empty page gets the connection-problem page
// appended and is judged NoAnswer; any other page is left unchanged.
SubmitVerdict ClassifyPage(PageLines& lines);
// Judges an answer: as ClassifyPage, except that an error status (4xx, 5xx) is a failure
// even when its page holds no marker, since a dead add-URL page has accepted nothing.
SubmitVerdict ClassifyAnswer(long status, PageLines& lines);

// The eight lines that stand in for a page that never came.
const PageLines& ConnectionProblemPage();

}  // namespace quaymark
