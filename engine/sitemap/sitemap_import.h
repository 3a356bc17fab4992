#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/net/transfer_options.h"
#include "engine/sitemap/sitemap_parser.h"
#include "storage/history_records.h"

namespace quaymark {

// What an import tells whoever follows it, from the worker thread; each call returns at once.
class ImportObserver {
public:
    virtual ~ImportObserver() = default;
    virtual void SitemapStarted(const std::string& url) = 0;
    virtual void AddressesFound(std::size_t count) = 0;
};

// What an import found: the pages in sitemap order, each once; the sitemaps that failed
// part-way and why; what else the user should know (addresses left out, sitemaps not read).
// The pages stay where they were first put, so that the import can know them by reference.
// A sitemap an import read whole, with the validators of its answer, so that it can be read
// again later with a conditional request.
struct SitemapRead {
    std::string sitemap;
    std::string etag{};
    std::string lastModified{};
    // The pages it named, as places in the import's pages: a page named by two sitemaps is
    // kept once and belongs to both.
    std::vector<std::size_t> pages{};

    bool operator==(const SitemapRead&) const = default;
};

struct SitemapImport {
    // The site the import was for, as its normalised root, and the sitemaps it read whole.
    std::string site;
    std::vector<SitemapRead> read{};
    // The sitemaps read again that answered they had not changed since their last read.
    std::vector<std::string> unchanged{};
    std::deque<SitemapPage> pages{};
    std::vector<SitemapFailure> failures{};
    ImportNotes notes{};
    bool cancelled = false;
};

// What the history keeps of the sitemaps an import read: each with its site and when.
std::vector<RememberedSitemap> SitemapsToRemember(const SitemapImport& import, std::int64_t now);
// The pages each sitemap the import read whole gave.
std::vector<SitemapPages> SitemapPagesOf(const SitemapImport& import);

// Reads the sitemaps of a site or one sitemap and what it names. For a site (an address
// without a path) robots.txt is read for its Sitemap lines, else /sitemap.xml is tried.
// Certificates are verified; redirects are followed within the http and https schemes.
class SitemapImporter {
public:
    // A stop request, from any thread, ends the transfer under way at once.
    SitemapImporter(RunRouting routing, ImportObserver& observer, SitemapLimits limits = {},
                    std::stop_token stop = {});

    // From the worker thread; one import per importer.
    SitemapImport Import(const std::string& address);
    // The site's remembered sitemaps read again, each with a conditional request carrying
    // the validators of its last answer, and the sitemaps a changed index names read too.
    SitemapImport Reread(const std::string& site, const std::vector<RememberedSitemap>& sitemaps);

private:
    std::vector<std::string> SitemapsOfSite(const std::string& site, SitemapImport& import);
    void ReadAll(const std::vector<std::string>& sitemaps, SitemapImport& import);
    void ReadSitemap(const std::string& url, int depth, SitemapImport& import);

    RunRouting routing_;
    RequestLists lists_;
    ImportObserver& observer_;
    SitemapLimits limits_;
    std::stop_token stop_;
    // The sitemaps (in their normalised form) and the pages of the import under way, each
    // taken once; the pages are known by reference to where the import keeps them.
    std::unordered_set<std::string> read_;
    std::unordered_map<std::string_view, std::size_t> seen_;
    // The validators of the last answer of each sitemap read again, by normalised address.
    std::unordered_map<std::string, const RememberedSitemap*> known_;
    std::size_t pageBytes_ = 0;
    std::size_t unread_ = 0;
    bool full_ = false;
};

}  // namespace quaymark
