#include "cli/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <sstream>

#include "storage/atomic_file.h"
#include "storage/daily_timer.h"
#include "storage/program_paths.h"
#include "tests/support/announce_site.h"
#include "tests/support/fake_google.h"
#include "tests/support/temp_dir.h"

namespace quaymark::cli {
namespace {

using testing::AnnounceSite;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// A new user on a machine with no display, from an empty home: a site set up from its
// sitemap, IndexNow turned on with its key file written, the first announcement, and the site
// forgotten again.
TEST(CommandLine, FromAnEmptyHomeToTheFirstAnnouncement) {
    testing::TempDir home;
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        ::setenv(variable, (home.path() / variable).c_str(), 1);
    }
    AnnounceSite site;
    site.Serve("/sitemap.xml", testing::Urlset({"http://www.example.test/a",
                                                "http://www.example.test/b 2026-11-30"}));
    site.Serve("/a", "<p>A</p>");
    site.Serve("/b", "<p>B</p>");
    std::ostringstream out;
    std::ostringstream err;
    bool managerRuns = true;
    std::vector<std::string> asked;
    const auto run = [&](std::vector<std::string> arguments) {
        out.str({});
        err.str({});
        return RunCommandLine(arguments, {.routing = site.Routing(),
                                          .out = out,
                                          .err = err,
                                          .userManager =
                                              [&](const std::vector<std::string>& words) {
                                                  asked.push_back(words.front());
                                                  return ManagerAnswer{
                                                      .ran = managerRuns,
                                                      .exitStatus = managerRuns ? 0 : 1};
                                              },
                                          .announcer = QUAYMARK_ANNOUNCER});
    };

    EXPECT_EQ(run({"site", "list"}), kAllAnnounced);
    EXPECT_EQ(out.str(), "No site is set up: add one with quaymark-cli site add <address>.\n");
    EXPECT_EQ(run({"announce"}), kSetupOrUsage);

    EXPECT_EQ(run({"site", "add", "-q", "http://www.example.test/"}), kAllAnnounced) << err.str();
    EXPECT_EQ(out.str(),
              "Remembered 1 sitemap of http://www.example.test/ naming 2 pages; "
              "added 2 pages to the list.\n");
    EXPECT_EQ(run({"site", "list"}), kAllAnnounced);
    EXPECT_EQ(out.str(),
              "http://www.example.test/\n"
              "  http://www.example.test/sitemap.xml (2 pages)\n");

    EXPECT_EQ(run({"indexnow", "on", "--key", "bad key"}), kSetupOrUsage);
    EXPECT_EQ(run({"indexnow", "on", "--key", "announce-key", "--endpoint", AnnounceSite::kEndpoint,
                   "--key-file", home.path().string()}),
              kAllAnnounced)
        << err.str();
    EXPECT_EQ(testing::ReadFileBytes(home.path() / "announce-key.txt"), "announce-key");
    // A test site's host is no public site: the gate keeps it back until it is let through.
    EXPECT_EQ(run({"announce", "--dry-run"}), kAllAnnounced) << err.str();
    EXPECT_THAT(out.str(), HasSubstr("www.example.test: 2 pages not announced (special-use name)"));
    EXPECT_THAT(out.str(), HasSubstr("2 left out by the gate (2 special-use name)"));
    EXPECT_EQ(run({"gate", "let-through", "www.example.test", "bad/host"}), kSetupOrUsage);
    EXPECT_EQ(run({"gate", "let-through", "www.example.test"}), kAllAnnounced) << err.str();
    EXPECT_EQ(out.str(), "Never announced: none\nLet through: www.example.test\n");
    EXPECT_EQ(run({"announce", "--quiet"}), kAllAnnounced) << err.str();
    EXPECT_THAT(site.Posted(), ElementsAre(HasSubstr("\"urlList\":[\"http://www.example.test/a\","
                                                     "\"http://www.example.test/b\"]")));
    // What it did shows in the history, as the window's table and its export show it.
    EXPECT_EQ(run({"history", "--filter", "/B", "--csv"}), kAllAnnounced) << err.str();
    EXPECT_THAT(out.str(), StartsWith("Address,Within 24 h,WebCrawler,"));
    EXPECT_THAT(out.str(), HasSubstr("\r\nhttp://www.example.test/b,"));
    EXPECT_THAT(out.str(), Not(HasSubstr("example.test/a")));
    EXPECT_EQ(run({"history", "--json"}), kAllAnnounced);
    const nlohmann::json shown = nlohmann::json::parse(out.str());
    ASSERT_EQ(shown["pages"].size(), 2u);
    EXPECT_FALSE(shown["pages"][0]["IndexNow"].get<std::string>().empty());
    EXPECT_EQ(shown["announcerRuns"][0]["exitStatus"], 0);
    EXPECT_EQ(run({"history", "--csv", "--json"}), kSetupOrUsage);

    // Google's key is taken as the window takes it, the user's alone; a file that is no key
    // is refused with its reason.
    testing::FakeGoogle google;
    const std::filesystem::path keyFile = home.path() / "service-account.json";
    ASSERT_TRUE(WriteFileAtomically(keyFile, google.KeyFile()));
    EXPECT_EQ(run({"google", "on", "--key", (home.path() / "announce-key.txt").string()}),
              kSetupOrUsage);
    EXPECT_THAT(err.str(), HasSubstr("was not taken"));
    EXPECT_EQ(run({"google", "on", "--key", keyFile.string()}), kAllAnnounced) << err.str();
    EXPECT_EQ(std::filesystem::status(GoogleKeyPath()).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(run({"google", "off"}), kAllAnnounced);

    // The daily timer as the window's tick sets it up; where no user manager runs, nothing is
    // left behind and the crontab line is told.
    EXPECT_EQ(run({"timer", "on"}), kAllAnnounced) << err.str();
    EXPECT_TRUE(TimerUnitsWritten(UserUnitDirectory()));
    EXPECT_THAT(asked, ElementsAre("daemon-reload", "enable"));
    EXPECT_EQ(run({"timer", "off"}), kAllAnnounced);
    EXPECT_FALSE(TimerUnitsWritten(UserUnitDirectory()));
    managerRuns = false;
    EXPECT_EQ(run({"timer", "on"}), kSetupOrUsage);
    EXPECT_THAT(err.str(), HasSubstr(CrontabLine(QUAYMARK_ANNOUNCER)));
    EXPECT_FALSE(TimerUnitsWritten(UserUnitDirectory()));

    EXPECT_EQ(run({"site", "remove", "http://www.example.test/a"}), kAllAnnounced);
    EXPECT_EQ(out.str(), "Forgot http://www.example.test/; its pages stay in the list.\n");
    EXPECT_EQ(run({"site", "remove", "http://www.example.test/"}), kSetupOrUsage);
    EXPECT_EQ(run({"announce"}), kSetupOrUsage) << "nothing is read for a forgotten site";
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        ::unsetenv(variable);
    }
}

}  // namespace
}  // namespace quaymark::cli
