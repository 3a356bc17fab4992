#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/sitemap/sitemap_problem.h"
#include "engine/sitemap/w3c_date.h"

namespace quaymark {

// The bounds of one import. The sitemap protocol's own: 50,000 addresses and 50 MiB
// uncompressed per sitemap. Ours: how deep indexes nest, how many sitemaps and pages one
// import takes, how much of robots.txt counts, and how long an address may be.
struct SitemapLimits {
    std::size_t maxAddresses = 50000;
    std::size_t maxBytes = std::size_t{50} << 20;
    int maxDepth = 3;
    std::size_t maxSitemaps = 1000;
    std::size_t maxPages = 500000;
    // The bytes of the addresses one import keeps, so that long addresses cannot make it
    // grow where their count stays within bounds.
    std::size_t maxPageBytes = std::size_t{32} << 20;
    std::size_t maxRobotsBytes = std::size_t{512} << 10;
    std::size_t maxAddressLength = 2048;
};

// A page a sitemap lists, with its last change when the sitemap gives one (seconds since the
// epoch, UTC).
struct SitemapPage {
    std::string url;
    std::optional<std::int64_t> lastmod;
};

// Whether an address is an http or https address on the host (any letter case), with no user
// name or password, and with nothing in it that would break a line of the list.
bool IsPageOfHost(std::string_view address, std::string_view host);

// Why an import tells the user something that is not a failure.
enum class ImportNote {
    NamedAgain,         // a sitemap named again, read once
    OtherHosts,         // a sitemap lists addresses of other hosts
    NotAddresses,       // a sitemap lists entries that are not addresses on one line
    TooLong,            // a sitemap lists addresses over the length limit
    Credentials,        // a sitemap lists addresses with a user name or password
    OtherHostSitemaps,  // an index names sitemaps of another host
    BeyondNesting,      // an index names sitemaps deeper than indexes may nest
    NotRead,            // sitemaps beyond the import's limit of sitemaps
};

// What an import tells besides its failures, counted by reason, with a few examples of each
// and the first lines of all: however many a hostile web of sitemaps makes, what is kept and
// shown stays small.
struct ImportNotes {
    static constexpr std::size_t kExamples = 3;
    static constexpr std::size_t kMaxLines = 500;

    struct Reason {
        ImportNote note;
        std::size_t count = 0;
        std::vector<std::string> examples{};
    };
    // In the order each reason was first met.
    std::vector<Reason> reasons;
    std::vector<std::string> lines;
    std::size_t linesLeftOut = 0;

    void Add(ImportNote note, std::string line);
    bool empty() const { return reasons.empty(); }
};

// Reads one sitemap's bytes as they arrive: gzip is recognised by its bytes, then XML (a
// <urlset>, a <sitemapindex>, an RSS 2.0 or an Atom 1.0 feed) by its first character, anything
// else as a text sitemap of one address a line. Memory stays bounded whatever the input.
class SitemapParser {
public:
    // Pages and the sitemaps an index names are handed on as they are read.
    struct Sink {
        std::function<void(SitemapPage)> page;
        std::function<void(std::string)> sitemap;
    };

    SitemapParser(std::string host, const SitemapLimits& limits, Sink sink);
    ~SitemapParser();
    SitemapParser(const SitemapParser&) = delete;
    SitemapParser& operator=(const SitemapParser&) = delete;

    // False once the sitemap has failed: failure() says why, and nothing more is taken.
    bool Feed(std::string_view bytes);
    // The bytes have ended.
    bool Finish();
    const std::optional<SitemapProblem>& failure() const { return failure_; }
    // Addresses left out, and why, in the user's words ("3 addresses of other hosts").
    std::vector<std::pair<ImportNote, std::string>> LeftOutNotes() const;

    // The parser's inner stages, seen by its helpers only.
    struct Xml;
    struct Inflater;
    bool Fail(SitemapProblem why);
    void Address(std::string text, std::optional<std::int64_t> lastmod, bool isSitemap);

private:
    bool Take(std::string_view bytes);
    bool TakeText(std::string_view bytes, bool last);

    enum class Form { Unknown, Xml, Text };

    std::string host_;
    const SitemapLimits& limits_;
    Sink sink_;
    std::optional<SitemapProblem> failure_;
    std::size_t bytes_ = 0;
    std::size_t found_ = 0;
    Form form_ = Form::Unknown;
    bool gzipChecked_ = false;
    std::string head_;
    std::string line_;
    std::unique_ptr<Xml> xml_;
    std::unique_ptr<Inflater> inflater_;
    std::size_t otherHosts_ = 0;
    std::size_t notAddresses_ = 0;
    std::size_t tooLong_ = 0;
    std::size_t credentials_ = 0;
    std::size_t otherHostSitemaps_ = 0;
};

}  // namespace quaymark
