#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/list_additions.h"
#include "engine/net/web_address.h"
#include "engine/sitemap/sitemap_import.h"

namespace quaymark {

// A site set up without the window: its sitemaps read whole and remembered as the window's
// import remembers them (so that Announce Changes and the announcer read them again), their
// lastmods kept, and the pages the list lacks added to it.
struct SiteAdded {
    SitemapImport import;
    ListChange list{};
    // Why the history could not be opened or kept; empty when it was.
    std::string failure{};
};
SiteAdded AddSite(const std::string& address, const RunRouting& routing, ImportObserver& observer);

// A site the history remembers, with its sitemaps and how many pages each gave when last read.
struct RememberedSite {
    std::string site;
    struct Sitemap {
        std::string address;
        std::size_t pages = 0;
    };
    std::vector<Sitemap> sitemaps{};
};
struct SiteList {
    std::vector<RememberedSite> sites{};
    std::string failure{};
};
SiteList RememberedSites();

// Forgets a site (given by any address on it): it is no longer read nor announced; its pages
// stay in the list.
struct SiteForgotten {
    std::string site;
    // Why it could not be; empty when it was.
    std::string failure{};
};
SiteForgotten ForgetSite(const std::string& address);

}  // namespace quaymark
