#include "engine/check/host_gate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#include "engine/run/run_gate.h"
#include "tests/support/fake_dns.h"
#include "tests/support/tls_server.h"

namespace quaymark {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

HostAnswers Answering(const std::vector<std::string>& hosts, std::vector<std::string> addresses) {
    HostAnswers answers;
    for (const std::string& host : hosts) {
        answers[host] = addresses;
    }
    return answers;
}
HostAnswers PublicAnswer(const std::vector<std::string>& hosts, const RunRouting&) {
    return Answering(hosts, {"93.184.215.14"});
}
HostAnswers LocalAnswers(const std::vector<std::string>& hosts, const RunRouting&) {
    return Answering(hosts, {"10.1.2.3", "fd00::1"});
}

// Every kind of host that cannot be a public site is kept back with its reason; the user's
// patterns keep back and let through; a public host passes.
TEST(HostGate, KeepsBackWhatCannotBeAPublicSite) {
    const GateRules none;
    const struct {
        const char* host;
        std::optional<GateReason> reason;
    } cases[] = {
        {"localhost", GateReason::SpecialUse},
        {"shop.local", GateReason::SpecialUse},
        {"www.example.test", GateReason::SpecialUse},
        {"a.example", GateReason::SpecialUse},
        {"x.invalid", GateReason::SpecialUse},
        {"db.internal", GateReason::SpecialUse},
        {"nas.home.arpa", GateReason::SpecialUse},
        {"intranet", GateReason::BareName},
        {"127.0.0.1", GateReason::LocalAddress},
        {"192.168.1.10", GateReason::LocalAddress},
        {"172.31.0.1", GateReason::LocalAddress},
        {"169.254.0.9", GateReason::LocalAddress},
        {"198.51.100.7", GateReason::LocalAddress},
        {"[::1]", GateReason::LocalAddress},
        {"[fe80::1]", GateReason::LocalAddress},
        {"[2001:db8::5]", GateReason::LocalAddress},
        {"[::ffff:10.0.0.1]", GateReason::LocalAddress},
        {"93.184.215.14", std::nullopt},
        {"172.32.0.1", std::nullopt},
        {"www.example.com", std::nullopt},
        {"notlocal", GateReason::BareName},
        {"testing.com", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JudgeHost(c.host, none, {}, PublicAnswer).reason, c.reason) << c.host;
    }
    EXPECT_EQ(JudgeHost("www.shop.com", none, {}, LocalAnswers).reason, GateReason::LocalAnswers);

    const GateRules rules{.letThrough = {"*.example.test"},
                          .notAnnounced = {"staging.*", "*.netlify.app"}};
    EXPECT_EQ(JudgeHost("staging.shop.com", rules, {}, PublicAnswer).reason,
              GateReason::NotForAnnouncing);
    EXPECT_EQ(JudgeHost("Preview-1.Netlify.App", rules, {}, PublicAnswer).reason,
              GateReason::NotForAnnouncing);
    EXPECT_FALSE(JudgeHost("netlify.app", rules, {}, PublicAnswer).reason);
    const HostVerdict let = JudgeHost("www.example.test", rules, {}, PublicAnswer);
    EXPECT_TRUE(let.letThrough);

    const GateOutcome gated = GatePages(
        {"https://www.shop.com/a", "http://localhost:8080/b", "https://staging.shop.com/c",
         "https://www.example.test/d", "mailto:someone@shop.com"},
        rules, {}, PublicAnswer);
    EXPECT_THAT(gated.passed, ElementsAre("https://www.shop.com/a", "https://www.example.test/d",
                                          "mailto:someone@shop.com"));
    EXPECT_EQ(LeftOutByGate(gated.leftOut),
              "2 left out by the gate (1 not for announcing, 1 special-use name)");
    EXPECT_THAT(gated.notes,
                ElementsAre("localhost: 1 page not announced (special-use name)",
                            "staging.shop.com: 1 page not announced (not for announcing)",
                            "Let through the gate by the settings: www.example.test "
                            "(special-use name, 1 page)."));
    EXPECT_FALSE(TakenHostPattern("bad/host"));
    EXPECT_EQ(TakenHostPattern("Staging.*"), "staging.*");
}

// The DNS is asked of every host at once: a name whose every answer is a local address is kept
// back, one with a public answer is not, nor one that gets no answer at all.
TEST(HostGate, AsksTheDnsOfEachHostOnce) {
    testing::FakeDns dns;
    dns.Forward("intranet.shop.com", "10.0.0.7");
    dns.Forward("www.shop.com", "10.0.0.8");
    dns.Forward("www.shop.com", "93.184.215.14");
    for (int i = 0; i < 50; ++i) {
        dns.Forward("host" + std::to_string(i) + ".shop.com", "192.168.0.1");
    }
    RunRouting routing;
    routing.nameServer = dns.server();
    const GateOutcome gated = GatePages(
        {"https://intranet.shop.com/a", "https://intranet.shop.com/b", "https://www.shop.com/c"},
        {}, routing);
    EXPECT_THAT(gated.passed, ElementsAre("https://www.shop.com/c"));
    EXPECT_EQ(gated.leftOut.at(GateReason::LocalAnswers), 2u);
}

// What the history keeps of the key checks, in memory.
class KeyCheckLog : public RequestLog {
public:
    void Record(HistoryRow) override {}
    std::vector<KeyCheckRecord> KeyChecks() override { return kept; }
    void KeepKeyChecks(std::vector<KeyCheckRecord> checks) override {
        for (KeyCheckRecord& check : checks) {
            std::erase_if(kept, [&](const KeyCheckRecord& k) { return k.host == check.host; });
            kept.push_back(std::move(check));
        }
    }
    std::vector<KeyCheckRecord> kept;
};

// IndexNow's key is checked on each host before its batch: a host that serves it exactly is
// asked once a day; one that does not is left out of IndexNow with the check's words, and
// asked again at the next run.
TEST(HostGate, ChecksEachHostsIndexNowKeyOnceADay) {
    testing::TlsServer site;
    std::atomic<int> asked = 0;
    site->Get("/announce-key.txt",
              [&](const httplib::Request& request, httplib::Response& response) {
                  ++asked;
                  if (request.get_header_value("Host").starts_with("www.googleapis.com")) {
                      response.set_content("announce-key", "text/plain");
                  } else {
                      response.status = 404;
                  }
              });
    testing::FakeDns dns;
    dns.Forward("www.googleapis.com", "142.250.1.95");
    dns.Forward("oauth2.googleapis.com", "142.250.1.96");
    RunRouting routing;
    routing.connectTo = {{"www.googleapis.com:443", site.port()},
                         {"oauth2.googleapis.com:443", site.port()}};
    routing.caFile = testing::TlsServer::CaFile();
    routing.nameServer = dns.server();
    const IndexNowSettings settings{.key = "announce-key", .enabled = true};
    KeyCheckLog log;
    const std::vector<std::string> pages = {"https://www.googleapis.com/a",
                                            "https://oauth2.googleapis.com/b"};
    const GateJob job{
        .routing = routing, .settings = &settings, .indexNow = true, .now = 86400 * 20000 + 60};
    const RunGate first = PassGate(pages, job, &log);
    EXPECT_EQ(first.passed, pages);
    EXPECT_THAT(first.ForIndexNow(pages), ElementsAre("https://www.googleapis.com/a"));
    EXPECT_THAT(first.notes, ElementsAre(HasSubstr("oauth2.googleapis.com: 1 page not sent through "
                                                   "IndexNow: its key file is not found (404)")));
    EXPECT_EQ(first.leftOut.at(GateReason::KeyNotServed), 1u);
    EXPECT_EQ(asked, 2);

    GateJob later = job;
    later.now += 3600;
    PassGate(pages, later, &log);
    EXPECT_EQ(asked, 3) << "the served key is trusted for the day, the missing one asked again";
    later.now += 86400;
    PassGate(pages, later, &log);
    EXPECT_EQ(asked, 5);
    std::stop_source cancel;
    cancel.request_stop();
    later.now += 86400;
    later.stop = cancel.get_token();
    EXPECT_THAT(PassGate(pages, later, &log).ForIndexNow(pages), IsEmpty());
    EXPECT_EQ(asked, 5) << "a cancelled run checks no key and sends IndexNow nothing";
    later.keep = false;
    later.indexNow = false;
    EXPECT_THAT(PassGate(pages, later, &log).notes, IsEmpty());
}

}  // namespace
}  // namespace quaymark
