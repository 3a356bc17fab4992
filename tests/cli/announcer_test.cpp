#include "cli/announcer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "engine/sitemap/sitemap_import.h"
#include "storage/history.h"
#include "storage/indexnow_settings.h"
#include "storage/list_lock.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"
#include "tests/support/announce_site.h"
#include "tests/support/fake_google.h"
#include "tests/support/temp_dir.h"

namespace quaymark::cli {
namespace {

using testing::AnnounceSite;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::Urlset;

class NoFollower : public ImportObserver {
public:
    void SitemapStarted(const std::string&) override {}
    void AddressesFound(std::size_t) override {}
};

// The announcer run in this process against the user's directories of the test, whose site
// and IndexNow endpoint are loopback servers.
class AnnouncerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
            ::setenv(variable, (home_.path() / variable).c_str(), 1);
        }
        site_.Serve("/sitemap.xml",
                    Urlset({"http://www.example.test/a", "http://www.example.test/b"}));
    }
    void TearDown() override {
        for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
            ::unsetenv(variable);
        }
    }

    void ChannelOn(bool check = false) {
        ASSERT_TRUE(
            SaveIndexNowSettings(IndexNowSettingsPath(), {.key = "announce-key",
                                                          .endpoint = AnnounceSite::kEndpoint,
                                                          .enabled = true,
                                                          .checkPages = check,
                                                          .letThrough = {"*"}}));
    }

    // The site's sitemap imported once, as the window's import keeps it.
    void Imported() {
        History::Opened opened = History::Open(HistoryPath(UrlListPath()));
        ASSERT_TRUE(opened.history);
        NoFollower follower;
        SitemapImporter importer(site_.Routing(), follower);
        const SitemapImport import = importer.Import(AnnounceSite::kSite);
        ASSERT_TRUE(opened.history->RememberSitemaps(SitemapsToRemember(import, 1)).empty());
    }

    int Run(std::vector<std::string> arguments) {
        out_.str({});
        err_.str({});
        return RunAnnouncer(arguments, {.routing = site_.Routing(), .out = out_, .err = err_});
    }

    std::vector<AnnouncerRun> Runs() {
        History::Opened opened = History::Open(HistoryPath(UrlListPath()));
        return opened.history->AnnouncerRuns(10);
    }

    testing::TempDir home_;
    AnnounceSite site_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(AnnouncerTest, SetupAndUsageErrorsExitTwoWithOneLineEach) {
    EXPECT_EQ(Run({"--no-such-option"}), kSetupOrUsage);
    EXPECT_THAT(err_.str(), HasSubstr("--no-such-option"));
    EXPECT_EQ(Run({}), kSetupOrUsage);
    EXPECT_THAT(err_.str(), HasSubstr("no site has a remembered sitemap"));
    EXPECT_FALSE(FileExists(HistoryPath(UrlListPath()))) << "no history made for nothing";
    Imported();
    EXPECT_EQ(Run({"--scheduled"}), kSetupOrUsage);
    EXPECT_EQ(err_.str(),
              "quaymark-announce: no channel to announce through: turn IndexNow (or Google "
              "Search Console) on with its key in the Channels window of Quaymark\n");
    ASSERT_EQ(Runs().size(), 1u) << "the window tells of a timer run that failed";
    EXPECT_EQ(Runs()[0].exitStatus, kSetupOrUsage);
    ChannelOn();
    EXPECT_EQ(Run({"--site", "http://other.example.test/"}), kSetupOrUsage);
    EXPECT_THAT(site_.Posted(), IsEmpty());
    EXPECT_EQ(Run({"--help"}), kAllAnnounced);
    EXPECT_THAT(out_.str(), HasSubstr("--dry-run"));
}

// A dry run tells and sends nothing; the run announces, adds the pages to the list and is
// recorded; a refused announcement is exit status 1.
TEST_F(AnnouncerTest, DryRunThenAnnouncedThenRefused) {
    ChannelOn();
    Imported();
    EXPECT_EQ(Run({"--dry-run"}), kAllAnnounced);
    EXPECT_EQ(out_.str(),
              "http://www.example.test/a (new)\nhttp://www.example.test/b (new)\n"
              "Let through the gate by the settings: www.example.test (special-use name, 2 "
              "pages).\n"
              "Would announce 2 pages (2 new, 0 changed, 0 removed), 0 left out as not "
              "changed.\nWould add 2 pages to the list.\n");
    EXPECT_THAT(site_.Posted(), IsEmpty());
    EXPECT_FALSE(FileExists(UrlListPath()));
    EXPECT_THAT(Runs(), IsEmpty());

    EXPECT_EQ(Run({"--json", "--scheduled"}), kAllAnnounced);
    EXPECT_EQ(site_.Posted().size(), 1u);
    EXPECT_THAT(out_.str(), HasSubstr("\"announced\": [\n    {\n      \"reason\": \"new\""));
    std::vector<std::string> list;
    std::string email;
    ASSERT_TRUE(LoadUrlList(UrlListPath(), list, email));
    EXPECT_THAT(list, ElementsAre("http://www.example.test/a", "http://www.example.test/b"));
    ASSERT_EQ(Runs().size(), 1u);
    EXPECT_TRUE(Runs()[0].scheduled);
    EXPECT_EQ(Runs()[0].announced, 2);

    site_.AnswerWith(403);
    EXPECT_EQ(Run({"--all", "--quiet"}), kSomeRefused);
    EXPECT_EQ(out_.str(), "");
    EXPECT_THAT(err_.str(), HasSubstr("IndexNow: "));
    EXPECT_EQ(Runs()[0].refused, 2);
}

// Another process holding the run lock, as flock(1) holds it until its input ends.
class RunLockHolder {
public:
    explicit RunLockHolder(const std::filesystem::path& lockFile) {
        int toChild[2];
        int fromChild[2];
        EXPECT_EQ(::pipe2(toChild, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(fromChild, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        const std::string file = lockFile.string();
        const char* argv[] = {"flock", file.c_str(), "-c", "echo held; read x", nullptr};
        EXPECT_EQ(
            ::posix_spawnp(&pid_, "flock", &actions, nullptr, const_cast<char**>(argv), environ),
            0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        input_ = toChild[1];
        char said[5] = {};
        EXPECT_EQ(::read(fromChild[0], said, 4), 4);  // the lock is held once it speaks
        ::close(fromChild[0]);
    }
    ~RunLockHolder() { Release(); }

    void Release() {
        if (input_ >= 0) {
            ::close(input_);
            input_ = -1;
            ::waitpid(pid_, nullptr, 0);
        }
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
};

// Standard error that lets the holder go once the announcer says it waits.
class ReleasingWhenWaiting : public std::stringbuf {
public:
    explicit ReleasingWhenWaiting(RunLockHolder& holder) : holder_(holder) {}

protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        const std::streamsize put = std::stringbuf::xsputn(text, count);
        if (str().find("waiting for it to end") != std::string::npos) {
            holder_.Release();
        }
        return put;
    }

private:
    RunLockHolder& holder_;
};

// One announcement at a time: a second announcer waits for the run under way elsewhere and
// then announces nothing twice; one that waits past its bound gives up with status 2.
TEST_F(AnnouncerTest, ASecondAnnouncerWaitsForTheFirstOrGivesUp) {
    ChannelOn();
    Imported();
    {
        RunLockHolder other(RunLockPath(UrlListPath()));
        EXPECT_EQ(RunAnnouncer({"--scheduled"}, {.routing = site_.Routing(),
                                                 .out = out_,
                                                 .err = err_,
                                                 .runLockWait = std::chrono::milliseconds(0)}),
                  kSetupOrUsage);
        EXPECT_THAT(err_.str(), HasSubstr("another announcement was still under way after 0 "
                                          "minutes: nothing announced"));
        EXPECT_THAT(site_.Posted(), IsEmpty());
    }
    RunLockHolder other(RunLockPath(UrlListPath()));
    ReleasingWhenWaiting said(other);
    std::ostream err(&said);
    EXPECT_EQ(RunAnnouncer({}, {.routing = site_.Routing(), .out = out_, .err = err}),
              kAllAnnounced);
    EXPECT_THAT(said.str(), HasSubstr("another announcement is under way"));
    EXPECT_EQ(site_.Posted().size(), 1u);
    EXPECT_EQ(Run({}), kAllAnnounced);
    EXPECT_EQ(site_.Posted().size(), 1u) << "nothing announced twice";
}

// A channel that fails before it can send anything is a failure like any refusal, and every
// failure has its line on standard error, a JSON report or not.
TEST_F(AnnouncerTest, AGoogleThatCannotBeReachedAndAFailingSitemapAreFailuresToldOnStandardError) {
    ChannelOn();
    Imported();
    IndexNowSettings settings;
    ASSERT_TRUE(LoadIndexNowSettings(IndexNowSettingsPath(), settings));
    settings.google = true;
    ASSERT_TRUE(SaveIndexNowSettings(IndexNowSettingsPath(), settings));
    testing::FakeGoogle google;
    ASSERT_TRUE(SaveServiceKeyFile(GoogleKeyPath(), google.KeyFile()));
    google.TokenAnswer({.status = 400, .body = R"({"error":"invalid_grant"})"});
    RunRouting routing = site_.Routing();
    for (const auto& [host, port] : google.Routing().connectTo) {
        routing.connectTo[host] = port;
    }
    const auto run = [&](std::vector<std::string> arguments) {
        out_.str({});
        err_.str({});
        return RunAnnouncer(arguments, {.routing = routing, .out = out_, .err = err_});
    };
    EXPECT_EQ(run({"--json"}), kSomeRefused);
    EXPECT_EQ(site_.Posted().size(), 1u);
    EXPECT_THAT(err_.str(), HasSubstr("quaymark-announce: Google Search Console: Google refused "
                                      "the sign-in (400): invalid_grant."));
    EXPECT_THAT(out_.str(), HasSubstr("Announced 2 pages (2 new, 0 changed, 0 removed), 1 "
                                      "refused"));
    // The report carries the failure as a value, not only its line.
    const nlohmann::json refused = nlohmann::json::parse(out_.str())["refused"].at(0);
    EXPECT_EQ(refused["channel"], "Google Search Console");
    EXPECT_EQ(refused["status"], 400);
    EXPECT_EQ(refused["detail"], "Google refused the sign-in (400): invalid_grant.");
    EXPECT_EQ(refused["resendable"], false);
    ASSERT_EQ(Runs().size(), 1u);
    EXPECT_EQ(Runs()[0].refused, 1);
    EXPECT_EQ(Runs()[0].exitStatus, kSomeRefused);

    site_.Serve("/sitemap.xml", "", 500);
    EXPECT_EQ(run({"--json"}), kSomeRefused);
    EXPECT_THAT(err_.str(), HasSubstr("quaymark-announce: http://www.example.test/: "));
}

TEST_F(AnnouncerTest, WhileTheWindowHoldsTheListItAnnouncesButLeavesTheListAlone) {
    ChannelOn();
    Imported();
    ASSERT_TRUE(SaveUrlList(UrlListPath(), {"http://www.example.test/a"}, "me@example.test"));
    const std::string before = testing::ReadFileBytes(UrlListPath());
    const ListLock window(ListLockPath(UrlListPath()));
    ASSERT_TRUE(window.held());
    EXPECT_EQ(Run({}), kAllAnnounced);
    EXPECT_EQ(site_.Posted().size(), 1u);
    EXPECT_THAT(err_.str(), HasSubstr("Quaymark has the list open: 1 new page was not added"));
    EXPECT_EQ(testing::ReadFileBytes(UrlListPath()), before);
    EXPECT_EQ(Runs().size(), 1u);
    EXPECT_EQ(Run({"--json", "--all"}), kAllAnnounced);
    EXPECT_THAT(out_.str(), HasSubstr("\"why\": \"Quaymark has the list open: 1 new page"));
}

// The checks' verdicts reach the report of a dry run as of a real one, in words and in JSON.
TEST_F(AnnouncerTest, ADryRunTellsWhatTheChecksLeftOut) {
    ChannelOn(true);
    Imported();
    site_.Serve("/a", "<html><body><p>Open</p></body></html>");
    site_.Serve("/b", "<html><head><meta name=robots content=noindex></head></html>");
    EXPECT_EQ(Run({"--dry-run"}), kAllAnnounced);
    EXPECT_EQ(out_.str(),
              "http://www.example.test/a (new)\n"
              "Let through the gate by the settings: www.example.test (special-use name, 2 "
              "pages).\n"
              "Not announced, noindex: 1 page, http://www.example.test/b.\n"
              "Would announce 1 page (1 new, 0 changed, 0 removed), 0 left out as not changed, "
              "1 left out by their checks (1 noindex).\nWould add 2 pages to the list.\n");
    EXPECT_EQ(Run({"--dry-run", "--json"}), kAllAnnounced);
    EXPECT_THAT(out_.str(), HasSubstr("\"checks\": {\n      \"noindex\": 1\n    }"));
}

// A page whose parse would grow without bound (formatting elements rebuilt at every one of a
// million paragraphs) is read in part within the page's bounds; the run goes on to the end.
TEST_F(AnnouncerTest, APageThatWouldCostTheParserTooMuchStopsNothing) {
    ChannelOn(true);
    Imported();
    std::string hostile = "<html><body>";
    for (int i = 0; i < 200; ++i) {
        hostile += "<b id=" + std::to_string(i) + ">";
    }
    hostile.resize(std::size_t{1} << 20, 'x');
    for (std::size_t at = 2000; at + 3 <= hostile.size(); at += 3) {
        hostile.replace(at, 3, "<p>");
    }
    site_.Serve("/a", "<html><body><p>Open</p></body></html>");
    site_.Serve("/b", hostile);
    EXPECT_EQ(Run({"--dry-run"}), kAllAnnounced);
    EXPECT_THAT(out_.str(), HasSubstr("http://www.example.test/b (new)\n"));
    EXPECT_THAT(out_.str(), HasSubstr("Would announce 2 pages"));
}

}  // namespace
}  // namespace quaymark::cli
