#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/channel/channel.h"

namespace quaymark {

struct QueryPiece {
    enum class Kind { Text, Address, Email };
    Kind kind;
    std::string_view text;
};

struct EngineRow {
    std::string_view name;
    std::string_view host;
    std::string_view path;
    std::array<QueryPiece, 5> query;
    std::size_t queryPieces;
    // A full record writes an error page and a failure line; a short one only asks to resend.
    bool fullRecord;
};

namespace detail {
constexpr QueryPiece Text(std::string_view text) {
    return {QueryPiece::Kind::Text, text};
}
inline constexpr QueryPiece kAddress{QueryPiece::Kind::Address, {}};
inline constexpr QueryPiece kEmail{QueryPiece::Kind::Email, {}};
}  // namespace detail

// The seven engines in sending order.
inline constexpr std::array<EngineRow, 7> EngineTable{{
    {.name = "WebCrawler",
     .host = "www.webcrawler.com",
     .path = "/info/add_url/thanks/",
     .query = {detail::Text("?url="), detail::kAddress, detail::Text("&email="), detail::kEmail,
               detail::Text("&country=US&brand=webcrawler")},
     .queryPieces = 5,
     .fullRecord = true},
    {.name = "HotBot",
     .host = "www.hotbot.com",
     .path = "/addurl.asp",
     .query = {detail::Text("?newurl="), detail::kAddress,
               detail::Text("&MM=1&output=success&email="), detail::kEmail},
     .queryPieces = 4,
     .fullRecord = true},
    {.name = "Lycos",
     .host = "www.lycos.com",
     .path = "/cgi-bin/spider_now.pl",
     .query = {detail::Text("?query="), detail::kAddress, detail::Text("&email="), detail::kEmail},
     .queryPieces = 4,
     .fullRecord = true},
    {.name = "AltaVista",
     .host = "add-url.altavista.com",
     .path = "/cgi-bin/newurl",
     .query = {detail::Text("?ad=1&q="), detail::kAddress},
     .queryPieces = 2,
     .fullRecord = true},
    {.name = "Go!",
     .host = "www.go.com",
     .path = "/AddUrl/AddingURL",
     .query = {detail::Text("?sv=IS&lk=noframes&url="), detail::kAddress,
               detail::Text("&CAT=Add%2FUpdate+URL")},
     .queryPieces = 3,
     .fullRecord = true},
    {.name = "Excite",
     .host = "www.excite.com",
     .path = "/info/add_url/thanks/",
     .query = {detail::Text("?url="), detail::kAddress, detail::Text("&email="), detail::kEmail,
               detail::Text("&country=US&brand=excite")},
     .queryPieces = 5,
     .fullRecord = true},
    {.name = "Google",
     .host = "www.google.com",
     .path = "/addurl",
     .query = {detail::Text("?q="), detail::kAddress, detail::Text("&dq=thanks")},
     .queryPieces = 3,
     .fullRecord = false},
}};

// "http://", host, path and query, with the address and e-mail address inserted as they
// are stored: no escaping, no trimming.
std::string BuildRequestUrl(const EngineRow& row, std::string_view address, std::string_view email);

// "http://", host, path and query, with the address and e-mail address inserted as they
// are stored: no escaping, no trimming.
std::string BuildRequestUrl(const EngineRow& row, std::string_view address, std::string_view email);

// How a failed verdict is told: the failure line's suffix, such as ": failed.", whose
// sentence is also the history's reason.
std::string FailureSuffix(SubmitVerdict verdict);
std::string_view FailureSentence(SubmitVerdict verdict);
// How the history names a verdict.
std::string_view VerdictName(SubmitVerdict verdict);

}  // namespace quaymark
