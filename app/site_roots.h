#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/net/web_address.h"

namespace quaymark {

// The site of each page of a long list: its scheme and authority parsed once per site, not once
// per page, since a list's pages share a few of them.
class SiteRoots {
public:
    const std::optional<std::string>& Of(std::string_view page) {
        const std::size_t scheme = page.find("://");
        const std::size_t end =
            scheme == std::string_view::npos ? page.size() : page.find_first_of("/?#", scheme + 3);
        const std::string_view authority = page.substr(0, end);
        const auto known = roots_.find(std::string(authority));
        if (known != roots_.end()) {
            return known->second;
        }
        return roots_.emplace(std::string(authority), SiteRoot(page)).first->second;
    }

private:
    std::unordered_map<std::string, std::optional<std::string>> roots_;
};

}  // namespace quaymark
