#include "engine/google/search_console.h"

#include <nlohmann/json.hpp>

#include "base/utf8.h"
#include "engine/net/http_text.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

using nlohmann::json;

// What Google's texts may take of a failure line or the history.
constexpr std::size_t kMaxText = 512;

std::string Text(const json& object, const char* name) {
    const auto found = object.is_object() ? object.find(name) : object.end();
    if (found == object.end() || !found->is_string()) {
        return {};
    }
    return std::string(Utf8Prefix(found->get_ref<const std::string&>(), kMaxText));
}

const json& Member(const json& object, const char* name) {
    static const json kNone;
    const auto found = object.is_object() ? object.find(name) : object.end();
    return found == object.end() ? kNone : *found;
}

}  // namespace

std::optional<std::vector<Property>> ReadProperties(std::string_view body) {
    const json answer = json::parse(body, nullptr, false);
    if (!answer.is_object()) {
        return std::nullopt;
    }
    std::vector<Property> properties;
    const json& entries = Member(answer, "siteEntry");
    if (!entries.is_array()) {
        return properties;  // an account with no property
    }
    for (const json& entry : entries) {
        Property property{.siteUrl = Text(entry, "siteUrl"),
                          .permission = Text(entry, "permissionLevel")};
        if (!property.siteUrl.empty() && property.permission != "siteUnverifiedUser") {
            properties.push_back(std::move(property));
        }
    }
    return properties;
}

std::optional<std::string> PropertyFor(std::string_view page,
                                       const std::vector<Property>& properties) {
    const std::string address = NormalisedAddress(page).value_or(std::string(page));
    const Property* best = nullptr;
    for (const Property& property : properties) {
        const std::string prefix = NormalisedAddress(property.siteUrl).value_or(property.siteUrl);
        if (!property.siteUrl.starts_with("sc-domain:") && address.starts_with(prefix) &&
            (best == nullptr || prefix.size() > best->siteUrl.size())) {
            best = &property;
        }
    }
    if (best != nullptr) {
        return best->siteUrl;
    }
    const std::string host = AsciiLowerCopy(HostOf(page).value_or(""));
    for (const Property& property : properties) {
        if (!property.siteUrl.starts_with("sc-domain:")) {
            continue;
        }
        const std::string domain = AsciiLowerCopy(property.siteUrl.substr(10));
        if (!domain.empty() &&
            (host == domain || (host.size() > domain.size() && host.ends_with("." + domain)))) {
            return property.siteUrl;
        }
    }
    return std::nullopt;
}

std::string SitemapSubmitUrl(std::string_view property, std::string_view sitemap) {
    return std::string(kSitesUrl) + "/" + ComponentEncoded(property) + "/sitemaps/" +
           ComponentEncoded(sitemap);
}

std::string InspectBody(std::string_view page, std::string_view property) {
    return json{{"inspectionUrl", page}, {"siteUrl", property}}.dump(
        -1, ' ', false, json::error_handler_t::replace);
}

std::optional<Inspection> ReadInspection(std::string_view body) {
    const json answer = json::parse(body, nullptr, false);
    const json& status = Member(Member(answer, "inspectionResult"), "indexStatusResult");
    Inspection inspection{.verdict = Text(status, "verdict"),
                          .coverage = Text(status, "coverageState"),
                          .lastCrawl = Text(status, "lastCrawlTime"),
                          .canonical = Text(status, "googleCanonical")};
    if (inspection.verdict.empty()) {
        return std::nullopt;
    }
    return inspection;
}

std::string ApiErrorMessage(std::string_view body) {
    return Text(Member(json::parse(body, nullptr, false), "error"), "message");
}

}  // namespace quaymark
