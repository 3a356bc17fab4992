#include "engine/check/page_checker.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <mutex>

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
        response.set_header("X-Robots-Tag", "googlebot: noindex");
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

}  // namespace
}  // namespace quaymark
