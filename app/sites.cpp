#include "app/sites.h"

#include <algorithm>
#include <ctime>
#include <map>

#include "app/user_files.h"
#include "engine/net/web_address.h"

namespace quaymark {

SiteAdded AddSite(const std::string& address, const RunRouting& routing, ImportObserver& observer) {
    SiteAdded added{.import = SitemapImporter(routing, observer).Import(address)};
    const SitemapImport& import = added.import;
    if (import.read.empty() || import.cancelled) {
        return added;
    }
    History::Opened opened = UserHistory();
    if (!opened.history) {
        added.failure = opened.problem;
        return added;
    }
    std::vector<std::pair<std::string, std::int64_t>> lastmods;
    std::vector<std::string> pages;
    for (const SitemapPage& page : import.pages) {
        pages.push_back(page.url);
        if (page.lastmod) {
            lastmods.emplace_back(page.url, *page.lastmod);
        }
    }
    History& history = *opened.history;
    added.failure = history.RememberSitemaps(SitemapsToRemember(import, std::time(nullptr)));
    if (added.failure.empty()) {
        added.failure = history.KeepSitemapPages(SitemapPagesOf(import));
    }
    if (added.failure.empty()) {
        added.failure = history.SetLastmods(lastmods);
    }
    added.list = AddToList(pages, false);
    return added;
}

SiteList RememberedSites() {
    SiteList list;
    History::Opened opened = HistoryIfAny();
    list.failure = opened.problem;
    if (!opened.history) {
        return list;
    }
    const std::unordered_map<std::string, std::size_t> counts = opened.history->PagesBySitemap();
    for (const RememberedSitemap& sitemap : opened.history->Sitemaps()) {
        if (list.sites.empty() || list.sites.back().site != sitemap.site) {
            list.sites.push_back({.site = sitemap.site});
        }
        const auto count = counts.find(sitemap.sitemap);
        list.sites.back().sitemaps.push_back(
            {.address = sitemap.sitemap, .pages = count == counts.end() ? 0 : count->second});
    }
    return list;
}

SiteForgotten ForgetSite(const std::string& address) {
    SiteForgotten forgotten{.site = SiteRoot(address).value_or(address)};
    const SiteList known = RememberedSites();
    if (!known.failure.empty()) {
        forgotten.failure = known.failure;
    } else if (std::none_of(known.sites.begin(), known.sites.end(),
                            [&](const RememberedSite& s) { return s.site == forgotten.site; })) {
        forgotten.failure = forgotten.site + ": no remembered sitemap for this site";
    } else {
        History::Opened opened = UserHistory();
        forgotten.failure =
            opened.history ? opened.history->ForgetSite(forgotten.site) : opened.problem;
    }
    return forgotten;
}

}  // namespace quaymark
