#include "engine/check/page_checker.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "tests/support/gzip.h"
#include "tests/support/loopback_server.h"

namespace quaymark {
namespace {

const std::string kSite = "http://www.example.test/";

std::string Page(const std::string& head, const std::string& text) {
    return "<html><head>" + head + "</head><body><main>" + text + "</main></body></html>";
}

// Each answer a page can give, judged once; a page checked again with its validators costs a
// 304 and keeps what it was.
TEST(PageChecker, JudgesEveryAnswerAndChecksAgainConditionally) {
    testing::LoopbackServer<httplib::Server> site;
    std::mutex mutex;
    std::vector<std::string> conditional;
    const auto html = [](std::string body) {
        return [body](const httplib::Request&, httplib::Response& response) {
            response.set_content(body, "text/html; charset=utf-8");
        };
    };
    site->Get("/open", [&](const httplib::Request& request, httplib::Response& response) {
        const std::lock_guard lock(mutex);
        conditional.push_back(request.get_header_value("If-None-Match"));
        response.set_header("ETag", "\"v1\"");
        if (request.get_header_value("If-None-Match") == "\"v1\"") {
            response.status = 304;
            return;
        }
        response.set_content(Page("", "Roses"), "text/html");
    });
    site->Get("/meta-noindex", html(Page("<meta name=robots content=noindex>", "x")));
    site->Get("/header-noindex", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("X-Robots-Tag", "googlebot: noindex, bingbot: noindex");
        response.set_content("plain", "text/plain");
    });
    site->Get("/copy", html(Page("<link rel=canonical href=/open>", "Roses")));
    site->Get("/self", html(Page("<link rel=canonical href=http://WWW.example.test/self>", "x")));
    site->Get("/moved", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/open", 301);
    });
    site->Get("/gone",
              [](const httplib::Request&, httplib::Response& response) { response.status = 410; });
    site->Get("/broken",
              [](const httplib::Request&, httplib::Response& response) { response.status = 503; });
    site->Get("/huge", html(Page("", std::string(100000, 'x'))));

    PageChecker checker(
        {.connectTo = {{"www.example.test:80", site.port()}, {"down.example.test:80", 1}},
         .limits = {},
         .caFile = {}},
        {.maxBodyBytes = 4096});
    const std::vector<PageCheck> checks = checker.Check({
        {.address = kSite + "open"},
        {.address = kSite + "meta-noindex"},
        {.address = kSite + "header-noindex"},
        {.address = kSite + "copy"},
        {.address = kSite + "self"},
        {.address = kSite + "moved"},
        {.address = kSite + "missing"},
        {.address = kSite + "gone"},
        {.address = kSite + "broken"},
        {.address = "http://down.example.test/"},
        {.address = kSite + "huge"},
    });
    ASSERT_EQ(checks.size(), 11u);
    const PageVerdict expected[] = {PageVerdict::Indexable, PageVerdict::Noindex,
                                    PageVerdict::Noindex,   PageVerdict::CanonicalElsewhere,
                                    PageVerdict::Indexable, PageVerdict::Redirected,
                                    PageVerdict::Removed,   PageVerdict::Removed,
                                    PageVerdict::Failed,    PageVerdict::Failed,
                                    PageVerdict::Indexable};
    for (std::size_t i = 0; i < checks.size(); ++i) {
        EXPECT_EQ(checks[i].verdict, expected[i]) << checks[i].address << " " << checks[i].detail;
    }
    EXPECT_EQ(checks[0].etag, "\"v1\"");
    EXPECT_NE(checks[0].fingerprint, 0u);
    EXPECT_EQ(checks[3].detail, kSite + "open");
    EXPECT_EQ(checks[5].detail, kSite + "open");
    EXPECT_EQ(checks[8].detail, "answered 503");
    EXPECT_TRUE(checks[10].cut);

    const std::vector<PageCheck> again =
        checker.Check({{.address = kSite + "open", .etag = checks[0].etag}});
    EXPECT_EQ(again[0].verdict, PageVerdict::NotModified);
    const std::lock_guard lock(mutex);
    EXPECT_EQ(conditional.back(), "\"v1\"");
}

// A page is read as it is meant, not as it travels: a gzip body decoded (the cap counting the
// decoded bytes, so a bomb stops there), and an answer whose headers are too large told so.
TEST(PageChecker, ReadsAPageDecodedAndTellsOfHeadersTooLarge) {
    testing::LoopbackServer<httplib::Server> site;
    const auto gzip = [](std::string body) {
        return
            [zipped = testing::Gzip(body)](const httplib::Request&, httplib::Response& response) {
                response.set_header("Content-Encoding", "gzip");
                response.set_content(zipped, "text/html");
            };
    };
    site->Get("/zipped", gzip(Page("<meta name=robots content=noindex>", "Roses")));
    site->Get("/bomb", gzip(Page("", std::string(std::size_t{64} << 20, ' '))));
    site->Get("/headers", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("X-Padding", std::string(200000, 'a'));
        response.set_content(Page("", "Roses"), "text/html");
    });
    PageChecker checker(
        {.connectTo = {{"www.example.test:80", site.port()}}, .limits = {}, .caFile = {}},
        {.maxBodyBytes = 4096});
    const std::vector<PageCheck> checks = checker.Check({{.address = kSite + "zipped"},
                                                         {.address = kSite + "bomb"},
                                                         {.address = kSite + "headers"}});
    EXPECT_EQ(checks[0].verdict, PageVerdict::Noindex);
    EXPECT_EQ(checks[1].verdict, PageVerdict::Indexable);
    EXPECT_TRUE(checks[1].cut);
    EXPECT_EQ(checks[2].verdict, PageVerdict::Failed);
    EXPECT_EQ(checks[2].detail, "the answer's headers were too large");
}

// Pages that trickle are cut as too slow and free their connections, so that the site's
// other pages, waiting behind them in two hosts' worth of transfers, are read within their
// own limits and not starved.
TEST(PageChecker, TricklingPagesAreCutAndStarveNoOther) {
    testing::LoopbackServer<httplib::Server> site;
    site->Get("/trickle", [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("text/html", [](size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return sink.write("<p>", 3);
        });
    });
    site->Get("/page", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(Page("", "Roses"), "text/html");
    });
    PageChecker checker({.connectTo = {{":", site.port()}},
                         .limits = {.total = std::chrono::seconds(4)},
                         .caFile = {}},
                        {.slowOver = std::chrono::seconds(1)});
    std::vector<PageCheckRequest> pages(4, {.address = kSite + "trickle"});
    pages.insert(pages.end(), 6, {.address = kSite + "page"});
    pages.push_back({.address = "http://other.example.test/page"});
    const std::vector<PageCheck> checks = checker.Check(pages);
    for (std::size_t i = 0; i < checks.size(); ++i) {
        EXPECT_EQ(checks[i].verdict, i < 4 ? PageVerdict::Failed : PageVerdict::Indexable) << i;
        EXPECT_EQ(checks[i].detail, i < 4 ? "too slow" : "");
    }
}

// A site's robots.txt is read through its redirects, a missing one allows every page and a
// failing one none; a site asking for a crawl delay has its pages fetched one at a time, so
// far apart at least.
TEST(PageChecker, ReadsRobotsAndKeepsACrawlDelay) {
    testing::LoopbackServer<httplib::Server> site;
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    site->Get("/robots.txt", [](const httplib::Request& request, httplib::Response& response) {
        const std::string host = request.get_header_value("Host");
        if (host.starts_with("moved")) {
            response.set_redirect("http://www.example.test/robots.txt", 301);
        } else if (host.starts_with("broken")) {
            response.status = 500;
        } else if (host.starts_with("www")) {
            response.set_content("User-agent: *\nCrawl-delay: 0.05\n", "text/plain");
        } else {
            response.status = 404;
        }
    });
    site->Get("/p/.*", [&](const httplib::Request&, httplib::Response& response) {
        const std::lock_guard lock(mutex);
        arrivals.push_back(std::chrono::steady_clock::now());
        response.set_content("x", "text/plain");
    });
    RunRouting routing{.connectTo = {}, .limits = {}, .caFile = {}};
    for (const char* host : {"www", "moved", "broken", "none"}) {
        routing.connectTo[std::string(host) + ".example.test:80"] = site.port();
    }
    PageChecker checker(routing);
    const std::vector<RobotsAnswer> robots = checker.ReadRobots(
        {"http://moved.example.test/", "http://broken.example.test/", "http://none.example.test/"});
    EXPECT_EQ(robots[0].text, "User-agent: *\nCrawl-delay: 0.05\n");
    EXPECT_EQ(robots[1].failure, "answered 500");
    EXPECT_EQ(robots[2].text, std::nullopt);
    EXPECT_EQ(robots[2].failure, "");

    const std::chrono::milliseconds delay(50);
    const std::vector<PageCheck> checks = checker.Check(
        {{.address = kSite + "p/1"}, {.address = kSite + "p/2"}, {.address = kSite + "p/3"}},
        {.crawlDelays = {{kSite, delay}}});
    for (const PageCheck& check : checks) {
        EXPECT_EQ(check.verdict, PageVerdict::Indexable);
    }
    const std::lock_guard lock(mutex);
    ASSERT_EQ(arrivals.size(), 3u);
    EXPECT_GE(arrivals[1] - arrivals[0], delay);
    EXPECT_GE(arrivals[2] - arrivals[1], delay);
}

}  // namespace
}  // namespace quaymark
