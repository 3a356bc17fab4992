#include "engine/sitemap/sitemap_import.h"

#include <algorithm>

#include "engine/net/curl_handles.h"
#include "engine/net/http_text.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

// One GET whose body goes to a consumer as it arrives.
struct Transfer {
    std::function<bool(std::string_view)> consume;
    std::stop_token stop;
    CURL* easy = nullptr;
    bool stopped = false;
    // The validators of the last answer, after any redirect.
    std::string etag{};
    std::string lastModified{};

    std::string EffectiveUrl() const {
        const char* url = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url);
        return url != nullptr ? url : "";
    }
};

bool Succeeded(long status) {
    return status >= 200 && status <= 299;
}

size_t Consume(char* data, size_t size, size_t count, void* transferPointer) {
    auto* transfer = static_cast<Transfer*>(transferPointer);
    long status = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
    // The body of a refusal is never read as a sitemap.
    if (!Succeeded(status) || !transfer->consume({data, size * count})) {
        transfer->stopped = true;
        return 0;
    }
    return size * count;
}

size_t KeepValidators(char* data, size_t size, size_t count, void* transferPointer) {
    auto* transfer = static_cast<Transfer*>(transferPointer);
    const std::string_view line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        transfer->etag.clear();
        transfer->lastModified.clear();
    } else if (const auto etag = HeaderValue(line, "etag")) {
        transfer->etag.assign(*etag);
    } else if (const auto lastModified = HeaderValue(line, "last-modified")) {
        transfer->lastModified.assign(*lastModified);
    }
    return line.size();
}

int Progress(void* transferPointer, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(transferPointer)->stop.stop_requested() ? 1 : 0;
}

struct Fetched {
    long status = 0;
    TransferFailure failure;
    bool stopped = false;
};

// A validator goes back only as the server gave it: one header line's worth of text.
bool SendableValidator(std::string_view value) {
    return !value.empty() && std::none_of(value.begin(), value.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 && c != '\t';
    });
}

Fetched Fetch(const RunRouting& routing, const RequestLists& lists, const std::string& url,
              Transfer& transfer) {
    Fetched fetched;
    const EasyHandle easy(curl_easy_init());
    if (!easy) {
        fetched.failure = {.kind = TransferFailure::Kind::CouldNotStart};
        return fetched;
    }
    CURL* e = easy.get();
    transfer.easy = e;
    SetUpTransfer(e, routing, lists, {.followRedirects = 5});
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &KeepValidators);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Consume);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Progress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    const CURLcode result = curl_easy_perform(e);
    fetched.stopped = transfer.stopped;
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && transfer.stopped)) {
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &fetched.status);
    } else if (result == CURLE_UNSUPPORTED_PROTOCOL && !ParseWebAddress(transfer.EffectiveUrl())) {
        fetched.failure = {.kind = TransferFailure::Kind::NonWebRedirect,
                           .detail = transfer.EffectiveUrl()};
    } else {
        fetched.failure = FailureOf(result);
    }
    return fetched;
}

// A site is an address with no path beyond "/"; anything else names a sitemap.
bool IsSiteAddress(const WebAddress& address) {
    return address.path == "/" && address.query.empty() && address.fragment.empty();
}

}  // namespace

std::vector<RememberedSitemap> SitemapsToRemember(const SitemapImport& import, std::int64_t now) {
    std::vector<RememberedSitemap> remembered;
    remembered.reserve(import.read.size());
    for (const SitemapRead& read : import.read) {
        remembered.push_back({.site = import.site,
                              .sitemap = read.sitemap,
                              .etag = read.etag,
                              .lastModified = read.lastModified,
                              .readAt = now});
    }
    return remembered;
}

std::vector<SitemapPages> SitemapPagesOf(const SitemapImport& import) {
    std::vector<SitemapPages> sitemaps;
    sitemaps.reserve(import.read.size());
    for (const SitemapRead& read : import.read) {
        SitemapPages& own = sitemaps.emplace_back(SitemapPages{.sitemap = read.sitemap});
        own.pages.reserve(read.pages.size());
        for (const std::size_t index : read.pages) {
            own.pages.push_back(import.pages[index].url);
        }
    }
    return sitemaps;
}

SitemapImporter::SitemapImporter(RunRouting routing, ImportObserver& observer, SitemapLimits limits,
                                 std::stop_token stop)
    : routing_(std::move(routing)),
      lists_(routing_, {}),
      observer_(observer),
      limits_(limits),
      stop_(std::move(stop)) {}

SitemapImport SitemapImporter::Import(const std::string& address) {
    SitemapImport import;
    const std::optional<WebAddress> parsed = ParseWebAddress(address);
    if (!parsed) {
        import.failures.push_back({.sitemap = address, .problem = {
                                       .kind = SitemapProblem::Kind::NotWebAddress
                                   }});
        return import;
    }
    import.site = SiteRoot(address).value_or(address);
    const std::vector<std::string> sitemaps =
        IsSiteAddress(*parsed)
            ? SitemapsOfSite(NormalisedAddress(address).value_or(address), import)
            : std::vector{address};
    ReadAll(sitemaps, import);
    return import;
}

SitemapImport SitemapImporter::Reread(const std::string& site,
                                      const std::vector<RememberedSitemap>& sitemaps) {
    SitemapImport import{.site = site};
    std::vector<std::string> addresses;
    for (const RememberedSitemap& sitemap : sitemaps) {
        known_.emplace(NormalisedAddress(sitemap.sitemap).value_or(sitemap.sitemap), &sitemap);
        addresses.push_back(sitemap.sitemap);
    }
    ReadAll(addresses, import);
    known_.clear();
    return import;
}

void SitemapImporter::ReadAll(const std::vector<std::string>& sitemaps, SitemapImport& import) {
    // One sitemap's worth of room: rehashing would cost more than the parse.
    seen_.reserve(limits_.maxAddresses);
    for (const std::string& sitemap : sitemaps) {
        if (stop_.stop_requested() || full_) {
            break;
        }
        ReadSitemap(sitemap, 0, import);
    }
    if (unread_ > 0) {
        import.notes.Add(ImportNote::NotRead, Counted(unread_, "sitemap", "sitemaps") +
                                                  " not read: an import reads at most " +
                                                  std::to_string(limits_.maxSitemaps));
    }
    import.cancelled = stop_.stop_requested();
    seen_.clear();
}

std::vector<std::string> SitemapImporter::SitemapsOfSite(const std::string& siteRoot,
                                                         SitemapImport& import) {
    const std::string robots = siteRoot + "robots.txt";
    observer_.SitemapStarted(robots);
    std::vector<std::string> sitemaps;
    std::string line;
    std::size_t kept = 0;
    // A robots.txt may name sitemaps of other hosts: the protocol lets a site submit them.
    const auto takeLine = [&] {
        const std::string_view text = Trimmed(line);
        if (StartsWithNoCase(text, "sitemap:")) {
            const std::string sitemap(Trimmed(text.substr(8)));
            const std::optional<WebAddress> parsed = ParseWebAddress(sitemap);
            if (parsed && !parsed->credentials &&
                std::find(sitemaps.begin(), sitemaps.end(), sitemap) == sitemaps.end()) {
                sitemaps.push_back(sitemap);
            }
        }
        line.clear();
    };
    // Only the first part of a robots.txt counts, as crawlers read it.
    Transfer transfer{[&](std::string_view bytes) {
                          bytes = bytes.substr(0, limits_.maxRobotsBytes - kept);
                          kept += bytes.size();
                          for (const char c : bytes) {
                              c == '\n' ? takeLine() : line.push_back(c);
                          }
                          return kept < limits_.maxRobotsBytes;
                      },
                      stop_};
    const Fetched fetched = Fetch(routing_, lists_, robots, transfer);
    if (fetched.failure) {
        if (!stop_.stop_requested()) {
            import.failures.push_back({.sitemap = robots, .problem = {
                                           .kind = SitemapProblem::Kind::Transfer,
                                           .transfer = fetched.failure
                                       }});
        }
        return {};
    }
    if (Succeeded(fetched.status)) {
        takeLine();
    } else {
        sitemaps.clear();
    }
    if (sitemaps.empty()) {
        sitemaps.push_back(siteRoot + "sitemap.xml");
    }
    return sitemaps;
}

void SitemapImporter::ReadSitemap(const std::string& url, int depth, SitemapImport& import) {
    // Spellings of one address (letter case, a default port, a fragment) are one sitemap.
    const std::string normalised = NormalisedAddress(url).value_or(url);
    if (read_.count(normalised) > 0) {
        import.notes.Add(ImportNote::NamedAgain, url + ": named again, read once");
        return;
    }
    if (read_.size() >= limits_.maxSitemaps) {
        ++unread_;
        return;
    }
    read_.insert(normalised);
    observer_.SitemapStarted(url);
    std::vector<std::string> nested;
    std::vector<std::size_t> named;
    const SitemapParser::Sink sink{
        [&](SitemapPage page) {
            if (const auto seen = seen_.find(page.url); seen != seen_.end()) {
                named.push_back(seen->second);
            } else if (import.pages.size() >= limits_.maxPages ||
                       page.url.size() > limits_.maxPageBytes - pageBytes_) {
                full_ = true;
            } else {
                pageBytes_ += page.url.size();
                named.push_back(import.pages.size());
                seen_.emplace(import.pages.emplace_back(std::move(page)).url, named.back());
                observer_.AddressesFound(import.pages.size());
            }
        },
        [&](std::string sitemap) {
            if (read_.size() + nested.size() < limits_.maxSitemaps) {
                nested.push_back(std::move(sitemap));
            } else {
                ++unread_;
            }
        }};
    // The pages must be of the host the sitemap is on after any redirect, which is known
    // once its first bytes arrive.
    std::unique_ptr<SitemapParser> parser;
    Transfer transfer{[&](std::string_view bytes) {
                          if (!parser) {
                              parser = std::make_unique<SitemapParser>(
                                  HostOf(transfer.EffectiveUrl()).value_or(""), limits_, sink);
                          }
                          return parser->Feed(bytes) && !full_;
                      },
                      stop_};
    const auto known = known_.find(normalised);
    const RememberedSitemap* last = known != known_.end() ? known->second : nullptr;
    const std::string etag =
        last != nullptr && SendableValidator(last->etag) ? "If-None-Match: " + last->etag : "";
    const std::string lastModified = last != nullptr && SendableValidator(last->lastModified)
                                         ? "If-Modified-Since: " + last->lastModified
                                         : "";
    const bool conditional = !etag.empty() || !lastModified.empty();
    const RequestLists conditionalLists(routing_, {etag, lastModified});
    const Fetched fetched = Fetch(routing_, conditional ? conditionalLists : lists_, url, transfer);
    if (conditional && !fetched.failure && fetched.status == 304) {
        import.unchanged.push_back(url);
        return;
    }
    std::optional<SitemapProblem> failure;
    if (fetched.failure) {
        failure = {.kind = SitemapProblem::Kind::Transfer, .transfer = fetched.failure};
    } else if (!Succeeded(fetched.status)) {
        failure = {.kind = SitemapProblem::Kind::Answered,
                   .number = static_cast<std::size_t>(fetched.status)};
    }
    if (!parser) {
        parser = std::make_unique<SitemapParser>("", limits_, sink);
    }
    if (!failure && !fetched.stopped) {
        parser->Finish();
    }
    if (!failure) {
        failure = parser->failure();
    }
    if (!failure && full_) {
        failure = import.pages.size() >= limits_.maxPages
                      ? SitemapProblem{.kind = SitemapProblem::Kind::PageLimit,
                                       .number = limits_.maxPages}
                      : SitemapProblem{.kind = SitemapProblem::Kind::PageBytesLimit,
                                       .number = limits_.maxPageBytes};
    }
    const bool stoppedByCancel =
        stop_.stop_requested() && fetched.failure.kind == TransferFailure::Kind::Cancelled;
    if (failure && !stoppedByCancel) {
        import.failures.push_back({.sitemap = url, .problem = std::move(*failure)});
    }
    if (!failure) {
        import.read.push_back({.sitemap = url,
                               .etag = std::move(transfer.etag),
                               .lastModified = std::move(transfer.lastModified),
                               .pages = std::move(named)});
    }
    for (auto& [note, leftOut] : parser->LeftOutNotes()) {
        import.notes.Add(note, url + ": left out " + leftOut);
    }
    if (!nested.empty() && depth >= limits_.maxDepth) {
        import.notes.Add(ImportNote::BeyondNesting,
                         url + ": names sitemaps beyond the nesting limit (" +
                             std::to_string(limits_.maxDepth) + "), not read");
        return;
    }
    for (const std::string& sitemap : nested) {
        if (stop_.stop_requested() || full_) {
            return;
        }
        ReadSitemap(sitemap, depth + 1, import);
    }
}

}  // namespace quaymark
