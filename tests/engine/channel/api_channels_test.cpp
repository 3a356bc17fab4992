#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>

#include "engine/baidu/baidu_api.h"
#include "engine/bing/bing_api.h"
#include "engine/run/channel_kinds.h"
#include "engine/run/history_log.h"
#include "engine/run/submit_run.h"
#include "engine/yandex/yandex_api.h"
#include "tests/support/run_lines.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tls_server.h"

namespace quaymark {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr const char* kKey = "BINGKEY-0123456789abcdef";
constexpr const char* kToken = "YANDEXTOKEN-0123456789";
constexpr const char* kBaiduToken = "BAIDUTOKEN-0123456789";
constexpr const char* kSite = "https://www.example.test/";

// Counts the waits of a run.
class Follower : public testing::QuietRun {
public:
    void WaitStarted(std::string_view, std::chrono::seconds, std::string_view) override { ++waits; }
    int waits = 0;
};

using testing::NoPrompt;

struct Answer {
    int status = 200;
    std::string body;
    std::string location{};
};

// The three engines' APIs on one loopback TLS server, each answer taken in turn from a script
// (the last one staying), every request heard kept with its credential.
class ApiChannelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        opened_ = History::Open(dir_.path() / "history.sqlite");
        ASSERT_TRUE(opened_.history);
        writer_ = std::make_unique<HistoryWriter>(*opened_.history);
        Script("bing quota", {{.body = R"({"d":{"DailyQuota":100,"MonthlyQuota":3000}})"}});
        Script("bing submit", {{.body = R"({"d":null})"}});
        Script("bing stats",
               {{.body = R"({"d":[{"Date":"\/Date(1765238400000-0800)\/","CrawledPages":42,)"
                         R"("CrawlErrors":3}]})"}});
        Script("yandex user", {{.body = R"({"user_id":42})"}});
        Script("yandex hosts", {{.body = R"({"hosts":[{"host_id":"https:www.example.test:443",)"
                                         R"("ascii_host_url":"https://www.example.test/",)"
                                         R"("verified":true}]})"}});
        Script("yandex quota", {{.body = R"({"daily_quota":20,"quota_remainder":20})"}});
        Script("yandex queue", {{.status = 202, .body = R"({"task_id":"t1"})"}});
        Script(
            "yandex tasks",
            {{.body =
                  R"({"tasks":[{"task_id":"t0","url":"https://www.example.test/a",)"
                  R"("added_time":"2026-12-08T10:00:00,000+0300","state":"DONE"}],"count":1})"}});
        Script("baidu",
               {{.body = R"({"success":2,"remain":98,"not_same_site":[],"not_valid":[]})"}});
        const auto answer = [this](const char* route) {
            return [this, route](const httplib::Request& request, httplib::Response& response) {
                const Answer a = Take(route, request);
                response.status = a.status;
                if (!a.location.empty()) {
                    response.set_header("Location", a.location);
                }
                response.set_content(a.body, "application/json");
            };
        };
        server_->Get("/webmaster/api.svc/json/GetUrlSubmissionQuota", answer("bing quota"));
        server_->Post("/webmaster/api.svc/json/SubmitUrlBatch", answer("bing submit"));
        server_->Get("/webmaster/api.svc/json/GetCrawlStats", answer("bing stats"));
        server_->Get("/v4/user", answer("yandex user"));
        server_->Get("/v4/user/42/hosts", answer("yandex hosts"));
        server_->Get(R"(/v4/user/42/hosts/[^/]+/recrawl/quota)", answer("yandex quota"));
        server_->Post(R"(/v4/user/42/hosts/[^/]+/recrawl/queue)", answer("yandex queue"));
        server_->Get(R"(/v4/user/42/hosts/[^/]+/recrawl/queue)", answer("yandex tasks"));
        server_->Post("/urls", answer("baidu"));
    }

    void Script(const std::string& route, std::deque<Answer> answers) {
        const std::lock_guard lock(mutex_);
        script_[route] = std::move(answers);
    }

    Answer Take(const std::string& route, const httplib::Request& request) {
        const std::lock_guard lock(mutex_);
        heard_.push_back(route + " " + request.get_header_value("Authorization") +
                         request.get_param_value("apikey") + request.get_param_value("token") +
                         " " + request.body);
        std::deque<Answer>& answers = script_[route];
        Answer answer = answers.front();
        if (answers.size() > 1) {
            answers.pop_front();
        }
        return answer;
    }

    std::vector<std::string> Heard(const std::string& route) {
        const std::lock_guard lock(mutex_);
        std::vector<std::string> heard;
        for (const std::string& line : heard_) {
            if (line.starts_with(route + " ")) {
                heard.push_back(line.substr(route.size() + 1));
            }
        }
        return heard;
    }

    RunResult Run(const std::string& section, std::vector<std::string> pages,
                  AccountSettings settings = {.enabled = true}) {
        const std::map<std::string, std::string> credentials{
            {"bing", kKey}, {"yandex", kToken}, {"baidu", kBaiduToken}};
        HistoryStores stores(*writer_);
        RunRouting routing{.connectTo = {}, .limits = {}, .caFile = testing::TlsServer::CaFile()};
        for (const char* host :
             {"ssl.bing.com:443", "api.webmaster.yandex.net:443", "data.zz.baidu.com:443"}) {
            routing.connectTo[host] = server_.port();
        }
        SubmitJob job{
            .items = std::move(pages),
            .errorPageDir = dir_.path() / "pages",
            .classic = false,
            .indexNow = {.settings = {.checkPages = false, .letThrough = {"*"}}},
            .apis = {{section, {.settings = settings, .credential = credentials.at(section)}}},
            .retry = {.maxTries = 2,
                      .firstBackoff = std::chrono::seconds(1),
                      .second = std::chrono::milliseconds(1)},
            .routing = routing};
        std::filesystem::create_directories(dir_.path() / "pages");
        stores.Attach(job);
        SubmitRun run(std::move(job), prompt_, follower_);
        RunResult result = run.SubmitWorker();
        writer_->Flush();
        return result;
    }

    std::vector<std::string> Pending(std::string_view channel) {
        return writer_->Ask<std::vector<std::string>>(
            [&](History& history) { return history.ChannelPending(std::string(channel)); });
    }

    std::vector<PageEvent> Timeline(const std::string& page) {
        return writer_->Ask<std::vector<PageEvent>>(
            [&](History& history) { return history.PageTimeline(page); });
    }

    // No file the run wrote (the history, the error pages) holds a credential.
    void ExpectNoCredentialWritten() {
        writer_->Flush();
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
            if (!entry.is_regular_file()) {
                continue;
            }
            std::ifstream file(entry.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(file)), {});
            for (const char* secret : {kKey, kToken, kBaiduToken}) {
                EXPECT_EQ(bytes.find(secret), std::string::npos) << entry.path();
            }
        }
    }

    testing::TempDir dir_;
    testing::TlsServer server_;
    std::mutex mutex_;
    std::map<std::string, std::deque<Answer>> script_;
    std::vector<std::string> heard_;
    Follower follower_;
    NoPrompt prompt_;
    History::Opened opened_;
    std::unique_ptr<HistoryWriter> writer_;
};

std::vector<std::string> Pages(int count) {
    std::vector<std::string> pages;
    for (int i = 0; i < count; ++i) {
        pages.push_back(std::string(kSite) + "p" + std::to_string(i));
    }
    return pages;
}

// Bing: the quota asked first, pages sent within it in the plan's order, the rest waiting
// until a run takes them; the key only in the address, never kept; the crawl figures and the
// quota kept for the Sites window.
TEST_F(ApiChannelsTest, BingSendsWithinTheQuotaAndTheRestWaits) {
    Script("bing quota", {{.body = R"({"d":{"DailyQuota":2,"MonthlyQuota":3000}})"}});
    const RunResult first = Run("bing", Pages(5));
    EXPECT_FALSE(first.failed);
    EXPECT_THAT(first.notes, Contains(HasSubstr("quota of https://www.example.test/ is spent for "
                                                "today; 3 pages wait for the next run")));
    const std::vector<std::string> sent = Heard("bing submit");
    ASSERT_THAT(sent, SizeIs(1));
    EXPECT_EQ(sent.front(), std::string(kKey) + " " +
                                R"({"siteUrl":"https://www.example.test/","urlList":[)"
                                R"("https://www.example.test/p0","https://www.example.test/p1"]})");
    const std::vector<std::string> all = Pages(5);
    EXPECT_THAT(Pending(kBingName), ElementsAre(all[2], all[3], all[4]));
    const auto quotas = writer_->Ask<std::vector<QuotaReading>>(
        [](History& h) { return h.LastQuotas(std::string(kBingName)); });
    ASSERT_THAT(quotas, SizeIs(1));
    EXPECT_EQ(quotas.front().dailyLeft, 0);
    EXPECT_EQ(quotas.front().monthlyLeft, 2998);
    EXPECT_THAT(
        writer_->Ask<std::vector<EngineDay>>([](History& h) { return h.EngineDays(kSite, 0); }),
        SizeIs(2));

    Script("bing quota", {{.body = R"({"d":{"DailyQuota":10,"MonthlyQuota":2998}})"}});
    EXPECT_FALSE(Run("bing", {all[2], all[3], all[4]}).failed);
    EXPECT_THAT(Pending(kBingName), IsEmpty());
    EXPECT_EQ(Timeline(all[4]).back().who, kBingName);
    ExpectNoCredentialWritten();
}

// A refused key stops the channel for the run, told with what to do; a site Bing does not know
// as the user's is told and its pages wait; neither is sent again and again.
TEST_F(ApiChannelsTest, BingRefusedKeyAndUnverifiedSiteAreToldOnce) {
    Script("bing quota", {{.status = 400,
                           .body = R"({"ErrorCode":3,"Message":"Invalid API key )" +
                                   std::string(kKey) + R"("})"}});
    const RunResult refused =
        Run("bing", {std::string(kSite) + "a", "https://shop.example.test/b"});
    EXPECT_TRUE(refused.failed);
    ASSERT_THAT(testing::FailureLines(refused), SizeIs(1));
    EXPECT_THAT(testing::FailureLines(refused).front(), HasSubstr("API key refused (400)"));
    EXPECT_THAT(refused.notes, Contains(HasSubstr("In Bing Webmaster Tools open Settings")));
    EXPECT_THAT(Heard("bing quota"), SizeIs(1)) << "the second site is not asked";
    EXPECT_THAT(Heard("bing submit"), IsEmpty());

    Script("bing quota", {{.body = R"({"d":{"DailyQuota":10,"MonthlyQuota":10}})"}});
    Script("bing submit",
           {{.status = 400, .body = R"({"ErrorCode":14,"Message":"NotAuthorized"})"}});
    const RunResult unverified = Run("bing", Pages(600));
    EXPECT_THAT(testing::FailureLines(unverified),
                ElementsAre(HasSubstr("site not verified (400): NotAuthorized")));
    EXPECT_THAT(Heard("bing submit"), SizeIs(1)) << "one batch of the ten the quota allows";
    EXPECT_THAT(Pending(kBingName), SizeIs(602)) << "with the two of the refused key's run";
    ExpectNoCredentialWritten();
}

// Yandex: the user and the site's host found once, each page queued on its own within the
// recrawl quota; a 429 for the quota is not waited on; the queue's tasks kept by day and state;
// the token only in the header.
TEST_F(ApiChannelsTest, YandexQueuesWithinTheRecrawlQuota) {
    Script("yandex quota", {{.body = R"({"daily_quota":20,"quota_remainder":3})"}});
    Script("yandex queue",
           {{.status = 202, .body = R"({"task_id":"t1","quota_remainder":2})"},
            {.status = 429, .body = R"({"error_code":"QUOTA_EXCEEDED","error_message":"no"})"}});
    const RunResult run = Run("yandex", Pages(4));
    EXPECT_FALSE(run.failed);
    EXPECT_EQ(follower_.waits, 0);
    const std::vector<std::string> queued = Heard("yandex queue");
    ASSERT_THAT(queued, SizeIs(2));
    EXPECT_EQ(queued.front(),
              "OAuth " + std::string(kToken) + R"( {"url":"https://www.example.test/p0"})");
    EXPECT_THAT(Pending(kYandexName), SizeIs(3));
    EXPECT_THAT(
        writer_->Ask<std::vector<EngineDay>>([](History& h) { return h.EngineDays(kSite, 0); }),
        ElementsAre(::testing::Field(&EngineDay::series, "Yandex: recrawls done")));

    Script("yandex hosts", {{.body = R"({"hosts":[]})"}});
    const RunResult absent = Run("yandex", {"https://other.example.test/x"});
    EXPECT_THAT(testing::FailureLines(absent), ElementsAre(HasSubstr("site not in the account")));
    EXPECT_THAT(Heard("yandex user"), SizeIs(2)) << "once a run";
    ExpectNoCredentialWritten();
}

// Baidu: pages posted as lines over https, what Baidu did not take failed with a resend, what
// remains kept as the quota; "over quota" leaves the rest waiting; a refused token told.
TEST_F(ApiChannelsTest, BaiduPushesAndJudgesEachAnswer) {
    Script("baidu", {{.body = R"({"success":1,"remain":7,"not_same_site":[],)"
                              R"("not_valid":["https://www.example.test/p1"]})"}});
    const RunResult pushed = Run("baidu", Pages(2));
    EXPECT_EQ(
        Heard("baidu").front(),
        std::string(kBaiduToken) + " https://www.example.test/p0\nhttps://www.example.test/p1\n");
    EXPECT_THAT(testing::FailureLines(pushed),
                ElementsAre("Baidu: not valid. https://www.example.test/p1"));
    ASSERT_THAT(pushed.ResubmitList, SizeIs(1));
    EXPECT_THAT(pushed.ResubmitList.front().url, ::testing::Not(HasSubstr("token")));
    EXPECT_EQ(Timeline(std::string(kSite) + "p0").back().good, true);

    // Sent again once Baidu is off: kept to send, never sent without its token.
    NoPrompt prompt;
    SubmitRun resend({.mode = SubmitJob::Resend,
                      .resendItems = pushed.ResubmitList,
                      .errorPageDir = dir_.path() / "pages"},
                     prompt, follower_);
    EXPECT_THAT(testing::FailureLines(resend.SubmitWorker()),
                ElementsAre("Sending: not sent: the channel is off. https://www.example.test/p1"));
    EXPECT_THAT(Heard("baidu"), SizeIs(1));

    Script("baidu", {{.status = 400, .body = R"({"error":400,"message":"over quota"})"}});
    const RunResult spent = Run("baidu", Pages(3));
    EXPECT_FALSE(spent.failed);
    EXPECT_THAT(Pending(kBaiduName), SizeIs(3));

    Script("baidu", {{.status = 401, .body = R"({"error":401,"message":"token is not valid"})"}});
    const RunResult refused = Run("baidu", Pages(1));
    EXPECT_THAT(testing::FailureLines(refused),
                ElementsAre(HasSubstr("token refused (401): token is not valid")));
    ExpectNoCredentialWritten();
}

// Hostile answers are failures told, never taken: huge, deeply nested, not JSON, cut inside a
// character, a redirect to another host (never followed, so the key goes nowhere else); a 503
// is waited on and tried again.
TEST_F(ApiChannelsTest, HostileAnswersAreToldAndNeverFollowed) {
    const std::string nested(60000, '[');
    for (const Answer& hostile :
         {Answer{.body = std::string(200000, ' ') + "{}"}, Answer{.body = nested},
          Answer{.body = "<html>quota</html>"}, Answer{.body = "{\"d\":{\"DailyQuota\":\"\xE2\x82"},
          Answer{.status = 302, .body = "", .location = "https://evil.example.test/steal"}}) {
        Script("bing quota", {hostile});
        const RunResult run = Run("bing", Pages(1));
        EXPECT_TRUE(run.failed);
        EXPECT_THAT(testing::FailureLines(run), SizeIs(1));
    }
    EXPECT_THAT(Heard("bing submit"), IsEmpty());
    Script("bing submit", {{.status = 503, .body = ""}, {.body = R"({"d":null})"}});
    Script("bing quota", {{.body = R"({"d":{"DailyQuota":5,"MonthlyQuota":5}})"}});
    EXPECT_FALSE(Run("bing", Pages(1)).failed);
    EXPECT_EQ(follower_.waits, 1);
    ExpectNoCredentialWritten();
}

}  // namespace
}  // namespace quaymark
