// Whole runs against servers that misbehave: every run ends by itself within the fetch's
// limits, records what the engines' answers amount to, keeps the UI thread responsive and
// its memory bounded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <QElapsedTimer>
#include <QTimer>

#include "tests/support/raw_server.h"
#include "tests/support/run_lines.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/scoped_page_dir.h"
#include "ui/desktop.h"
#include "ui/run_starter.h"

namespace quaymark::ui {
namespace {

using quaymark::testing::RawServer;

constexpr auto kIdle = std::chrono::milliseconds(300);
constexpr auto kTotal = std::chrono::milliseconds(1500);
constexpr std::size_t kMaxBody = std::size_t{1} << 20;

// Waits until the client has gone, or the time is up; returns whether it has gone.
bool ClientGone(int socket, int milliseconds) {
    pollfd p{socket, POLLIN, 0};
    if (::poll(&p, 1, milliseconds) <= 0) {
        return false;
    }
    char byte;
    return ::recv(socket, &byte, 1, MSG_DONTWAIT) <= 0;
}

void SendForever(int socket, const std::string& chunk) {
    while (::send(socket, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
    }
}

std::size_t PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::size_t>(usage.ru_maxrss) / 1024;
}

struct Outcome {
    bool failed = false;
    std::vector<std::string> failures;
    std::vector<std::string> resubmit;
    int ticks = 0;
    qint64 elapsedMs = 0;
};

class HostileServerTest : public ::testing::Test {
protected:
    ~HostileServerTest() override { SetCredentialsHandler({}); }

    Outcome RunAgainst(RawServer& server) {
        FetchLimits limits;
        limits.connect = kTotal;
        limits.idle = kIdle;
        limits.total = kTotal;
        limits.maxBodyBytes = kMaxBody;
        RunStarter starter({{{":", server.port()}}, limits, {}});
        Outcome outcome;
        QTimer ticker;
        ticker.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++outcome.ticks; });
        ticker.start();
        QElapsedTimer clock;
        clock.start();
        const RunResult results =
            starter.SubmitList({"http://mine.example/"}, "me@example.com", nullptr).value();
        outcome.failed = results.failed;
        outcome.elapsedMs = clock.elapsed();
        outcome.failures = testing::FailureLines(results);
        outcome.resubmit = testing::ResendUrls(results);
        // Seven requests, each bounded by the total limit.
        EXPECT_LT(outcome.elapsedMs, 7 * (kTotal.count() + 1000));
        EXPECT_LT(PeakRssMiB(), 1024u);
        return outcome;
    }

    static void ExpectEveryEngine(const Outcome& outcome, const std::string& suffix) {
        ASSERT_TRUE(outcome.failed);
        ASSERT_EQ(outcome.failures.size(), 6u);
        for (const std::string& line : outcome.failures) {
            EXPECT_THAT(line, ::testing::EndsWith(suffix + " http://mine.example/"));
        }
        EXPECT_EQ(outcome.resubmit.size(), 7u);
    }

    quaymark::testing::ScopedPageDir dir_;
};

TEST_F(HostileServerTest, AcceptsAndNeverAnswers) {
    RawServer server([](const std::string&, int socket) { ClientGone(socket, 10000); });
    const Outcome outcome = RunAgainst(server);
    ExpectEveryEngine(outcome, ": could not connect.");
    EXPECT_GT(outcome.ticks, 0) << "the UI thread kept running its timers";
}

TEST_F(HostileServerTest, SendsAByteEveryFiveSeconds) {
    RawServer server([](const std::string&, int socket) {
        for (const char byte : std::string("HTTP/1.0 200 OK\r\n\r\nerror\n")) {
            if (::send(socket, &byte, 1, MSG_NOSIGNAL) != 1 || ClientGone(socket, 5000)) {
                return;
            }
        }
    });
    const Outcome outcome = RunAgainst(server);
    ExpectEveryEngine(outcome, ": could not connect.");
    EXPECT_GT(outcome.ticks, 0);
}

TEST_F(HostileServerTest, EndlessBodyIsCutAtTheLimit) {
    RawServer server([](const std::string&, int socket) {
        RawServer::Send(socket, "HTTP/1.0 200 OK\r\n\r\n");
        SendForever(socket, std::string(4096, 'x') + "\n");
    });
    const Outcome outcome = RunAgainst(server);
    EXPECT_FALSE(outcome.failed) << "a page without markers is accepted";
}

TEST_F(HostileServerTest, BodyOfNulAndEightBitBytesIsJudgedAndKeptAsSent) {
    std::string body;
    for (int i = 0; i < 512; ++i) {
        body += static_cast<char>(i % 2 == 0 ? 0 : 0x80 + i % 128);
    }
    body += "\nan error\n";
    RawServer server(quaymark::testing::Answer("HTTP/1.0 200 OK\r\n\r\n" + body));
    const Outcome outcome = RunAgainst(server);
    ExpectEveryEngine(outcome, ": failed.");
    std::string expected = body.substr(0, 512) + "\r\n\r\nan error\r\n\r\n";
    EXPECT_EQ(quaymark::testing::ReadFileBytes("submiterror0.html"), expected);
}

TEST_F(HostileServerTest, StatusLineThatIsNotHttp) {
    RawServer server(quaymark::testing::Answer("SSH-2.0-OpenSSH_9.2\r\nerror\r\n\r\n"));
    ExpectEveryEngine(RunAgainst(server), ": could not connect.");
}

TEST_F(HostileServerTest, MegabyteHeaderLine) {
    RawServer server(quaymark::testing::Answer(
        "HTTP/1.0 200 OK\r\nX-Huge: " + std::string(1 << 20, 'h') + "\r\n\r\nerror\n"));
    ExpectEveryEngine(RunAgainst(server), ": could not connect.");
}

TEST_F(HostileServerTest, RedirectToItself) {
    RawServer server([](const std::string& request, int socket) {
        const std::size_t start = request.find(' ') + 1;
        const std::string target = request.substr(start, request.find(' ', start) - start);
        RawServer::Send(socket, "HTTP/1.0 302 Found\r\nLocation: http://www.webcrawler.com" +
                                    target + "\r\n\r\n");
    });
    ExpectEveryEngine(RunAgainst(server), ": could not connect.");
    EXPECT_EQ(server.requests().size(), 14u) << "one redirect followed per request";
}

TEST_F(HostileServerTest, LocationHoldingALineBreakInjectsNoHeader) {
    RawServer server([](const std::string& request, int socket) {
        if (request.find("GET /landing") == 0) {
            RawServer::Send(socket, "HTTP/1.0 200 OK\r\n\r\nerror\n");
        } else {
            RawServer::Send(
                socket,
                "HTTP/1.0 302 Found\r\nLocation: http://t.example/landing\rX-Injected: 1\r\n"
                "X-Second: 2\r\n\r\n");
        }
    });
    ExpectEveryEngine(RunAgainst(server), ": failed.");
    for (const std::string& head : server.requests()) {
        EXPECT_EQ(head.find("\r\nX-Injected"), std::string::npos) << head;
    }
    EXPECT_EQ(server.requests()[1].rfind("GET /landing%0DX-Injected:%201 HTTP/1.0\r\n", 0), 0u);
}

TEST_F(HostileServerTest, UnauthorizedOnEveryAnswer) {
    int asked = 0;
    SetCredentialsHandler([&](const QString&) -> std::optional<Credentials> {
        ++asked;
        return Credentials{"user", "secret"};
    });
    RawServer server(quaymark::testing::Answer("HTTP/1.0 401 Unauthorized\r\n\r\nerror 401\n"));
    ExpectEveryEngine(RunAgainst(server), ": failed.");
    EXPECT_EQ(asked, 7) << "once per request";
    EXPECT_EQ(server.requests().size(), 14u);
}

TEST_F(HostileServerTest, ResetInTheMiddleOfTheBody) {
    RawServer server([](const std::string&, int socket) {
        RawServer::Send(socket,
                        "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\nfine\nerror here\npart");
        RawServer::ResetOnClose(socket);
    });
    ExpectEveryEngine(RunAgainst(server), ": failed.");
    EXPECT_EQ(quaymark::testing::ReadFileBytes("submiterror0.html"),
              "fine\r\n\r\nerror here\r\n\r\n");
}

TEST_F(HostileServerTest, TlsBytesOnTheHttpPort) {
    // The start of a TLS ServerHello record.
    const std::string hello =
        std::string("\x16\x03\x03\x00\x31\x02\x00\x00\x2d\x03\x03", 11) + std::string(40, '\x5a');
    RawServer server(quaymark::testing::Answer(hello));
    ExpectEveryEngine(RunAgainst(server), ": could not connect.");
}

}  // namespace
}  // namespace quaymark::ui
