#include "engine/run/announce_changes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <map>

#include "engine/run/history_log.h"
#include "tests/support/announce_site.h"
#include "tests/support/fake_google.h"
#include "tests/support/temp_dir.h"

namespace quaymark {
namespace {

using testing::AnnounceSite;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::Urlset;

class Quiet : public RunObserver, public ImportObserver {
public:
    void RunStarted(int, int, int) override {}
    void AddressStarted(const std::string&) override {}
    void EngineStarted(std::string_view) override {}
    void RequestDone() override {}
    void FailureRecorded(const FailureRecord&) override {}
    void WaitStarted(std::string_view, std::chrono::seconds, std::string_view) override {}
    void WaitEnded() override {}
    void RunEnded() override {}
    void SitemapStarted(const std::string&) override {}
    void AddressesFound(std::size_t) override {}
};

std::string W3cDate(std::time_t time) {
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&time));
    return text;
}

std::string Page(const std::string& path) {
    return std::string(AnnounceSite::kSite) + path;
}

// The body IndexNow receives for the site's pages, in order.
std::string Announcement(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& path : paths) {
        list += (list.empty() ? "\"" : ",\"") + Page(path) + "\"";
    }
    return "{\"host\":\"www.example.test\",\"key\":\"announce-key\",\"urlList\":[" + list + "]}";
}

class AnnounceChangesTest : public ::testing::Test {
protected:
    void SetUp() override {
        opened_ = History::Open(dir_.path() / "history.sqlite");
        ASSERT_TRUE(opened_.history);
        writer_ = std::make_unique<HistoryWriter>(*opened_.history);
    }

    // The site imported once, as the import window does, and every page announced a day ago.
    void Imported() {
        Quiet quiet;
        SitemapImporter importer(site_.Routing(), quiet);
        const SitemapImport import = importer.Import(AnnounceSite::kSite);
        ASSERT_FALSE(import.read.empty());
        writer_->RememberSitemaps(SitemapsToRemember(import, now_ - 86400), SitemapPagesOf(import));
        for (const SitemapPage& page : import.pages) {
            writer_->Record({.time = now_ - 86400,
                             .channel = "IndexNow",
                             .address = page.url,
                             .request = "r",
                             .verdict = "200",
                             .reason = "",
                             .accepted = true});
            if (page.lastmod) {
                writer_->SetLastmods({{page.url, *page.lastmod}});
            }
        }
        writer_->Flush();
    }

    AnnounceOutcome Announce(bool dryRun = false, bool check = false) {
        HistoryStores stores(*writer_);
        AnnounceChanges announce({.settings = {.key = "announce-key",
                                               .endpoint = AnnounceSite::kEndpoint,
                                               .enabled = true,
                                               .checkPages = check,
                                               .letThrough = {"*"}},
                                  .dryRun = dryRun,
                                  .errorPageDir = dir_.path(),
                                  .routing = site_.Routing()},
                                 stores, quiet_);
        AnnounceOutcome outcome = announce.Run();
        writer_->Flush();
        return outcome;
    }

    testing::TempDir dir_;
    Quiet quiet_;
    AnnounceSite site_;
    History::Opened opened_;
    std::unique_ptr<HistoryWriter> writer_;
    std::time_t now_ = std::time(nullptr);
};

// New, changed, unchanged (304) and removed pages; a sitemap that fails removes nothing; a
// removed page is announced once; a dry run reads and tells but sends and records nothing.
TEST_F(AnnounceChangesTest, AnnouncesWhatIsNewChangedOrRemovedAndAFailingSitemapRemovesNothing) {
    site_.Serve("/robots.txt",
                "Sitemap: http://www.example.test/pages.xml\n"
                "Sitemap: http://www.example.test/news.xml\n");
    site_.Serve("/pages.xml", Urlset({Page("a") + " 2026-01-01", Page("b"), Page("c")}));
    site_.Serve("/news.xml", Urlset({Page("n1"), Page("n2")}));
    Imported();

    const AnnounceOutcome same = Announce();
    EXPECT_THAT(site_.Answers("/pages.xml"), ElementsAre(200, 304));
    EXPECT_THAT(same.chosen, IsEmpty());
    EXPECT_EQ(same.passedOver.unchanged, 5u);
    EXPECT_THAT(site_.Posted(), IsEmpty());

    site_.Serve("/pages.xml", Urlset({Page("a") + " 2026-01-01",
                                      Page("b") + " " + W3cDate(now_ - 3600), Page("d")}));
    site_.Serve("/news.xml", "", 500);
    const AnnounceOutcome dry = Announce(true);
    ASSERT_EQ(dry.chosen.size(), 3u);
    EXPECT_EQ(dry.chosen[0].address, Page("b"));
    EXPECT_EQ(dry.chosen[0].reason, AnnounceReason::Changed);
    EXPECT_EQ(dry.chosen[1].reason, AnnounceReason::New);
    EXPECT_EQ(dry.chosen[2].address, Page("c"));
    EXPECT_EQ(dry.chosen[2].reason, AnnounceReason::Removed);
    EXPECT_THAT(site_.Posted(), IsEmpty());
    EXPECT_THAT(opened_.history->RemovedPages(), IsEmpty()) << "a dry run records nothing";

    const AnnounceOutcome changed = Announce();
    EXPECT_THAT(site_.Posted(), ElementsAre(Announcement({"b", "d", "c"})));
    ASSERT_EQ(changed.sites.size(), 1u);
    EXPECT_EQ(changed.sites[0].failures.size(), 1u) << "the news sitemap's 500 is told";
    EXPECT_TRUE(changed.sitemapsFailed());
    EXPECT_EQ(changed.refused(), 0u);
    EXPECT_THAT(changed.listPages,
                ElementsAre(Page("a"), Page("b"), Page("d"), Page("n1"), Page("n2")));
    const std::vector<RemovedPage> removed = opened_.history->RemovedPages();
    ASSERT_EQ(removed.size(), 1u) << "n1 and n2 stay: their sitemap could not be read";
    EXPECT_EQ(removed[0].address, Page("c"));

    site_.Serve("/news.xml", Urlset({Page("n1"), Page("n2")}));
    const AnnounceOutcome again = Announce();
    EXPECT_THAT(site_.Answers("/pages.xml"), ElementsAre(200, 304, 200, 200, 304));
    EXPECT_THAT(again.chosen, IsEmpty()) << "the removed page was announced once";
    EXPECT_EQ(site_.Posted().size(), 1u);

    // Sitemaps that suddenly name no page at all remove nothing.
    site_.Serve("/pages.xml", Urlset({}));
    site_.Serve("/news.xml", Urlset({}));
    const AnnounceOutcome empty = Announce();
    EXPECT_TRUE(empty.sites[0].namedNothing);
    EXPECT_THAT(empty.chosen, IsEmpty());
    EXPECT_EQ(opened_.history->RemovedPages().size(), 1u);
    EXPECT_THAT(AnnounceSummary(empty, false),
                ::testing::HasSubstr("1 site whose sitemaps named no page"));
}

std::string Html(const std::string& head, const std::string& main, const std::string& footer) {
    return "<!doctype html><html><head>" + head + "</head><body><main>" + main + "</main><footer>" +
           footer + "</footer></body></html>";
}

// Each page checked and judged before it is announced; only its text's changes count where
// the site's lastmods cannot be trusted; a page gone is announced once; an unchanged page
// costs a 304.
TEST_F(AnnounceChangesTest, ChecksDecideWhatIsAnnounced) {
    site_.Serve("/robots.txt",
                "Sitemap: http://www.example.test/pages.xml\n"
                "User-agent: *\nDisallow: /private\n");
    const std::string touched = " " + W3cDate(now_ - 3600);
    std::vector<std::string> pages;
    for (const char* path :
         {"open", "noindex", "tagged", "canon", "moved", "gone", "private", "broken"}) {
        pages.push_back(Page(path) + touched);
    }
    site_.Serve("/pages.xml", Urlset(pages));
    Imported();
    site_.Serve("/open", Html("", "Hello, world.", "Built on Monday"));
    site_.Serve("/noindex", Html(R"(<meta name="robots" content="noindex">)", "x", ""));
    site_.Serve("/tagged", Html("", "x", ""), 200,
                {{"X-Robots-Tag", "googlebot: noindex, yandex: none"}});
    site_.Serve("/canon", Html(R"(<link rel="canonical" href="/open">)", "x", ""));
    site_.Serve("/moved", "", 301, {{"Location", "/open"}});
    site_.Serve("/gone", "", 410);
    site_.Serve("/broken", "", 503);

    const AnnounceOutcome first = Announce(false, true);
    ASSERT_EQ(first.chosen.size(), 1u) << "every lastmod alike: not trusted, so nothing changed";
    EXPECT_EQ(first.chosen[0].address, Page("gone"));
    EXPECT_EQ(first.chosen[0].reason, AnnounceReason::Removed);
    EXPECT_EQ(first.checkedOut,
              (std::map<PageVerdict, std::size_t>{{PageVerdict::Noindex, 2},
                                                  {PageVerdict::CanonicalElsewhere, 1},
                                                  {PageVerdict::Redirected, 1},
                                                  {PageVerdict::Disallowed, 1},
                                                  {PageVerdict::Failed, 1}}));
    EXPECT_THAT(site_.Answers("/private"), IsEmpty()) << "robots.txt is obeyed";
    EXPECT_THAT(first.run.notes,
                ::testing::Contains(::testing::HasSubstr("lastmods are not trusted")));
    EXPECT_THAT(
        first.run.notes,
        ::testing::Contains(::testing::HasSubstr("Not announced, redirected: 1 page, " +
                                                 Page("moved") + " (" + Page("open") + ")")));
    const auto checks = opened_.history->PageChecks();
    EXPECT_EQ(checks.at(Page("canon")).detail, Page("open"));
    EXPECT_EQ(checks.at(Page("broken")).verdict, "error");

    // A rebuild that changes only the footer is no change; the next check costs a 304.
    site_.Serve("/open", Html("", "Hello, world.", "Built on Tuesday"));
    const AnnounceOutcome footer = Announce(false, true);
    EXPECT_THAT(footer.chosen, IsEmpty()) << "the page gone was announced once";
    EXPECT_THAT(footer.run.notes,
                ::testing::Not(::testing::Contains(::testing::HasSubstr("not trusted"))))
        << "told once";
    EXPECT_THAT(Announce(false, true).chosen, IsEmpty());
    EXPECT_THAT(site_.Answers("/open"), ElementsAre(200, 200, 304));

    site_.Serve("/open", Html("", "Hello, changed world.", "Built on Tuesday"));
    const AnnounceOutcome text = Announce(false, true);
    ASSERT_EQ(text.chosen.size(), 1u);
    EXPECT_EQ(text.chosen[0].address, Page("open"));
    EXPECT_EQ(text.chosen[0].reason, AnnounceReason::Changed);
    EXPECT_EQ(site_.Posted().size(), 2u);
}

// An unchanged index costs a 304 like any sitemap, and so does an empty urlset; the sitemaps
// the index named are read as they were remembered, and a page added to one is announced.
TEST_F(AnnounceChangesTest, AnUnchangedIndexAndAnEmptySitemapAreReadConditionally) {
    site_.Serve("/robots.txt",
                "Sitemap: http://www.example.test/index.xml\n"
                "Sitemap: http://www.example.test/empty.xml\n");
    site_.Serve("/index.xml",
                "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
                "<sitemap><loc>http://www.example.test/one.xml</loc></sitemap></sitemapindex>");
    site_.Serve("/one.xml", Urlset({Page("a")}));
    site_.Serve("/empty.xml", Urlset({}));
    Imported();
    EXPECT_THAT(Announce().chosen, IsEmpty());
    EXPECT_THAT(site_.Answers("/index.xml"), ElementsAre(200, 304));
    EXPECT_THAT(site_.Answers("/empty.xml"), ElementsAre(200, 304));
    EXPECT_THAT(site_.Answers("/one.xml"), ElementsAre(200, 304));
    site_.Serve("/one.xml", Urlset({Page("a"), Page("b")}));
    const AnnounceOutcome outcome = Announce();
    ASSERT_EQ(outcome.chosen.size(), 1u);
    EXPECT_EQ(outcome.chosen[0].address, Page("b"));
    EXPECT_EQ(site_.Answers("/index.xml").back(), 304);
    EXPECT_THAT(site_.Posted(), ElementsAre(Announcement({"b"})));
}

// Only the sitemap that changed is read into the run; a page it dropped that an unchanged
// one still names is not removed, and the unchanged one's pages count as not changed.
TEST_F(AnnounceChangesTest, APageStillNamedByAnUnchangedSitemapIsNotRemoved) {
    site_.Serve("/robots.txt",
                "Sitemap: http://www.example.test/one.xml\n"
                "Sitemap: http://www.example.test/two.xml\n");
    site_.Serve("/one.xml", Urlset({Page("a"), Page("b")}));
    site_.Serve("/two.xml", Urlset({Page("b"), Page("d")}));
    Imported();
    site_.Serve("/one.xml", Urlset({Page("a"), Page("c")}));
    const AnnounceOutcome outcome = Announce();
    ASSERT_EQ(outcome.chosen.size(), 1u);
    EXPECT_EQ(outcome.chosen[0].address, Page("c"));
    EXPECT_EQ(outcome.chosen[0].reason, AnnounceReason::New);
    EXPECT_EQ(outcome.sites.at(0).newlyRemoved, 0u);
    EXPECT_EQ(outcome.passedOver.unchanged, 3u);
    EXPECT_THAT(opened_.history->RemovedPages(), IsEmpty());
}

// What Google has still to inspect is inspected by the next run that can, though IndexNow
// has nothing new to send.
TEST_F(AnnounceChangesTest, PagesWaitingForGoogleAreInspectedWhenIndexNowHasNothingToSend) {
    testing::FakeGoogle google;
    google.Properties(
        R"({"siteEntry":[{"siteUrl":"http://www.example.test/","permissionLevel":"siteOwner"}]})");
    RunRouting routing = site_.Routing();
    for (const auto& [host, port] : google.Routing().connectTo) {
        routing.connectTo[host] = port;
    }
    site_.Serve("/sitemap.xml", Urlset({Page("a")}));
    Imported();
    site_.Serve("/sitemap.xml", Urlset({Page("a"), Page("b")}));
    google.Inspections(Page("b"), {{.status = 403}});
    const auto announce = [&] {
        HistoryStores stores(*writer_);
        AnnounceChanges run({.settings = {.key = "announce-key",
                                          .endpoint = AnnounceSite::kEndpoint,
                                          .enabled = true,
                                          .checkPages = false,
                                          .letThrough = {"*"}},
                             .google = {.key = google.Key()},
                             .errorPageDir = dir_.path(),
                             .routing = routing},
                            stores, quiet_);
        AnnounceOutcome outcome = run.Run();
        writer_->Flush();
        return outcome;
    };
    EXPECT_EQ(announce().refused(), 1u);
    EXPECT_THAT(site_.Posted(), ElementsAre(Announcement({"b"})));
    EXPECT_THAT(announce().chosen, IsEmpty());
    EXPECT_THAT(google.inspected(), ElementsAre(Page("b"), Page("b")));
    EXPECT_EQ(site_.Posted().size(), 1u);
    EXPECT_THAT(opened_.history->GooglePending(), IsEmpty());
}

TEST_F(AnnounceChangesTest, WithoutAChannelOrARememberedSitemapNothingIsRead) {
    HistoryStores stores(*writer_);
    AnnounceChanges noChannel({}, stores, quiet_);
    EXPECT_EQ(noChannel.Run().setup, AnnounceOutcome::Setup::NoChannel);
    EXPECT_EQ(Announce().setup, AnnounceOutcome::Setup::NoSitemap);
}

}  // namespace
}  // namespace quaymark
