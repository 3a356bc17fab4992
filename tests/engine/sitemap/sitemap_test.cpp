#include "engine/sitemap/sitemap_import.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <functional>
#include <map>
#include <mutex>

#include "tests/support/gzip.h"
#include "tests/support/loopback_server.h"

namespace quaymark {
namespace {

using ::testing::ElementsAre;
using testing::Gzip;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Kind = SitemapProblem::Kind;

SitemapFailure Failed(std::string sitemap, Kind kind, std::size_t number) {
    return {.sitemap = std::move(sitemap), .problem = {.kind = kind, .number = number}};
}

std::string UrlSet(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">" +
           entries + "</urlset>";
}

std::string Index(const std::vector<std::string>& sitemaps) {
    std::string xml = "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (const std::string& sitemap : sitemaps) {
        xml += "<sitemap><loc>" + sitemap + "</loc></sitemap>";
    }
    return xml + "</sitemapindex>";
}

class NoFollower : public ImportObserver {
public:
    std::function<void()> onStart = [] {};
    std::vector<std::string> started;
    void SitemapStarted(const std::string& url) override {
        started.push_back(url);
        onStart();
    }
    void AddressesFound(std::size_t) override {}
};

// The sites of a test on one loopback port: each path serves its body.
class Sites {
public:
    void Serve(const std::string& path, std::string body, int status = 200) {
        server_->Get(path, [body = std::move(body), status](const httplib::Request&,
                                                            httplib::Response& response) {
            response.status = status;
            response.set_content(body, "application/octet-stream");
        });
    }
    RunRouting Routing() { return {{{":", server_.port()}}, {}, {}}; }
    testing::LoopbackServer<httplib::Server>& server() { return server_; }

private:
    testing::LoopbackServer<httplib::Server> server_;
};

TEST(SitemapImport, RobotsIndexesGzipAndTextInOrderEachPageAndSitemapOnce) {
    Sites sites;
    sites.Serve("/robots.txt",
                "User-agent: *\r\nDisallow: /private\r\n"
                "SITEMAP: http://site.test/index.xml\r\nSitemap: http://site.test/pages.txt\r\n");
    sites.Serve("/index.xml", Index({"http://site.test/a.xml.gz", "http://site.test/inner.xml",
                                     "http://site.test/index.xml"}));
    sites.Serve("/a.xml.gz", Gzip(UrlSet("<url><loc> http://site.test/one </loc>"
                                         "<lastmod>2026-12-01</lastmod></url>"
                                         "<url><loc>http://other.test/x</loc></url>"
                                         "<url><loc>http://site.test/a&#10;b</loc></url>"
                                         "<url><loc>https://SITE.test/two?a=1&amp;b=2</loc>"
                                         "<lastmod>2026-12-02T10:00:00+01:00</lastmod></url>")));
    sites.Serve("/inner.xml", Index({"http://site.test/deep.xml"}));
    sites.Serve("/deep.xml", UrlSet("<url><loc>http://site.test/three</loc></url>"
                                    "<url><loc>http://site.test/one</loc></url>"));
    sites.Serve("/pages.txt",
                "\xEF\xBB\xBFhttp://site.test/four\r\n\r\nnot an address\n"
                "http://site.test/five");
    NoFollower follower;
    SitemapImporter importer(sites.Routing(), follower);
    const SitemapImport import = importer.Import("http://site.test");

    std::vector<std::string> urls;
    for (const SitemapPage& page : import.pages) {
        urls.push_back(page.url);
    }
    EXPECT_THAT(urls, ElementsAre("http://site.test/one", "https://SITE.test/two?a=1&b=2",
                                  "http://site.test/three", "http://site.test/four",
                                  "http://site.test/five"));
    EXPECT_EQ(import.pages[0].lastmod, ParseW3cDate("2026-12-01T00:00:00Z"));
    EXPECT_EQ(import.pages[1].lastmod, ParseW3cDate("2026-12-02T09:00:00Z"));
    EXPECT_EQ(import.pages[2].lastmod, std::nullopt);
    EXPECT_THAT(import.failures, IsEmpty());
    EXPECT_THAT(import.notes.lines,
                ElementsAre("http://site.test/a.xml.gz: left out 1 address of another host",
                            "http://site.test/a.xml.gz: left out 1 entry that is not an http or "
                            "https address on one line",
                            "http://site.test/index.xml: named again, read once",
                            "http://site.test/pages.txt: left out 1 entry that is not an http or "
                            "https address on one line"));
    EXPECT_EQ(follower.started.front(), "http://site.test/robots.txt");
    EXPECT_FALSE(import.cancelled);
}

TEST(SitemapImport, WithoutSitemapLinesTheSiteMapIsTriedAndLimitsAreTold) {
    Sites sites;
    sites.Serve("/robots.txt", "Sitemap: http://site.test/refused.xml\n", 404);
    sites.Serve("/sitemap.xml", Index({"http://site.test/level1.xml", "http://site.test/big.xml",
                                       "http://site.test/gone.xml"}));
    sites.Serve("/level1.xml", Index({"http://site.test/level2.xml"}));
    sites.Serve("/level2.xml", UrlSet("<url><loc>http://site.test/deep</loc></url>"));
    sites.Serve("/big.xml", UrlSet("<url><loc>http://site.test/1</loc></url>"
                                   "<url><loc>http://site.test/2</loc></url>"
                                   "<url><loc>http://site.test/3</loc></url>"
                                   "<url><loc>http://site.test/4</loc></url>"));
    sites.Serve("/gone.xml", UrlSet("<url><loc>http://site.test/from-a-404</loc></url>"), 404);
    SitemapLimits limits;
    limits.maxDepth = 1;
    limits.maxAddresses = 3;
    NoFollower follower;
    SitemapImporter importer(sites.Routing(), follower, limits);
    const SitemapImport import = importer.Import("http://site.test/");

    ASSERT_EQ(import.pages.size(), 3u);
    EXPECT_EQ(import.pages[2].url, "http://site.test/3");
    EXPECT_THAT(import.failures,
                ElementsAre(Failed("http://site.test/big.xml", Kind::TooManyAddresses, 3),
                            Failed("http://site.test/gone.xml", Kind::Answered, 404)));
    EXPECT_THAT(import.notes.lines,
                ElementsAre("http://site.test/level1.xml: names sitemaps beyond the "
                            "nesting limit (1), not read"));
}

TEST(SitemapImport, AnImportStopsAtItsOwnLimitsOfSitemapsAndPages) {
    Sites sites;
    sites.Serve("/index.xml", Index({"http://site.test/1.xml", "http://site.test/2.xml",
                                     "http://site.test/3.xml"}));
    for (const char* n : {"1", "2", "3"}) {
        sites.Serve(std::string("/") + n + ".xml",
                    UrlSet(std::string("<url><loc>http://site.test/") + n + "a</loc></url>" +
                           "<url><loc>http://site.test/" + n + "b</loc></url>"));
    }
    SitemapLimits limits;
    limits.maxSitemaps = 3;
    limits.maxPages = 3;
    NoFollower follower;
    SitemapImporter importer(sites.Routing(), follower, limits);
    const SitemapImport import = importer.Import("http://site.test/index.xml");
    EXPECT_EQ(import.pages.size(), 3u);
    EXPECT_THAT(import.failures, ElementsAre(Failed("http://site.test/2.xml", Kind::PageLimit, 3)));
    EXPECT_THAT(import.notes.lines, ElementsAre("1 sitemap not read: an import reads at most 3"));

    limits.maxPages = 100;
    limits.maxPageBytes = 40;  // two addresses of 19 bytes
    SitemapImporter bytes(sites.Routing(), follower, limits);
    EXPECT_THAT(bytes.Import("http://site.test/index.xml").failures,
                ElementsAre(Failed("http://site.test/2.xml", Kind::PageBytesLimit, 40)));
}

TEST(SitemapImport, AnEndlessRobotsFileIsReadOnlyInPartAndCancelStopsAtOnce) {
    Sites sites;
    sites.server()->Get("/robots.txt", [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
            static const std::string filler =
                "Sitemap: http://site.test/s.txt\n" + std::string(4096, '#') + "\n";
            return sink.write(filler.data(), filler.size());
        });
    });
    sites.Serve("/s.txt", "http://site.test/page\n");
    SitemapLimits limits;
    limits.maxRobotsBytes = 64 << 10;
    NoFollower follower;
    SitemapImporter importer(sites.Routing(), follower, limits);
    const SitemapImport import = importer.Import("http://site.test/");
    ASSERT_EQ(import.pages.size(), 1u);
    EXPECT_THAT(import.notes.lines, IsEmpty());

    NoFollower cancelling;
    std::stop_source stop;
    SitemapImporter cancelled(sites.Routing(), cancelling, {}, stop.get_token());
    cancelling.onStart = [&] { stop.request_stop(); };
    const SitemapImport none = cancelled.Import("http://site.test/s.txt");
    EXPECT_TRUE(none.cancelled);
    EXPECT_THAT(none.pages, IsEmpty());
    EXPECT_THAT(none.failures, IsEmpty());
}

// The host is libcurl's reading of an address: a user name before "@" fools no check. Each
// sitemap is read once whatever its spelling, an index names only its own site's sitemaps,
// and a redirect out of the web is named as such.
TEST(SitemapImport, HostsAreReadAsLibcurlReadsThemAndEachSitemapOnce) {
    Sites sites;
    // Counted before the answer goes out, so the count is complete when the import ends.
    std::mutex lock;
    std::map<std::string, int> fetched;
    sites.server()->set_pre_routing_handler(
        [&](const httplib::Request& request, httplib::Response&) {
            const std::scoped_lock counting(lock);
            ++fetched[request.path];
            return httplib::Server::HandlerResponse::Unhandled;
        });
    sites.Serve("/index.xml",
                Index({"http://SITE.test:80/index.xml#top", "http://site.test/index.xml#again",
                       "http://site.test/p.xml", "http://other.test/theirs.xml",
                       "http://site.test/moved.xml"}));
    sites.Serve("/p.xml", UrlSet("<url><loc>http://site.test:pw@evil.test/steal</loc></url>"
                                 "<url><loc>http://user@site.test/x</loc></url>"
                                 "<url><loc>http://site.test/ok</loc></url>"));
    sites.Serve("/theirs.xml", UrlSet("<url><loc>http://other.test/page</loc></url>"));
    sites.server()->Get("/moved.xml", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("file:///etc/passwd");
    });
    NoFollower follower;
    SitemapImporter importer(sites.Routing(), follower);
    const SitemapImport import = importer.Import("http://site.test/index.xml");

    ASSERT_EQ(import.pages.size(), 1u);
    EXPECT_EQ(import.pages[0].url, "http://site.test/ok");
    {
        const std::scoped_lock counting(lock);
        EXPECT_EQ(fetched["/index.xml"], 1);
        EXPECT_EQ(fetched.count("/theirs.xml"), 0u);
    }
    const SitemapProblem redirected{.kind = Kind::Transfer,
                                    .transfer = {.kind = TransferFailure::Kind::NonWebRedirect,
                                                 .detail = "file:///etc/passwd"}};
    EXPECT_THAT(import.failures, ElementsAre(SitemapFailure{.sitemap = "http://site.test/moved.xml",
                                                            .problem = redirected}));
    EXPECT_THAT(import.notes.lines,
                ElementsAre("http://site.test/index.xml: left out 1 sitemap of another host",
                            "http://SITE.test:80/index.xml#top: named again, read once",
                            "http://site.test/index.xml#again: named again, read once",
                            "http://site.test/p.xml: left out 2 addresses with a user name or "
                            "password"));
    ASSERT_EQ(import.notes.reasons.size(), 3u);
    EXPECT_EQ(import.notes.reasons[1].note, ImportNote::NamedAgain);
    EXPECT_EQ(import.notes.reasons[1].count, 2u);
}

// An import tells which sitemaps it read whole for which site, with each answer's validators,
// so that they can be read again with conditional requests.
TEST(SitemapImport, TellsTheSitemapsItReadWholeWithTheirValidators) {
    Sites sites;
    sites.server()->Get("/index.xml", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("ETag", "\"v1\"");
        response.set_header("Last-Modified", "Tue, 08 Dec 2026 20:00:00 GMT");
        response.set_content(Index({"http://site.test/a.xml", "http://site.test/gone.xml"}),
                             "application/xml");
    });
    sites.Serve("/a.xml", UrlSet("<url><loc>http://site.test/p</loc></url>"));
    sites.Serve("/gone.xml", "", 404);
    NoFollower follower;
    SitemapImporter importer(sites.Routing(), follower);
    const SitemapImport import = importer.Import("http://SITE.test:80/index.xml");
    EXPECT_EQ(import.site, "http://site.test/");
    EXPECT_THAT(import.read,
                ElementsAre(SitemapRead{.sitemap = "http://SITE.test:80/index.xml",
                                        .etag = "\"v1\"",
                                        .lastModified = "Tue, 08 Dec 2026 20:00:00 GMT"},
                            SitemapRead{.sitemap = "http://site.test/a.xml", .pages = {0}}));
}

// Notes are counted by reason and keep only a few examples and a bounded list of lines.
TEST(ImportNotes, CountsEveryNoteButKeepsFew) {
    ImportNotes notes;
    for (std::size_t i = 0; i < ImportNotes::kMaxLines + 10; ++i) {
        notes.Add(ImportNote::NamedAgain, "again " + std::to_string(i));
    }
    notes.Add(ImportNote::NotRead, "not read");
    ASSERT_EQ(notes.reasons.size(), 2u);
    EXPECT_EQ(notes.reasons[0].count, ImportNotes::kMaxLines + 10);
    EXPECT_THAT(notes.reasons[0].examples, ElementsAre("again 0", "again 1", "again 2"));
    EXPECT_EQ(notes.lines.size(), ImportNotes::kMaxLines);
    EXPECT_EQ(notes.linesLeftOut, 11u);
}

// What one sitemap's bytes make, fed in pieces of the given size.
struct Parsed {
    std::vector<std::string> pages;
    std::vector<std::optional<std::int64_t>> lastmods;
    std::optional<SitemapProblem> failure;
};
Parsed Parse(const std::string& bytes, const SitemapLimits& limits = {}, std::size_t piece = 7) {
    Parsed parsed;
    SitemapParser parser("site.test", limits,
                         {[&](SitemapPage page) {
                              parsed.pages.push_back(page.url);
                              parsed.lastmods.push_back(page.lastmod);
                          },
                          [](const std::string&) {}});
    bool going = true;
    for (std::size_t at = 0; going && at < bytes.size(); at += piece) {
        going = parser.Feed(std::string_view(bytes).substr(at, piece));
    }
    if (going) {
        parser.Finish();
    }
    parsed.failure = parser.failure();
    return parsed;
}

// RSS 2.0 and Atom 1.0 feeds are sitemaps too: each item's link, each entry's own page, with
// the item's date as the page's last change; the feed's own link is not a page.
TEST(SitemapParser, FeedsListTheirEntriesPages) {
    const Parsed rss = Parse(
        "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Blog</title>"
        "<link>http://site.test/</link><item><title>One</title><link>http://site.test/one</link>"
        "<pubDate>Tue, 08 Dec 2026 20:00:00 GMT</pubDate></item>"
        "<item><link> http://site.test/two </link></item>"
        "<item><link>http://other.test/x</link></item></channel></rss>");
    EXPECT_THAT(rss.pages, ElementsAre("http://site.test/one", "http://site.test/two"));
    EXPECT_EQ(rss.lastmods[0], ParseW3cDate("2026-12-08T20:00:00Z"));
    EXPECT_EQ(rss.lastmods[1], std::nullopt);

    const Parsed atom = Parse(
        "<feed xmlns=\"http://www.w3.org/2005/Atom\"><link href=\"http://site.test/\"/>"
        "<updated>2026-12-01T00:00:00Z</updated><entry><link rel=\"edit\" "
        "href=\"http://site.test/edit/1\"/><link href=\"http://site.test/a\"/>"
        "<updated>2026-12-08T10:30:00+01:00</updated></entry>"
        "<entry><link rel=\"alternate\" href=\"http://site.test/b\"/></entry></feed>");
    EXPECT_THAT(atom.pages, ElementsAre("http://site.test/a", "http://site.test/b"));
    EXPECT_EQ(atom.lastmods[0], ParseW3cDate("2026-12-08T10:30:00+01:00"));
    EXPECT_EQ(atom.failure, std::nullopt);
}

TEST(SitemapParser, HostileOrBrokenInputFailsWithItsReason) {
    const auto kindOf = [](const Parsed& parsed) {
        return parsed.failure ? parsed.failure->kind : Kind::Empty;
    };
    EXPECT_EQ(Parse("<html><body>Not found</body></html>").failure,
              (SitemapProblem{.kind = Kind::NotASitemap, .detail = "html"}));
    const Parsed cut = Parse(UrlSet("<url><loc>http://site.test/a</loc></url"));
    EXPECT_EQ(kindOf(cut), Kind::NotWellFormed);
    EXPECT_EQ(cut.failure->number, 2u) << "the line";
    const std::string laughs =
        "<?xml version=\"1.0\"?><!DOCTYPE urlset [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b "
        "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><urlset><url><loc>&b;</loc></url></urlset>";
    EXPECT_EQ(kindOf(Parse(laughs)), Kind::DeclaresEntities);

    SitemapLimits small;
    small.maxBytes = 1 << 20;
    const Parsed bomb = Parse(Gzip(UrlSet(std::string(8 << 20, ' '))), small, 4096);
    EXPECT_EQ(bomb.failure, (SitemapProblem{.kind = Kind::TooLarge, .number = 1 << 20}));
    EXPECT_EQ(kindOf(Parse(Gzip(UrlSet("")).substr(0, 20))), Kind::GzipCutShort);
    EXPECT_EQ(kindOf(Parse("\x1f\x8bnot gzip at all")), Kind::NotGzip);
    EXPECT_EQ(Parse(" \n ").failure, SitemapProblem{.kind = Kind::Empty});
    // Text of any length on one line stays bounded and is left out.
    const Parsed endless = Parse("http://site.test/" + std::string(3 << 20, 'a'), small, 65536);
    EXPECT_EQ(kindOf(endless), Kind::TooLarge);
    EXPECT_THAT(endless.pages, IsEmpty());
}

TEST(SitemapDates, W3cFormsAndNothingElse) {
    EXPECT_EQ(ParseW3cDate("1970-01-02"), 86400);
    EXPECT_EQ(ParseW3cDate("1970"), 0);
    EXPECT_EQ(ParseW3cDate("1970-01-01T01:00Z"), 3600);
    EXPECT_EQ(ParseW3cDate(" 1970-01-01T01:00:30.25-00:30 "), 3600 + 30 + 1800);
    EXPECT_EQ(ParseW3cDate("1970-02-30"), std::nullopt);
    EXPECT_EQ(ParseW3cDate("1970-01-01T25:00Z"), std::nullopt);
    EXPECT_EQ(ParseW3cDate("yesterday"), std::nullopt);
    EXPECT_EQ(ParseW3cDate("1970-01-01T01:00"), std::nullopt) << "a time needs its zone";
}

}  // namespace
}  // namespace quaymark
