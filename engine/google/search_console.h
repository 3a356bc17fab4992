#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaymark {

inline constexpr std::string_view kGoogleName = "Google Search Console";
inline constexpr std::string_view kSitesUrl = "https://www.googleapis.com/webmasters/v3/sites";
inline constexpr std::string_view kInspectUrl =
    "https://searchconsole.googleapis.com/v1/urlInspection/index:inspect";

// A Search Console property the account may use: a URL prefix ("https://www.example.com/")
// or a domain ("sc-domain:example.com"), and the account's permission on it.
struct Property {
    std::string siteUrl;
    std::string permission;

    bool operator==(const Property&) const = default;
};

// The properties of the sites list's answer ({"siteEntry": [{"siteUrl", "permissionLevel"}]});
// none when it is no such answer. Those the account is not verified for are left out.
std::optional<std::vector<Property>> ReadProperties(std::string_view body);

// The property a page belongs to: the longest URL prefix it begins with, else the domain
// property of its host or of a domain above it.
std::optional<std::string> PropertyFor(std::string_view page,
                                       const std::vector<Property>& properties);

// The sitemap submission's address: both the property and the sitemap percent-encoded.
std::string SitemapSubmitUrl(std::string_view property, std::string_view sitemap);

// The inspection request's JSON body.
std::string InspectBody(std::string_view page, std::string_view property);

// What Google says of a page: whether it is indexed ("PASS", "NEUTRAL", "FAIL"), its coverage
// state ("Submitted and indexed", "Discovered - currently not indexed", ...), when it last
// crawled it, and the canonical it chose.
struct Inspection {
    std::string verdict;
    std::string coverage{};
    std::string lastCrawl{};
    std::string canonical{};

    bool operator==(const Inspection&) const = default;
};

// The inspection answer's indexStatusResult; none when the answer holds no verdict.
std::optional<Inspection> ReadInspection(std::string_view body);

// The message of an API's error answer ({"error": {"message"}}), bounded; empty when none.
std::string ApiErrorMessage(std::string_view body);

}  // namespace quaymark
