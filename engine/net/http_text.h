#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/counted.h"

#include "engine/net/page_lines.h"

namespace quaymark {

// ASCII letter case only: header names, schemes and hosts are ASCII.
char AsciiLower(char c);
char AsciiUpper(char c);
std::string AsciiLowerCopy(std::string_view text);
bool IsAsciiAlnum(char c);
// A blank, a tab, a line end or a form feed: what HTML folds.
bool IsAsciiSpace(char c);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// The text without the blanks, tabs and line ends around it.
std::string_view Trimmed(std::string_view text);

// The form of a URL that goes on the wire: every byte that cannot stand in an HTTP request
// target (blank, control bytes, bytes of 0x80 and above, and the number sign, which would
// end it) is percent-encoded. The user's text itself is never changed.
std::string WireUrl(std::string_view url);
// The form of an address libcurl's URL parser reads: bytes that cannot stand in a URL are
// percent-encoded, while a number sign still begins the fragment.
std::string ParsableUrl(std::string_view url);
// The bytes that cannot stand in a URL, percent-encoded; with numberSign, '#' as well.
std::string PercentEncoded(std::string_view url, bool numberSign);
// The same, appended to the text.
void AppendPercentEncoded(std::string& out, std::string_view url, bool numberSign);
// Every byte but the unreserved ones percent-encoded: one path segment, or one form value.
std::string ComponentEncoded(std::string_view text);

// libcurl's CURLOPT_CONNECT_TO lines for loopback routes ("host:port" to 127.0.0.1 at the
// given port), the catch-all ":" last so that every named route is taken first.
std::vector<std::string> LoopbackRoutes(const std::map<std::string, std::uint16_t>& ports);

// Whether a URL begins with a scheme of its own ("https://", "ftp://", ...).
bool HasOwnScheme(std::string_view url);

// The value of a header line of that name (any letter case), without the blanks around it
// and without the line end; nothing when the line is not of that name.
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name);
// The value of the first header line named Location in raw answer headers.
std::optional<std::string> FindLocation(std::string_view rawHeaders);

// Cuts an answer body into line pieces: at most kMaxPiece bytes consumed each, carriage
// returns counted but dropped, a line feed kept as the last byte of its piece. A piece that
// the count fills with carriage returns alone is an empty piece.
class LineSplitter {
public:
    static constexpr std::size_t kMaxPiece = 1022;

    explicit LineSplitter(PageLines& out, std::size_t maxPieces = SIZE_MAX)
        : out_(out), maxPieces_(maxPieces) {}

    // Returns false, taking no more, once the page holds maxPieces pieces.
    bool Feed(std::string_view bytes);
    // The body has ended: the bytes gathered so far form the last piece.
    void Finish();

private:
    void EndPiece();

    PageLines& out_;
    std::size_t maxPieces_;
    std::string piece_;
    std::size_t consumed_ = 0;
};

}  // namespace quaymark
