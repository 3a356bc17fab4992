#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <ctime>
#include <sstream>

#include "cli/command_line.h"
#include "tests/support/announce_site.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tls_server.h"

namespace quaymark::cli {
namespace {

using testing::AnnounceSite;
using ::testing::HasSubstr;

// A site owner turns Bing Webmaster Tools on from the command line with the API key in a file:
// the key is kept as theirs alone and never in the settings; the announcer sends within the
// quota Bing tells; the status shows what is left and Bing's crawl figures by day, and nothing of
// the engines' channels that are off.
TEST(CommandLine, BingTurnedOnAnnouncesWithinItsQuotaAndShowsIt) {
    testing::TempDir home;
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        ::setenv(variable, (home.path() / variable).c_str(), 1);
    }
    AnnounceSite site;
    site.Serve("/sitemap.xml",
               testing::Urlset({"http://www.example.test/a", "http://www.example.test/b",
                                "http://www.example.test/c"}));
    for (const char* page : {"/a", "/b", "/c"}) {
        site.Serve(page, "<p>page</p>");
    }
    testing::TlsServer bing;
    std::vector<std::string> submitted;
    bing->Get("/webmaster/api.svc/json/GetUrlSubmissionQuota", [](const httplib::Request&,
                                                                  httplib::Response& response) {
        response.set_content(R"({"d":{"DailyQuota":2,"MonthlyQuota":40}})", "application/json");
    });
    bing->Post("/webmaster/api.svc/json/SubmitUrlBatch",
               [&](const httplib::Request& request, httplib::Response& response) {
                   submitted.push_back(request.get_param_value("apikey"));
                   response.set_content(R"({"d":null})", "application/json");
               });
    const std::string today = std::to_string(std::time(nullptr) * 1000);
    bing->Get("/webmaster/api.svc/json/GetCrawlStats",
              [&](const httplib::Request&, httplib::Response& response) {
                  response.set_content(R"({"d":[{"Date":"/Date()" + today +
                                           R"()/","CrawledPages":17,"CrawlErrors":1}]})",
                                       "application/json");
              });
    RunRouting routing = site.Routing();
    routing.connectTo["ssl.bing.com:443"] = bing.port();
    std::ostringstream out;
    std::ostringstream err;
    const auto run = [&](std::vector<std::string> arguments) {
        out.str({});
        err.str({});
        return RunCommandLine(arguments, {.routing = routing, .out = out, .err = err});
    };
    const std::filesystem::path given = home.path() / "bing-key.txt";
    testing::WriteFileBytes(given, "  0123456789abcdef0123456789abcdef\n");

    EXPECT_EQ(run({"bing", "on"}), kSetupOrUsage);
    EXPECT_THAT(err.str(), HasSubstr("no credential is kept"));
    EXPECT_EQ(run({"bing", "on", "--credential-file", given.string(), "--site", "ftp://x"}),
              kSetupOrUsage);
    ASSERT_EQ(run({"bing", "on", "--credential-file", given.string(), "--site",
                   "http://www.example.test/"}),
              kAllAnnounced)
        << err.str();
    EXPECT_EQ(out.str(),
              "Bing Webmaster Tools is on, with the API key ****cdef, for "
              "http://www.example.test/.\nNo desktop keyring (Secret Service) is running: it is "
              "kept in 0600 files in " +
                  (home.path() / "XDG_CONFIG_HOME/quaymark").string() +
                  ", readable by you alone.\n");
    const std::filesystem::path kept = home.path() / "XDG_CONFIG_HOME/quaymark/bing.credential";
    struct stat info {};
    ASSERT_EQ(::stat(kept.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);
    EXPECT_EQ(testing::ReadFileBytes(kept), "0123456789abcdef0123456789abcdef");
    EXPECT_THAT(testing::ReadFileBytes(home.path() / "XDG_CONFIG_HOME/quaymark/indexnow.conf"),
                ::testing::Not(HasSubstr("0123456789abcdef0123456789abcdef")));

    ASSERT_EQ(run({"site", "add", "-q", "http://www.example.test/"}), kAllAnnounced) << err.str();
    ASSERT_EQ(run({"gate", "let-through", "www.example.test"}), kAllAnnounced) << err.str();
    ASSERT_EQ(run({"announce", "--quiet"}), kAllAnnounced) << err.str();
    EXPECT_EQ(submitted, std::vector<std::string>{"0123456789abcdef0123456789abcdef"});

    ASSERT_EQ(run({"status", "http://www.example.test/", "--json"}), kAllAnnounced) << err.str();
    const nlohmann::json status = nlohmann::json::parse(out.str())["sites"].at(0);
    const nlohmann::json& channels = status["channels"];
    const auto channel = std::find_if(channels.begin(), channels.end(), [](const auto& c) {
        return c["name"] == "Bing Webmaster Tools";
    });
    ASSERT_NE(channel, channels.end()) << channels.dump();
    EXPECT_EQ((*channel)["quota_left"], 0);
    EXPECT_EQ((*channel)["quota_month_left"], 38);
    EXPECT_EQ(std::count_if(channels.begin(), channels.end(),
                            [](const auto& c) { return c["name"] == "Baidu"; }),
              0)
        << "an engine's own channel that is off shows nothing";
    EXPECT_EQ(status["visits_by_day"]["Bing: pages crawled"].back(), 17);
    EXPECT_EQ(status["sent_by_day"]["Bing Webmaster Tools accepted"].back(), 2);
    ASSERT_EQ(run({"status"}), kAllAnnounced);
    EXPECT_THAT(out.str(), HasSubstr("Bing Webmaster Tools on, 0 left today, 38 this month"));

    // Nothing the runs wrote holds the key: only its store (no keyring runs here) and the
    // user's own file it was given in.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.path())) {
        if (entry.is_regular_file() && entry.path() != kept && entry.path() != given) {
            EXPECT_THAT(testing::ReadFileBytes(entry.path()),
                        ::testing::Not(HasSubstr("0123456789abcdef0123456789abcdef")))
                << entry.path();
        }
    }
    ASSERT_EQ(run({"bing", "off"}), kAllAnnounced);
    EXPECT_EQ(out.str(), "Bing Webmaster Tools is off; its API key is kept.\n");
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        ::unsetenv(variable);
    }
}

}  // namespace
}  // namespace quaymark::cli
