#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quaymark {

// An http or https address as libcurl's URL parser reads it: the one reading of an address
// that decides its host anywhere in the program, so that no hand-made reading can be fooled
// where libcurl, which sends the request, is not.
struct WebAddress {
    std::string scheme;  // "http" or "https"
    std::string host;    // in lower case
    // The path, "/" at least; the query and fragment without their leading "?" and "#".
    std::string path;
    std::string query;
    std::string fragment;
    // A user name or password stands before the host ("http://user:pw@host/").
    bool credentials = false;
};

// The address read as libcurl reads it (bytes that cannot stand in a URL taken as
// percent-encoded); nothing when it is not an http or https address with a host.
std::optional<WebAddress> ParseWebAddress(std::string_view address);

// The form two spellings of one http or https address share: scheme and host in lower case,
// the default port dropped, no fragment; nothing for any other address.
std::optional<std::string> NormalisedAddress(std::string_view address);

// The root of the site an http or https address is on, normalised: "https://example.com/",
// "http://example.com:8080/".
std::optional<std::string> SiteRoot(std::string_view address);

// The host of an http or https address, in lower case; nothing for any other address.
std::optional<std::string> HostOf(std::string_view address);

// A reference (such as a canonical link's href) read against the address of the page it
// stands in, normalised; nothing when the result is no http or https address.
std::optional<std::string> ResolveAddress(std::string_view base, std::string_view reference);

}  // namespace quaymark
