#include "engine/indexnow/indexnow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <mutex>

#include "engine/classic/engine_table.h"
#include "engine/indexnow/key_check.h"
#include "engine/run/submit_run.h"
#include "tests/support/fake_engine_server.h"
#include "tests/support/run_lines.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tls_server.h"

namespace quaymark {
namespace {

using ::testing::ElementsAre;
using testing::FailureLines;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr std::string_view kKey = "0123456789abcdef0123456789abcdef";
constexpr std::string_view kEndpoint = "https://api.indexnow.test/indexnow";

TEST(IndexNowBatches, SplitAtTheLimitGroupedByHostInListOrder) {
    std::vector<std::string> addresses;
    for (int i = 0; i < 10001; ++i) {
        addresses.push_back("https://Big.example/" + std::to_string(i));
        if (i == 1) {
            addresses.push_back("http://small.example:8080/a");
            addresses.push_back("mailto:me@small.example");
        }
    }
    addresses.push_back("https://small.example/b");
    const std::vector<IndexNowBatch> batches = MakeBatches(addresses);
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0].host, "big.example");
    EXPECT_EQ(batches[0].urls.size(), 10000u);
    EXPECT_EQ(batches[0].urls[9999], "https://Big.example/9999");
    EXPECT_THAT(batches[1].urls,
                ElementsAre("http://small.example:8080/a", "https://small.example/b"));
    EXPECT_THAT(batches[2].urls, ElementsAre("https://Big.example/10000"));

    const IndexNowSettings job{.key = std::string(kKey),
                               .endpoint = std::string(kEndpoint),
                               .enabled = true,
                               .keyLocation = "https://small.example/keys/k.txt"};
    EXPECT_EQ(BatchBody(job, {"small.example", {"https://small.example/a b\"\\\xE9"}}),
              "{\"host\":\"small.example\",\"key\":\"" + std::string(kKey) +
                  "\",\"keyLocation\":\"https://small.example/keys/k.txt\",\"urlList\":["
                  "\"https://small.example/a%20b\\\"\\\\%E9\"]}");
    EXPECT_EQ(BatchBody(job, {"big.example", {"https://big.example/"}}),
              "{\"host\":\"big.example\",\"key\":\"" + std::string(kKey) +
                  "\",\"urlList\":[\"https://big.example/\"]}")
        << "a key location serves its own host only";
}

TEST(IndexNowRetryAfter, SecondsOrAnHttpDate) {
    const std::time_t now = curl_getdate("Tue, 08 Dec 2026 20:00:00 GMT", nullptr);
    EXPECT_EQ(ParseRetryAfter("120", now), std::chrono::seconds(120));
    EXPECT_EQ(ParseRetryAfter("Tue, 08 Dec 2026 20:00:30 GMT", now), std::chrono::seconds(30));
    EXPECT_EQ(ParseRetryAfter("Tue, 08 Dec 2026 19:00:00 GMT", now), std::chrono::seconds(0));
    EXPECT_EQ(ParseRetryAfter("soon, maybe", now), std::nullopt);
    EXPECT_EQ(ParseRetryAfter("", now), std::nullopt);
    EXPECT_GT(ParseRetryAfter("99999999999999999999999", now), std::chrono::hours(24));
}

// Records what a run tells its follower of the IndexNow part.
class Follower : public RunObserver {
public:
    void RunStarted(int items, int stepsPerItem, int extra) override {
        totalSteps = static_cast<int>(TotalSteps(items, stepsPerItem, extra));
    }
    void AddressStarted(const std::string& item) override { addresses.push_back(item); }
    void EngineStarted(std::string_view) override {}
    void RequestDone() override { ++steps; }
    void FailureRecorded(const FailureRecord&) override {}
    void WaitStarted(std::string_view engine, std::chrono::seconds wait,
                     std::string_view why) override {
        waits.push_back(std::string(engine) + ": waiting " + std::to_string(wait.count()) + " s (" +
                        std::string(why) + ")");
        if (onWait) {
            onWait();
        }
    }
    void WaitEnded() override {}
    void RunEnded() override {}

    int totalSteps = 0;
    int steps = 0;
    std::vector<std::string> addresses;
    std::vector<std::string> waits;
    std::function<void()> onWait;
};

class NoPrompt : public FetchPrompt {
public:
    void ShowCannotOpenConnection() override {}
    std::optional<Credentials> AskCredentials(const std::string&) override { return std::nullopt; }
};

// One announcement as the endpoint received it.
struct Posted {
    std::string contentType;
    std::string userAgent;
    std::string body;
};

// A run against a TLS endpoint of the test; the engines answer on a loopback server.
class IndexNowRunTest : public ::testing::Test {
protected:
    using Answer = std::function<void(const httplib::Request&, httplib::Response&)>;

    void Answering(Answer answer) {
        endpoint_->Post("/indexnow", [this, answer](const httplib::Request& request,
                                                    httplib::Response& response) {
            {
                const std::lock_guard lock(mutex_);
                posted_.push_back({request.get_header_value("Content-Type"),
                                   request.get_header_value("User-Agent"), request.body});
            }
            answer(request, response);
        });
    }

    SubmitJob Job(std::vector<std::string> addresses) const {
        SubmitJob job;
        job.items = std::move(addresses);
        job.errorPageDir = dir_.path();
        job.indexNow = {.settings = {.key = std::string(kKey),
                                     .endpoint = std::string(kEndpoint),
                                     .enabled = true,
                                     .checkPages = false,
                                     .letThrough = {"*"}}};
        job.retry.second = std::chrono::milliseconds(1);
        job.routing.connectTo = engines_.Routes();
        job.routing.connectTo["api.indexnow.test:443"] = endpoint_.port();
        job.routing.caFile = testing::TlsServer::CaFile();
        return job;
    }

    RunResult Run(SubmitJob job) {
        run_ = std::make_unique<SubmitRun>(std::move(job), prompt_, follower_, stop_.get_token());
        return run_->SubmitWorker();
    }

    std::vector<Posted> PostedBodies() {
        const std::lock_guard lock(mutex_);
        return posted_;
    }

    testing::ScopedWorkingDir dir_;
    testing::FakeEngineServer engines_;
    testing::TlsServer endpoint_;
    NoPrompt prompt_;
    Follower follower_;
    std::stop_source stop_;
    std::unique_ptr<SubmitRun> run_;
    std::mutex mutex_;
    std::vector<Posted> posted_;
};

// Three hosts in the order they first appear, after the seven engines; an address IndexNow
// cannot take is told first and never sent; Re-Submit posts exactly the batch that failed.
TEST_F(IndexNowRunTest, OneBatchPerHostAfterTheEnginesAndResubmitSendsThatBatchAgain) {
    bool keyFixed = false;
    Answering([&](const httplib::Request& request, httplib::Response& response) {
        if (request.body.find("\"host\":\"b.example.test\"") != std::string::npos && !keyFixed) {
            response.status = 403;
            response.set_content("Key <not> found\n", "text/plain");
        } else {
            response.status = request.body.find("a.example.test") != std::string::npos ? 202 : 200;
        }
    });
    const RunResult first =
        Run(Job({"https://b.example.test/1", "http://a.example.test/p?q=1&r=2", "ftp://c.example/",
                 "https://b.example.test/2", "https://d.example.test/"}));
    EXPECT_EQ(engines_.requests().size(), 35u) << "the seven engines as ever";
    EXPECT_EQ(follower_.totalSteps, 38) << "one step per batch beyond the engines'";
    EXPECT_EQ(follower_.steps, 38);
    const std::vector<Posted> posted = PostedBodies();
    ASSERT_EQ(posted.size(), 3u);
    const std::string key(kKey);
    EXPECT_EQ(posted[0].body, "{\"host\":\"b.example.test\",\"key\":\"" + key +
                                  "\",\"urlList\":[\"https://b.example.test/1\","
                                  "\"https://b.example.test/2\"]}");
    EXPECT_EQ(posted[1].body, "{\"host\":\"a.example.test\",\"key\":\"" + key +
                                  "\",\"urlList\":[\"http://a.example.test/p?q=1&r=2\"]}");
    EXPECT_EQ(posted[2].body, "{\"host\":\"d.example.test\",\"key\":\"" + key +
                                  "\",\"urlList\":[\"https://d.example.test/\"]}");
    EXPECT_EQ(posted[0].contentType, "application/json; charset=utf-8");
    EXPECT_EQ(posted[0].userAgent, "Quay Marker by Tolvane");
    EXPECT_THAT(follower_.addresses,
                ::testing::IsSupersetOf({"b.example.test", "a.example.test", "d.example.test"}));

    EXPECT_TRUE(first.failed);
    EXPECT_THAT(FailureLines(first),
                ElementsAre("IndexNow: not an http or https address with a host. ftp://c.example/",
                            "IndexNow: key not valid (403). b.example.test (2 addresses)"));
    EXPECT_THAT(first.notes, ElementsAre(HasSubstr("Let through the gate"),
                                         "IndexNow: received; the key is still being checked. "
                                         "a.example.test (1 address)"));
    const std::string page = testing::ReadFileBytes(first.FailureList[1].page);
    EXPECT_THAT(page, HasSubstr("Put a file named " + key + ".txt holding exactly the key " + key +
                                " at the root of https://b.example.test/"));
    EXPECT_THAT(page, HasSubstr("<PRE>HTTP/1.1 403 Forbidden"));
    EXPECT_THAT(page, HasSubstr("Key &lt;not&gt; found")) << "the endpoint's answer, as text";
    ASSERT_EQ(first.ResubmitList.size(), 1u);
    EXPECT_EQ(first.ResubmitList[0].body, posted[0].body);

    keyFixed = true;
    SubmitJob resend = Job({});
    resend.mode = SubmitJob::Resend;
    resend.resendItems = first.ResubmitList;
    const RunResult second = Run(std::move(resend));
    EXPECT_FALSE(second.failed);
    ASSERT_EQ(PostedBodies().size(), 4u);
    EXPECT_EQ(PostedBodies()[3].body, posted[0].body) << "exactly that batch";
    EXPECT_EQ(engines_.requests().size(), 35u);
}

// With the classic pages off, a run is its batches alone, each a step of the bar.
TEST_F(IndexNowRunTest, WithTheClassicPagesOffARunIsItsBatchesAlone) {
    Answering([](const httplib::Request&, httplib::Response& response) { response.status = 200; });
    SubmitJob job =
        Job({"https://a.example.test/1", "https://b.example.test/1", "https://a.example.test/2"});
    job.classic = false;
    EXPECT_FALSE(Run(std::move(job)).failed);
    EXPECT_TRUE(engines_.requests().empty());
    EXPECT_EQ(PostedBodies().size(), 2u);
    EXPECT_EQ(follower_.totalSteps, 2);
    EXPECT_EQ(follower_.steps, 2);
    EXPECT_THAT(follower_.addresses, ElementsAre("a.example.test", "b.example.test"));
}

// Each answer to its reason; one try each here, where waiting would not help or is used up.
TEST_F(IndexNowRunTest, EveryStatusHasItsReasonAndItsPage) {
    Answering([](const httplib::Request& request, httplib::Response& response) {
        for (const int status : {400, 403, 422, 429, 500, 301}) {
            if (request.body.find("s" + std::to_string(status) + ".example.test") !=
                std::string::npos) {
                response.status = status;
                response.set_header("Location", "https://moved.example.test/indexnow");
            }
        }
        if (request.body.find("huge.example.test") != std::string::npos) {
            response.status = 400;
            response.set_chunked_content_provider(
                "text/plain", [](size_t, httplib::DataSink& sink) {
                    const std::string block(1 << 16, 'x');
                    return sink.write(block.data(), block.size());  // for ever
                });
        }
    });
    SubmitJob job = Job({"https://s400.example.test/", "https://s403.example.test/",
                         "https://s422.example.test/", "https://s429.example.test/",
                         "https://s500.example.test/", "https://s301.example.test/",
                         "https://huge.example.test/"});
    job.retry.maxTries = 1;
    const RunResult result = Run(std::move(job));
    EXPECT_THAT(
        FailureLines(result),
        ElementsAre(
            "IndexNow: bad request (400). s400.example.test (1 address)",
            "IndexNow: key not valid (403). s403.example.test (1 address)",
            "IndexNow: addresses not of this host or key not matching (422). s422.example.test "
            "(1 address)",
            "IndexNow: too many requests (429). s429.example.test (1 address)",
            "IndexNow: answered 500. s500.example.test (1 address)",
            "IndexNow: redirected (301), not followed. s301.example.test (1 address)",
            "IndexNow: bad request (400). huge.example.test (1 address)"));
    EXPECT_EQ(PostedBodies().size(), 7u) << "no redirect followed";
    const auto page = [&](std::size_t n) {
        return testing::ReadFileBytes(result.FailureList[n].page);
    };
    EXPECT_THAT(page(2), HasSubstr("do not all belong to s422.example.test"));
    EXPECT_THAT(page(3), HasSubstr("Try again later"));
    EXPECT_THAT(page(5), HasSubstr("https://moved.example.test/indexnow"));
    EXPECT_THAT(page(6), HasSubstr("[cut at 64 KiB]"));
    EXPECT_LT(page(6).size(), std::size_t{70} << 10) << "a body without end is cut";

    // No answer at all: libcurl's reason, in its words.
    SubmitJob untrusted = Job({"https://a.example.test/"});
    untrusted.routing.caFile.clear();
    EXPECT_THAT(FailureLines(Run(std::move(untrusted))),
                ElementsAre("IndexNow: certificate not trusted. a.example.test (1 address)"));
}

// 429 with Retry-After in seconds, then as a date, then 503 with none, then success; a wait
// beyond what a batch may wait is not waited; 422 is never tried again.
TEST_F(IndexNowRunTest, WaitsWhereWaitingHelpsAndOnlyThere) {
    int answered = 0;
    Answering([&](const httplib::Request& request, httplib::Response& response) {
        if (request.body.find("never.example.test") != std::string::npos) {
            response.status = 422;
            return;
        }
        if (request.body.find("year.example.test") != std::string::npos) {
            response.status = 429;
            response.set_header("Retry-After", "31536000");
            return;
        }
        switch (answered++) {
            case 0:
                response.status = 429;
                response.set_header("Retry-After", "3");
                break;
            case 1: {
                response.status = 429;
                const std::time_t later = std::time(nullptr) + 100;
                std::tm parts{};
                char date[64];
                std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT",
                              gmtime_r(&later, &parts));
                response.set_header("Retry-After", date);
                break;
            }
            case 2:
                response.status = 503;
                break;
            default:
                response.status = 200;
        }
    });
    const RunResult result = Run(Job(
        {"https://ok.example.test/", "https://never.example.test/", "https://year.example.test/"}));
    ASSERT_EQ(follower_.waits.size(), 3u) << "nothing waited for 422 or for a year";
    EXPECT_EQ(follower_.waits[0], "IndexNow: waiting 3 s (too many requests)");
    EXPECT_THAT(follower_.waits[1],
                ::testing::MatchesRegex("IndexNow: waiting (99|100) s \\(too many requests\\)"))
        << "an HTTP date a hundred seconds ahead";
    EXPECT_THAT(follower_.waits[2],
                ::testing::MatchesRegex(  // the third wait: 8 s, give or take a quarter

                    "IndexNow: waiting ([6-9]|10) s \\(server error 503\\)"));
    EXPECT_EQ(PostedBodies().size(), 6u) << "four tries, then one each";
    EXPECT_THAT(FailureLines(result),
                ElementsAre("IndexNow: addresses not of this host or key not matching (422). "
                            "never.example.test (1 address)",
                            "IndexNow: too many requests (429). year.example.test (1 address)"));
}

TEST_F(IndexNowRunTest, CancelEndsAWaitAtOnce) {
    Answering([](const httplib::Request&, httplib::Response& response) {
        response.status = 429;
        response.set_header("Retry-After", "500");
    });
    SubmitJob job = Job({"https://a.example.test/", "https://b.example.test/"});
    job.retry.second = std::chrono::seconds(1);  // a real wait: only the cancel ends it
    follower_.onWait = [this] { stop_.request_stop(); };
    const RunResult result = Run(std::move(job));
    EXPECT_EQ(PostedBodies().size(), 1u) << "no next batch after the cancel";
    EXPECT_THAT(FailureLines(result),
                ElementsAre("IndexNow: too many requests (429). a.example.test (1 address)"));
}

class KeptRows : public RequestLog {
public:
    void Record(HistoryRow row) override { rows.push_back(std::move(row)); }
    std::vector<HistoryRow> rows;
};

// Every request is recorded; with only new or changed pages announced, IndexNow hears of an
// address it never accepted, or one changed since, but never one accepted ten minutes ago.
TEST_F(IndexNowRunTest, EveryRequestIsRecordedAndOnlyNewOrChangedPagesAreAnnounced) {
    engines_.SetPages([](const testing::EngineRequest& request) {
        return request.host.find("lycos") != std::string::npos ? testing::FailedPage("error")
                                                               : testing::AcceptedPage();
    });
    Answering([](const httplib::Request&, httplib::Response& response) { response.status = 200; });
    const std::int64_t now = std::time(nullptr);
    SubmitJob job = Job({"https://a.example.test/new", "https://a.example.test/changed",
                         "https://a.example.test/same", "https://a.example.test/recent"});
    job.indexNow.settings.onlyNewOrChanged = true;
    job.dates = {{"https://a.example.test/changed", {now - 7200, now - 3600}},
                 {"https://a.example.test/same", {now - 3600, now - 7200}},
                 {"https://a.example.test/recent", {now - 60, now}}};
    KeptRows log;
    job.log = &log;
    const RunResult result = Run(std::move(job));

    const std::vector<Posted> posted = PostedBodies();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_THAT(posted[0].body, HasSubstr("\"urlList\":[\"https://a.example.test/new\","
                                          "\"https://a.example.test/changed\"]"));
    EXPECT_THAT(result.notes,
                ElementsAre(HasSubstr("Let through the gate"),
                            "IndexNow: 1 address left out, announced before and not changed since.",
                            "IndexNow: 1 address left out, announced in the last 10 minutes."));
    ASSERT_EQ(log.rows.size(), 4u * 7 + 2);
    const HistoryRow& lycos = log.rows[2];
    EXPECT_EQ(lycos.channel, "Lycos");
    EXPECT_EQ(lycos.address, "https://a.example.test/new");
    EXPECT_EQ(lycos.request, BuildRequestUrl(EngineTable[2], lycos.address, ""));
    EXPECT_EQ(lycos.verdict, "failed");
    EXPECT_EQ(lycos.reason, "failed.");
    EXPECT_FALSE(lycos.accepted);
    EXPECT_TRUE(log.rows[0].accepted);
    const HistoryRow& announced = log.rows.back();
    EXPECT_EQ(announced.channel, "IndexNow");
    EXPECT_EQ(announced.address, "https://a.example.test/changed");
    EXPECT_EQ(announced.request, kEndpoint);
    EXPECT_EQ(announced.verdict, "200");
    EXPECT_TRUE(announced.accepted);
    EXPECT_GE(announced.time, now);
}

// Every setup fault a key check can find, each once.
TEST(IndexNowKeyCheck, FindsEverySetupFault) {
    testing::TlsServer secure;
    testing::LoopbackServer<httplib::Server> plain;
    const std::string key(kKey);
    const auto hostOf = [](const httplib::Request& request) {
        const std::string host = request.get_header_value("Host");
        return host.substr(0, host.find('.'));
    };
    secure->Get(R"(/.*)", [&](const httplib::Request& request, httplib::Response& response) {
        const std::string host = hostOf(request);
        if (host == "exact" || (host == "located" && request.path == "/keys/k.txt")) {
            response.set_content(key + "\n", "text/plain");
        } else if (host == "other") {
            response.set_content("not the key", "text/plain");
        } else if (host == "moved") {
            response.status = 301;
            response.set_header("Location", "https://www.moved.example.test/" + key + ".txt");
        } else {
            response.status = 404;
        }
    });
    plain->Get(R"(/.*)", [&](const httplib::Request& request, httplib::Response& response) {
        if (hostOf(request) == "plain") {
            response.set_content(key, "text/plain");
        } else {
            response.status = 404;
        }
    });
    RunRouting routing{{}, {}, testing::TlsServer::CaFile()};
    for (const char* host : {"exact", "other", "moved", "missing", "plain", "located"}) {
        routing.connectTo[std::string(host) + ".example.test:443"] = secure.port();
        routing.connectTo[std::string(host) + ".example.test:80"] = plain.port();
    }
    routing.connectTo["refused.example.test:443"] = 1;
    routing.connectTo["refused.example.test:80"] = 1;
    const StatusFetcher fetcher(routing);
    IndexNowSettings job{.key = key, .endpoint = std::string(kEndpoint), .enabled = true};
    using Verdict = KeyFileCheck::Verdict;
    const auto check = [&](const std::string& host) {
        return CheckKeyFile(fetcher, host + ".example.test", job);
    };
    EXPECT_EQ(check("exact").verdict, Verdict::Served);
    EXPECT_EQ(check("other").verdict, Verdict::OtherContent);
    EXPECT_EQ(check("moved").verdict, Verdict::Redirected);
    EXPECT_EQ(check("moved").location, "https://www.moved.example.test/" + key + ".txt");
    EXPECT_EQ(check("missing").verdict, Verdict::NotFound);
    EXPECT_EQ(check("plain").verdict, Verdict::OnlyOverHttp);
    EXPECT_EQ(check("refused").verdict, Verdict::NoAnswer);
    EXPECT_EQ(check("refused").failure.kind, TransferFailure::Kind::Refused);
    job.keyLocation = "https://located.example.test/keys/k.txt";
    EXPECT_EQ(check("located").verdict, Verdict::Served);
    EXPECT_TRUE(KeyLocationCovers(job.keyLocation, "https://located.example.test/keys/a/b.html"));
    EXPECT_FALSE(KeyLocationCovers(job.keyLocation, "https://located.example.test/other.html"));
    EXPECT_FALSE(KeyLocationCovers(job.keyLocation, "https://exact.example.test/keys/a.html"));
    const StatusFetcher untrusting({routing.connectTo, {}, {}});
    EXPECT_EQ(CheckKeyFile(untrusting, "exact.example.test", job).verdict, Verdict::Untrusted);
}

}  // namespace
}  // namespace quaymark
