#include "engine/run/submit_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/channel/error_pages.h"
#include "engine/classic/classic_channel.h"
#include "tests/support/announce_site.h"
#include "tests/support/fake_engine_server.h"
#include "tests/support/fake_google.h"
#include "tests/support/run_lines.h"
#include "tests/support/temp_dir.h"

namespace quaymark {
namespace {

using ::testing::ElementsAre;
using testing::EngineRequest;
using testing::FailedPage;
using testing::FailureLines;
using testing::FakeEngineServer;
using ::testing::IsEmpty;
using testing::ResendUrls;

// Records what a run tells its follower.
class RecordingObserver : public RunObserver {
public:
    void RunStarted(int itemCount, int stepsPerItem, int extra) override {
        addressCount = itemCount;
        stepsPerAddress = stepsPerItem;
        extraSteps = extra;
        ++shown;
        if (onShow) {
            onShow();
        }
    }
    void AddressStarted(const std::string& item) override { address = item; }
    void EngineStarted(std::string_view name) override { engine = name; }
    void RequestDone() override { ++steps; }
    // Kept as the progress window keeps its status line.
    void FailureRecorded(const FailureRecord& failure) override {
        if (failure.verdict != SubmitVerdict::AddressRefused) {
            status = failure.text;
            statusHistory.push_back(failure.text);
        }
    }
    void WaitStarted(std::string_view, std::chrono::seconds wait, std::string_view why) override {
        waits.push_back(std::to_string(wait.count()) + " s (" + std::string(why) + ")");
        if (onWait) {
            onWait();
        }
    }
    void WaitEnded() override {}
    void RunEnded() override { ++hidden; }

    int addressCount = 0;
    int extraSteps = 0;
    std::vector<std::string> waits;
    std::function<void()> onWait;
    int stepsPerAddress = 0;
    int shown = 0;
    int hidden = 0;
    int steps = 0;
    std::string address;
    std::string engine;
    std::string status;
    std::vector<std::string> statusHistory;
    std::function<void()> onShow;
};

class NoPrompt : public FetchPrompt {
public:
    void ShowCannotOpenConnection() override {}
    std::optional<Credentials> AskCredentials(const std::string&) override { return std::nullopt; }
};

class SubmitRunTest : public ::testing::Test {
protected:
    SubmitJob Job(std::vector<std::string> items, std::uint8_t mode = SubmitJob::Normal) const {
        SubmitJob job;
        job.mode = mode;
        if (mode == SubmitJob::Resend) {
            for (std::string& url : items) {
                job.resendItems.push_back(
                    {.channel = std::string(ClassicChannel::kName), .url = std::move(url)});
            }
        } else {
            job.items = std::move(items);
        }
        job.email = email_;
        job.routing.connectTo = server_.Routes();
        job.errorPageDir = dir_.path();
        return job;
    }

    int Run(std::vector<std::string> items, std::uint8_t mode = SubmitJob::Normal) {
        run_ = std::make_unique<SubmitRun>(Job(std::move(items), mode), prompt_, progress_,
                                           stop_.get_token());
        results_ = run_->SubmitWorker();
        return results_.failed ? 1 : 0;
    }

    // The user's cancel, as the progress window passes it on.
    void Cancel() { stop_.request_stop(); }

    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const EngineRequest& request : server_.requests()) {
            targets.push_back(request.host + request.target);
        }
        return targets;
    }

    testing::ScopedWorkingDir dir_;
    FakeEngineServer server_;
    RecordingObserver progress_;
    NoPrompt prompt_;
    std::string email_;
    std::stop_source stop_;
    std::unique_ptr<SubmitRun> run_;
    RunResult results_;
};

TEST_F(SubmitRunTest, SevenRequestsInTableOrderWithTheAddressUnescaped) {
    EXPECT_EQ(Run({"http://mine.example/a b&c=d"}), 0);
    EXPECT_THAT(
        Targets(),
        ElementsAre(
            "www.webcrawler.com/info/add_url/thanks/?url=http://mine.example/"
            "a%20b&c=d&email=&country=US&brand=webcrawler",
            "www.hotbot.com/addurl.asp?newurl=http://mine.example/"
            "a%20b&c=d&MM=1&output=success&email=",
            "www.lycos.com/cgi-bin/spider_now.pl?query=http://mine.example/a%20b&c=d&email=",
            "add-url.altavista.com/cgi-bin/newurl?ad=1&q=http://mine.example/a%20b&c=d",
            "www.go.com/AddUrl/AddingURL?sv=IS&lk=noframes&url=http://mine.example/"
            "a%20b&c=d&CAT=Add%2FUpdate+URL",
            "www.excite.com/info/add_url/thanks/?url=http://mine.example/"
            "a%20b&c=d&email=&country=US&brand=excite",
            "www.google.com/addurl?q=http://mine.example/a%20b&c=d&dq=thanks"));
    EXPECT_EQ(progress_.steps, 7);
    EXPECT_FALSE(results_.failed);
}

TEST(BuildRequestUrl, InsertsAddressAndEmailAsStored) {
    EXPECT_EQ(BuildRequestUrl(EngineTable[0], "http://a/#x y", "me@x"),
              "http://www.webcrawler.com/info/add_url/thanks/?url=http://a/#x y&email=me@x"
              "&country=US&brand=webcrawler");
    EXPECT_EQ(BuildRequestUrl(EngineTable[1], "u", ""),
              "http://www.hotbot.com/addurl.asp?newurl=u&MM=1&output=success&email=");
}

TEST_F(SubmitRunTest, NumberSignGoesOnTheWireEncodedAndIntoTheRecordAsTyped) {
    server_.SetPages([](const EngineRequest&) { return FailedPage("error"); });
    email_ = "me@example.com";
    Run({"http://mine.example/#top"});
    ASSERT_EQ(server_.requests().size(), 7u);
    EXPECT_EQ(server_.requests()[0].target,
              "/info/add_url/thanks/?url=http://mine.example/%23top"
              "&email=me@example.com&country=US&brand=webcrawler");
    EXPECT_EQ(FailureLine(results_.FailureList[0]), "WebCrawler: failed. http://mine.example/#top");
    EXPECT_EQ(results_.ResubmitList[6].url,
              "http://www.google.com/addurl?q=http://mine.example/#top&dq=thanks");
}

TEST_F(SubmitRunTest, OnlyGoogleFailing) {
    server_.SetPages([](const EngineRequest& request) {
        return request.host == "www.google.com" ? FailedPage("Error") : testing::AcceptedPage();
    });
    EXPECT_EQ(Run({"http://mine.example/"}), 1);
    EXPECT_TRUE(results_.failed);
    EXPECT_THAT(ResendUrls(results_),
                ElementsAre("http://www.google.com/addurl?q=http://mine.example/&dq=thanks"));
    EXPECT_THAT(results_.FailureList, IsEmpty());
    EXPECT_FALSE(std::filesystem::exists("submiterror0.html"));
    EXPECT_THAT(progress_.statusHistory, IsEmpty());
}

TEST_F(SubmitRunTest, VerdictsNameTheirFailureAndMostSetTheStatusText) {
    server_.SetPages([](const EngineRequest& request) {
        if (request.host == "www.hotbot.com") {
            return FailedPage("This does not seem to be a valid URL");
        }
        if (request.host == "www.lycos.com") {
            return FailedPage("Already submitted");
        }
        if (request.host == "www.go.com") {
            return FailedPage("We could not connect to your site");
        }
        return testing::AcceptedPage();
    });
    Run({"http://one.example/", "http://two.example/"});
    EXPECT_THAT(FailureLines(results_),
                ElementsAre("HotBot: is not a valud URL. http://one.example/",
                            "Lycos: was already submitted today. http://one.example/",
                            "Go!: could not connect. http://one.example/",
                            "HotBot: is not a valud URL. http://two.example/",
                            "Lycos: was already submitted today. http://two.example/",
                            "Go!: could not connect. http://two.example/"));
    EXPECT_THAT(progress_.statusHistory,
                ElementsAre("Lycos: was already submitted today.", "Go!: could not connect.",
                            "Lycos: was already submitted today.", "Go!: could not connect."))
        << "an invalid URL leaves the status text as it was";
    EXPECT_EQ(progress_.status, "Go!: could not connect.")
        << "the status text is kept from one address to the next";
    EXPECT_EQ(progress_.address, "http://two.example/");
    EXPECT_EQ(progress_.engine, "Google");
}

TEST_F(SubmitRunTest, NoPageIsRecordedAsCouldNotConnectWithTheConnectionProblemPage) {
    server_.SetPages([](const EngineRequest&) { return std::string(); });
    Run({"http://mine.example/"});
    ASSERT_EQ(results_.FailureList.size(), 6u);
    EXPECT_EQ(FailureLine(results_.FailureList[5]),
              "Excite: could not connect. http://mine.example/");
    EXPECT_EQ(results_.ResubmitList.size(), 7u);
    EXPECT_THAT(testing::ReadFileBytes("submiterror5.html"),
                ::testing::StartsWith("<HTML>\r\n<FONT SIZE=5>"));
}

// A dead add-URL page answers an error status with no marker in its page: nothing was taken.
TEST_F(SubmitRunTest, ErrorStatusWithoutMarkersFailsAndKeepsItsPage) {
    server_.SetPages([](const EngineRequest& request) -> std::string {
        if (request.host == "www.webcrawler.com") {
            return "HTTP/1.0 404 Not Found\r\n\r\n<html>Gone fishing</html>";
        }
        if (request.host == "www.hotbot.com") {
            return "HTTP/1.0 503 Unavailable\r\n\r\n<html>Later</html>";
        }
        return request.host == "www.lycos.com" ? "HTTP/1.0 201 Created\r\n\r\nThanks"
                                               : testing::AcceptedPage();
    });
    Run({"http://mine.example/"});
    EXPECT_THAT(FailureLines(results_), ElementsAre("WebCrawler: failed. http://mine.example/",
                                                    "HotBot: failed. http://mine.example/"));
    EXPECT_EQ(testing::ReadFileBytes("submiterror0.html"), "<html>Gone fishing</html>\r\n");
    EXPECT_EQ(results_.ResubmitList.size(), 2u);
}

TEST_F(SubmitRunTest, StepsAndRangeFollowTheAddressCount) {
    Run({"http://one.example/"});
    EXPECT_EQ(progress_.steps, 7);
    EXPECT_EQ(progress_.addressCount, 1);
    EXPECT_EQ(progress_.stepsPerAddress, 7);
    progress_ = RecordingObserver{};
    Run({"a", "b", "c"});
    EXPECT_EQ(progress_.steps, 21);
    EXPECT_EQ(TotalSteps(progress_.addressCount, progress_.stepsPerAddress, progress_.extraSteps),
              21);
    EXPECT_EQ(progress_.shown, 1);
    EXPECT_EQ(progress_.hidden, 1);
}

TEST_F(SubmitRunTest, ResendModeSendsEachUrlOnceUnderTheNameSending) {
    server_.SetPages([](const EngineRequest& request) {
        return request.target.find("bad") != std::string::npos ? FailedPage("error")
                                                               : testing::AcceptedPage();
    });
    const std::string good = "http://www.lycos.com/cgi-bin/spider_now.pl?query=good&email=";
    const std::string bad = "http://www.excite.com/info/add_url/thanks/?url=bad&email=e";
    EXPECT_EQ(Run({good, bad}, SubmitJob::Resend), 1);
    EXPECT_EQ(server_.requests().size(), 2u);
    EXPECT_THAT(FailureLines(results_), ElementsAre("Sending: failed. " + bad));
    EXPECT_THAT(ResendUrls(results_), ElementsAre(bad));
    EXPECT_EQ(progress_.engine, "Sending");
    EXPECT_EQ(progress_.steps, 2);
    EXPECT_EQ(progress_.stepsPerAddress, 1) << "a re-submission fills its own bar";
}

TEST_F(SubmitRunTest, CancelBeforeTheFirstRequestSendsNothing) {
    progress_.onShow = [this] { Cancel(); };
    EXPECT_EQ(Run({"http://one.example/", "http://two.example/"}), 0);
    EXPECT_THAT(server_.requests(), IsEmpty());
    EXPECT_FALSE(results_.failed);
    EXPECT_EQ(progress_.steps, 0);
    EXPECT_EQ(progress_.hidden, 1);
}

TEST_F(SubmitRunTest, CancelDuringARequestRecordsItsFailureAndStops) {
    server_.SetPages([this](const EngineRequest& request) {
        if (request.host == "www.lycos.com") {
            Cancel();  // the user cancels while Lycos answers
            return FailedPage("error");
        }
        return testing::AcceptedPage();
    });
    EXPECT_EQ(Run({"http://one.example/", "http://two.example/"}), 1);
    EXPECT_EQ(server_.requests().size(), 3u);
    EXPECT_THAT(FailureLines(results_), ElementsAre("Lycos: failed. http://one.example/"));
    EXPECT_EQ(progress_.steps, 2) << "no step after the cancel";
    EXPECT_TRUE(results_.failed);
}

TEST_F(SubmitRunTest, CancelledResendStillStepsTheEntryItBegan) {
    server_.SetPages([this](const EngineRequest&) {
        Cancel();
        return testing::AcceptedPage();
    });
    Run({"http://a.example/1", "http://a.example/2"}, SubmitJob::Resend);
    EXPECT_EQ(server_.requests().size(), 1u);
    EXPECT_EQ(progress_.steps, 1);
}

TEST_F(SubmitRunTest, FailureLineNBelongsToErrorPageN) {
    server_.SetPages([](const EngineRequest& request) {
        return FailedPage("error at " + request.host + request.target);
    });
    Run({"http://one.example/", "http://two.example/", "http://three.example/"});
    ASSERT_EQ(results_.FailureList.size(), 18u);
    for (std::size_t n = 0; n < results_.FailureList.size(); ++n) {
        EXPECT_EQ(results_.FailureList[n].page, dir_.path() / ErrorPageName(static_cast<int>(n)));
        const std::string page = testing::ReadFileBytes(results_.FailureList[n].page);
        const std::string line = FailureLine(results_.FailureList[n]);
        const std::string address = line.substr(line.rfind(' ') + 1);
        EXPECT_NE(page.find("=" + address), std::string::npos) << n;
        const std::string engine = line.substr(0, line.find(':'));
        const auto row = std::find_if(EngineTable.begin(), EngineTable.end(),
                                      [&](const EngineRow& r) { return r.name == engine; });
        ASSERT_NE(row, EngineTable.end());
        EXPECT_NE(page.find(std::string(row->host)), std::string::npos) << n;
    }
}

TEST_F(SubmitRunTest, EachRunStartsAfresh) {
    server_.SetPages([](const EngineRequest& request) {
        return request.host == "www.hotbot.com" ? FailedPage("error") : testing::AcceptedPage();
    });
    SubmitRun firstRun(Job({"http://one.example/"}), prompt_, progress_);
    const RunResult first = firstRun.SubmitWorker();
    testing::WriteFileBytes("submiterror0.html", "the first run's page");
    SubmitRun secondRun(Job({"http://one.example/"}), prompt_, progress_);
    const RunResult second = secondRun.SubmitWorker();
    EXPECT_TRUE(second.failed);
    EXPECT_EQ(FailureLines(second), FailureLines(first)) << "nothing carried over";
    EXPECT_EQ(second.ResubmitList.size(), 1u);
    EXPECT_EQ(server_.requests().size(), 14u) << "no cancel carried over from the first end";
    EXPECT_NE(testing::ReadFileBytes("submiterror0.html"), "the first run's page")
        << "the pages are numbered from 0 again";
}

// With the checks on, IndexNow hears only of the pages they let through, a page gone among
// them; the run tells what was left out.
TEST(SubmitRunChecks, IndexNowHearsOnlyOfThePagesTheirChecksLetThrough) {
    testing::AnnounceSite site;
    const std::string root = testing::AnnounceSite::kSite;
    site.Serve("/open", "<p>Open</p>");
    site.Serve("/moved", "", 302, {{"Location", "/open"}});
    testing::TempDir dir;
    RecordingObserver observer;
    NoPrompt prompt;
    SubmitRun run({.items = {root + "open", root + "moved", root + "gone"},
                   .errorPageDir = dir.path(),
                   .classic = false,
                   .indexNow = {.settings = {.key = "announce-key",
                                             .endpoint = testing::AnnounceSite::kEndpoint,
                                             .enabled = true,
                                             .letThrough = {"*"}}},
                   .retry = {},
                   .routing = site.Routing()},
                  prompt, observer);
    const RunResult result = run.SubmitWorker();
    EXPECT_THAT(site.Posted(), ElementsAre(::testing::HasSubstr("\"urlList\":[\"" + root +
                                                                "open\",\"" + root + "gone\"]")));
    EXPECT_THAT(result.notes, ElementsAre("Let through the gate by the settings: www.example.test "
                                          "(special-use name, 3 pages).",
                                          "Not announced, redirected: 1 page, " + root + "moved (" +
                                              root + "open)."));
}

// What one engine's robot is told holds for the channel that reaches that engine alone: a page
// only Googlebot is kept from (its meta tag, its robots.txt group) still goes to IndexNow, one
// only Bing's robot is kept from still goes to Google, and each channel is told what it lost.
TEST(SubmitRunChecks, WhatOneEnginesRobotIsToldHoldsForItsChannelAlone) {
    testing::AnnounceSite site;
    testing::FakeGoogle google;
    const std::string root = testing::AnnounceSite::kSite;
    google.Properties(R"({"siteEntry":[{"siteUrl":")" + root +
                      R"(","permissionLevel":"siteOwner"}]})");
    site.Serve("/robots.txt", "User-agent: Googlebot\nDisallow: /drafts\n");
    site.Serve("/open", "<p>Open</p>");
    site.Serve("/google-noindex", "<meta name=googlebot content=noindex><p>x</p>");
    site.Serve("/drafts", "<p>Draft</p>");
    site.Serve("/bing-noindex", "<p>y</p>", 200, {{"X-Robots-Tag", "bingbot: noindex"}});
    RunRouting routing = site.Routing();
    for (const auto& [host, port] : google.Routing().connectTo) {
        routing.connectTo[host] = port;
    }
    testing::TempDir dir;
    RecordingObserver observer;
    NoPrompt prompt;
    SubmitRun run(
        {.items = {root + "open", root + "google-noindex", root + "drafts", root + "bing-noindex"},
         .errorPageDir = dir.path(),
         .classic = false,
         .indexNow = {.settings = {.key = "announce-key",
                                   .endpoint = testing::AnnounceSite::kEndpoint,
                                   .enabled = true,
                                   .letThrough = {"*"}}},
         .google = {.key = google.Key()},
         .retry = {},
         .routing = routing},
        prompt, observer);
    const RunResult result = run.SubmitWorker();
    EXPECT_THAT(site.Posted(),
                ElementsAre(::testing::HasSubstr("\"urlList\":[\"" + root + "open\",\"" + root +
                                                 "google-noindex\",\"" + root + "drafts\"]")));
    EXPECT_THAT(google.inspected(), ElementsAre(root + "open", root + "bing-noindex"));
    EXPECT_THAT(
        result.notes,
        ::testing::IsSupersetOf(
            {"Not announced to Google Search Console, noindex: 1 page, " + root + "google-noindex.",
             "Not announced to Google Search Console, disallowed by robots.txt: 1 page, " + root +
                 "drafts.",
             "Not announced to IndexNow, noindex: 1 page, " + root + "bing-noindex."}));
}

}  // namespace
}  // namespace quaymark
