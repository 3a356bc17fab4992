#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/check/audience.h"

namespace quaymark {

// How much of a page is read: its first bytes, and elements open at once. HTML parsers take
// time that grows with the square of the nesting, so a page nested deeper is read up to there.
// What the parser may spend is bounded too, whatever the page holds (formatting elements it
// rebuilds at every paragraph, thousands of attributes it compares with each other): the
// memory it holds at once and the CPU time of the whole reading. A page that would cost more
// is read again in part, a quarter as long each time, within what is left.
struct PageReadLimits {
    std::size_t maxBytes = std::size_t{1} << 20;
    int maxDepth = 256;
    std::size_t parserBytes = std::size_t{48} << 20;
    std::chrono::nanoseconds cpu = std::chrono::seconds(1);
};

// What a page says of itself: whether it asks not to be indexed, the address it names as its
// canonical one, and a fingerprint of its main text.
struct PageReading {
    // Whom a <meta name="robots"> (or one for an engine's own robots), not in a template, says
    // noindex or none to.
    Audience noindex = kNoRobot;
    // The head's first <link rel="canonical">, read against the page's address and normalised;
    // empty when there is none or it is no http or https address.
    std::string canonical{};
    // The xxHash (XXH3, 64 bits) of the main text: the document's text without its head,
    // scripts, styles, navigation, header, footer and asides, blanks folded to one space.
    // A rebuild that changes only those leaves it as it was.
    std::uint64_t fingerprint = 0;
    // Read in part: longer than the limit of bytes, nested deeper than the limit, or costing
    // the parser more than it may spend.
    bool cut = false;
};

// Reads a page's HTML with an HTML5 parser (Gumbo), never with patterns.
PageReading ReadPage(std::string_view html, std::string_view pageAddress,
                     const PageReadLimits& limits = {});

// Whom an X-Robots-Tag header's value says noindex (or none) to: every robot, or an engine's
// own ("googlebot: noindex").
Audience HeaderSaysNoindex(std::string_view value);

// The canonical address a Link header names (<...>; rel="canonical"), read against the page's
// address and normalised.
std::optional<std::string> CanonicalOfLinkHeader(std::string_view value,
                                                 std::string_view pageAddress);

}  // namespace quaymark
