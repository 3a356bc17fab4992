#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "cli/command_line.h"
#include "tests/support/announce_site.h"
#include "tests/support/fake_dns.h"
#include "tests/support/temp_dir.h"

namespace quaymark::cli {
namespace {

using testing::AnnounceSite;
using ::testing::HasSubstr;

// A request as nginx's combined format writes it, at that time (UTC).
std::string LogLine(const std::string& client, const std::string& target, std::time_t time,
                    const std::string& agent) {
    char when[64];
    std::tm utc{};
    gmtime_r(&time, &utc);
    std::strftime(when, sizeof when, "%d/%b/%Y:%H:%M:%S +0000", &utc);
    return client + " - - [" + when + "] \"GET " + target + " HTTP/1.1\" 200 512 \"-\" \"" + agent +
           "\"\n";
}

// A site owner with an announced site gives its access log: the engine's verified robot is
// counted as a crawl of the page, a lying user agent as a false robot, a visitor not at all; the
// next read asks the DNS nothing it already asked; the status and the page's timeline show it.
TEST(CommandLine, AccessLogsShowWhichAnnouncedPagesTheRobotsFetched) {
    testing::TempDir home;
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        ::setenv(variable, (home.path() / variable).c_str(), 1);
    }
    AnnounceSite site;
    site.Serve("/sitemap.xml",
               testing::Urlset({"http://www.example.test/a", "http://www.example.test/b"}));
    site.Serve("/a", "<p>A</p>");
    site.Serve("/b", "<p>B</p>");
    testing::FakeDns dns;
    dns.Pointer("157.55.39.1", "msnbot-157-55-39-1.search.msn.com");
    dns.Forward("msnbot-157-55-39-1.search.msn.com", "157.55.39.1");
    dns.Pointer("192.0.2.66", "msnbot.search.msn.com");
    dns.Forward("msnbot.search.msn.com", "192.0.2.1");
    RunRouting routing = site.Routing();
    routing.nameServer = dns.server();
    std::ostringstream out;
    std::ostringstream err;
    const auto run = [&](std::vector<std::string> arguments) {
        out.str({});
        err.str({});
        return RunCommandLine(arguments, {.routing = routing, .out = out, .err = err});
    };
    ASSERT_EQ(run({"site", "add", "-q", "http://www.example.test/"}), kAllAnnounced) << err.str();
    ASSERT_EQ(run({"indexnow", "on", "--key", "announce-key", "--endpoint", AnnounceSite::kEndpoint,
                   "--key-file", home.path().string()}),
              kAllAnnounced)
        << err.str();
    ASSERT_EQ(run({"gate", "let-through", "*.example.test"}), kAllAnnounced) << err.str();
    ASSERT_EQ(run({"announce", "--quiet"}), kAllAnnounced) << err.str();

    const std::time_t later = std::time(nullptr);
    const std::string bing =
        "Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)";
    const std::filesystem::path log = home.path() / "access.log";
    const std::string bytes = LogLine("157.55.39.1", "/a", later, bing) +
                              LogLine("192.0.2.66", "/b", later, bing) +
                              LogLine("203.0.113.5", "/a", later, "Mozilla/5.0 Firefox/120") +
                              LogLine("157.55.39.1", "/not-in-the-list", later, bing);
    testing::WriteFileBytes(log, bytes);
    EXPECT_EQ(run({"logs", "add", "http://www.example.test/", (home.path() / "none.log").string()}),
              kSetupOrUsage);
    ASSERT_EQ(run({"logs", "add", "http://www.example.test/x", log.string()}), kAllAnnounced)
        << err.str();
    EXPECT_EQ(run({"logs", "read"}), kAllAnnounced) << err.str();
    EXPECT_THAT(out.str(), HasSubstr(": 4 lines; 1 request of the site's pages by verified robots, "
                                     "1 by false robots."));
    const std::size_t asked = dns.questions();
    // The daily timer's announcer reads the logs after announcing.
    std::ofstream(log, std::ios::app) << LogLine("157.55.39.1", "/b", later, bing);
    EXPECT_EQ(run({"announce", "--quiet"}), kAllAnnounced) << err.str();
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(dns.questions(), asked) << "an address's verdict is kept for days";
    ASSERT_EQ(run({"history", "--json"}), kAllAnnounced);
    EXPECT_FALSE(
        nlohmann::json::parse(out.str())["pages"][1]["Crawled by Bing"].get<std::string>().empty());

    ASSERT_EQ(run({"status", "http://www.example.test/", "--json"}), kAllAnnounced) << err.str();
    const nlohmann::json status = nlohmann::json::parse(out.str())["sites"].at(0);
    EXPECT_EQ(status["logs"], nlohmann::json::array({log.string()}));
    EXPECT_EQ(status["announced"], 2);
    EXPECT_EQ(status["crawled_since_announced"], 2);
    const nlohmann::json& engines = status["engines"];
    const auto bingFigures =
        std::find_if(engines.begin(), engines.end(),
                     [](const nlohmann::json& e) { return e["engine"] == "Bing"; });
    ASSERT_NE(bingFigures, engines.end()) << engines.dump();
    EXPECT_EQ((*bingFigures)["announced"], 2);
    EXPECT_FALSE((*bingFigures)["median_seconds"].is_null());
    EXPECT_EQ(status["visits_by_day"]["Bing"].back(), 2);
    EXPECT_EQ(status["visits_by_day"]["False robots"].back(), 1);
    EXPECT_EQ(status["sent_by_day"]["IndexNow accepted"].back(), 2);

    ASSERT_EQ(run({"status", "--page", "http://www.example.test/a"}), kAllAnnounced);
    EXPECT_THAT(out.str(), HasSubstr("sent through IndexNow: "));
    EXPECT_THAT(out.str(), HasSubstr("fetched by Bing: 200\n"));
    EXPECT_EQ(testing::ReadFileBytes(log).substr(0, bytes.size()), bytes) << "logs are only read";

    // A resolver that cannot be asked is told, and the new claim stays unverified.
    routing.nameServer = "not a name server";
    std::ofstream(log, std::ios::app) << LogLine("157.55.39.2", "/a", later, bing);
    EXPECT_EQ(run({"logs", "read"}), kSomeRefused);
    EXPECT_THAT(err.str(), HasSubstr("1 not verified (no answer from the DNS). The robots' "
                                     "addresses could not be looked up: "));
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        ::unsetenv(variable);
    }
}

}  // namespace
}  // namespace quaymark::cli
