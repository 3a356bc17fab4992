#include "engine/net/page_fetcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "tests/support/loopback_server.h"
#include "tests/support/raw_server.h"

namespace quaymark {
namespace {

using testing::Answer;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::RawServer;

class FakePrompt : public FetchPrompt {
public:
    void ShowCannotOpenConnection() override { ++cannotOpenShown; }
    std::optional<Credentials> AskCredentials(const std::string& url) override {
        credentialUrls.push_back(url);
        std::this_thread::sleep_for(thinkTime);  // the person at the screen reading and typing
        return credentials;
    }

    int cannotOpenShown = 0;
    std::vector<std::string> credentialUrls;
    std::optional<Credentials> credentials;
    std::chrono::milliseconds thinkTime{};
};

// An HTTP server of the test on 127.0.0.1, serving until the test ends.
using HttpServer = testing::LoopbackServer<httplib::Server>;

class PageFetcherTest : public ::testing::Test {
protected:
    // Every host reaches the given loopback port, so nothing leaves the machine.
    PageFetcher& FetcherTo(std::uint16_t port, FetchLimits limits = {}) {
        fetcher_.emplace(prompt_, RunRouting{{{":", port}}, limits, {}});
        return *fetcher_;
    }

    FakePrompt prompt_;
    std::optional<PageFetcher> fetcher_;
};

const char kExpectedHead[] =
    "GET /add?u=a%20b&e=x@y.example%23frag%20x HTTP/1.0\r\n"
    "Host: www.engine.example\r\n"
    "Accept: text/*\r\n"
    "User-Agent: Quay Marker by Tolvane\r\n"
    "\r\n";

TEST_F(PageFetcherTest, SendsTheRequestByteForByte) {
    RawServer server(Answer("HTTP/1.0 200 OK\r\n\r\nthanks\r\n"));
    PageFetcher& fetcher = FetcherTo(server.port());
    EXPECT_THAT(fetcher.Fetch("http://www.engine.example/add?u=a b&e=x@y.example#frag x"),
                ElementsAre("thanks\n"));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], kExpectedHead);
}

TEST_F(PageFetcherTest, HttpPrefixIsAddedOnlyWhereNoneStandsAnywhere) {
    RawServer server(Answer("HTTP/1.0 200 OK\r\n\r\nok\n"));
    PageFetcher& fetcher = FetcherTo(server.port());
    EXPECT_THAT(fetcher.Fetch("www.engine.example/add"), ElementsAre("ok\n"));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_THAT(server.requests()[0],
                ::testing::StartsWith("GET /add HTTP/1.0\r\nHost: www.engine.example\r\n"));

    EXPECT_THAT(fetcher.Fetch("www.engine.example/add?url=http://mine.example/"), IsEmpty());
    EXPECT_THAT(fetcher.Fetch("https://www.engine.example/"), IsEmpty());
    EXPECT_THAT(fetcher.Fetch("ftp://www.engine.example/"), IsEmpty());
    EXPECT_EQ(server.requests().size(), 1u) << "no request for an address without the http scheme";
    EXPECT_EQ(prompt_.cannotOpenShown, 0);
}

TEST_F(PageFetcherTest, BodyIsCutIntoPieces) {
    const std::string longLine(3000, 'L');
    RawServer server(
        Answer("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + longLine + "\r\na\r\nb"));
    PageLines lines = FetcherTo(server.port()).Fetch("http://e.example/");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].size(), 1022u);
    EXPECT_EQ(lines[1].size(), 1022u);
    EXPECT_EQ(lines[2], std::string(956, 'L') + "\n");
    EXPECT_EQ(lines[3], "a\n");
    EXPECT_EQ(lines[4], "b");
}

TEST_F(PageFetcherTest, EmptyBodyAndErrorStatusesAreNotFailuresOfTheFetch) {
    RawServer empty(Answer("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"));
    EXPECT_THAT(FetcherTo(empty.port()).Fetch("http://e.example/"), IsEmpty());

    RawServer notFound(Answer("HTTP/1.0 404 Not Found\r\n\r\nno such page\n"));
    EXPECT_THAT(FetcherTo(notFound.port()).Fetch("http://e.example/"),
                ElementsAre("no such page\n"));

    RawServer other3xx(Answer("HTTP/1.0 307 Temporary\r\nLocation: http://x/\r\n\r\nmoved\n"));
    EXPECT_THAT(FetcherTo(other3xx.port()).Fetch("http://e.example/"), ElementsAre("moved\n"));
}

TEST_F(PageFetcherTest, NoServerMeansNoPage) {
    std::uint16_t closedPort = 0;
    {
        RawServer gone(Answer(""));
        closedPort = gone.port();
    }
    EXPECT_THAT(FetcherTo(closedPort).Fetch("http://e.example/"), IsEmpty());
}

TEST_F(PageFetcherTest, UnauthorizedAsksOnceThenSendsTheCredentials) {
    HttpServer server;
    std::vector<std::string> authorizations;
    server->Get("/private", [&](const httplib::Request& request, httplib::Response& response) {
        authorizations.push_back(request.get_header_value("Authorization"));
        if (request.get_header_value("Authorization") == "Basic dXNlcjpwYTpzcw==") {
            response.set_content("welcome\n", "text/html");
        } else {
            response.status = 401;
            response.set_content("denied\n", "text/html");
        }
    });
    prompt_.credentials = Credentials{"user", "pa:ss"};
    PageFetcher& fetcher = FetcherTo(server.port());
    EXPECT_THAT(fetcher.Fetch("http://e.example/private"), ElementsAre("welcome\n"));
    EXPECT_THAT(prompt_.credentialUrls, ElementsAre("http://e.example/private"));
    EXPECT_THAT(authorizations, ElementsAre("", "Basic dXNlcjpwYTpzcw=="));

    prompt_.credentials = Credentials{"user", "wrong"};
    EXPECT_THAT(fetcher.Fetch("http://e.example/private"), ElementsAre("denied\n"))
        << "the second 401's body is the page";
    EXPECT_EQ(prompt_.credentialUrls.size(), 2u) << "one dialog per fetch";

    prompt_.credentials.reset();
    authorizations.clear();
    EXPECT_THAT(fetcher.Fetch("http://e.example/private"), ElementsAre("denied\n"));
    EXPECT_THAT(authorizations, ElementsAre("", "")) << "no credentials: the same request again";

    // The user takes longer over the dialog than the whole network limit: that is no timeout.
    FetchLimits limits;
    limits.total = std::chrono::milliseconds(200);
    prompt_.thinkTime = std::chrono::milliseconds(400);
    prompt_.credentials = Credentials{"user", "pa:ss"};
    EXPECT_THAT(FetcherTo(server.port(), limits).Fetch("http://e.example/private"),
                ElementsAre("welcome\n"));
}

TEST_F(PageFetcherTest, FollowsOneRedirectToAnotherPort) {
    HttpServer target;
    target->Get("/page", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("landed\r\n", "text/html");
    });
    target->Get("/missing", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("not here\n", "text/html");
    });
    target->Get("/again", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("http://e.example/page");
    });
    const std::string other = "http://other.example:" + std::to_string(target.port());
    HttpServer first;
    first->Get("/go", [&](const httplib::Request& request, httplib::Response& response) {
        response.status =
            request.has_param("status") ? std::stoi(request.get_param_value("status")) : 302;
        response.set_header("Location", other + request.get_param_value("to"));
        response.set_content("first body\n", "text/html");
    });
    first->Get("/bare", [](const httplib::Request&, httplib::Response& response) {
        response.status = 303;
        response.set_header("Location", "/page");
    });
    PageFetcher fetcher(prompt_,
                        {{{"e.example:80", first.port()},
                          {"other.example:" + std::to_string(target.port()), target.port()}},
                         {},
                         {}});
    EXPECT_THAT(fetcher.Fetch("http://e.example/go?to=/page"), ElementsAre("landed\n"));
    EXPECT_THAT(fetcher.Fetch("http://e.example/go?to=/page&status=303"), ElementsAre("landed\n"));
    EXPECT_THAT(fetcher.Fetch("http://e.example/go?to=/missing"), IsEmpty());
    EXPECT_THAT(fetcher.Fetch("http://e.example/go?to=/again"), IsEmpty()) << "one redirect only";
    EXPECT_THAT(fetcher.Fetch("http://e.example/bare"), IsEmpty()) << "a path is no URL";
}

TEST_F(PageFetcherTest, RedirectTargetIsTheLocationHeaderInAnyCase) {
    HttpServer target;
    target->Get("/right", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("right\n", "text/html");
    });
    const std::string base = "http://t.example/";
    RawServer first([&](const std::string& request, int socket) {
        if (request.find("/bare-lf") != std::string::npos) {
            RawServer::Send(socket, "HTTP/1.0 302 Found\nLocation: " + base + "right\n\n");
        } else if (request.find("/lower") != std::string::npos) {
            RawServer::Send(socket, "HTTP/1.0 302 Found\r\nContent-Location: " + base +
                                        "wrong\r\nlocation: " + base + "right\r\n\r\n");
        } else {
            RawServer::Send(socket, "HTTP/1.0 301 Moved\r\nX-Location: " + base +
                                        "right\r\nContent-Location: " + base + "right\r\n\r\n");
        }
    });
    PageFetcher fetcher(
        prompt_, {{{"e.example:80", first.port()}, {"t.example:80", target.port()}}, {}, {}});
    EXPECT_THAT(fetcher.Fetch("http://e.example/lower"), ElementsAre("right\n"));
    EXPECT_THAT(fetcher.Fetch("http://e.example/bare-lf"), ElementsAre("right\n"))
        << "a header block of bare line feeds ends like one of CR LF";
    EXPECT_THAT(fetcher.Fetch("http://e.example/lookalikes"), IsEmpty());
}

TEST_F(PageFetcherTest, DroppedConnectionKeepsTheWholePiecesRead) {
    RawServer server([](const std::string&, int socket) {
        RawServer::Send(socket, "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\none\ntwo\npart");
        RawServer::ResetOnClose(socket);
    });
    EXPECT_THAT(FetcherTo(server.port()).Fetch("http://e.example/"), ElementsAre("one\n", "two\n"));
}

TEST_F(PageFetcherTest, SilentServerEndsTheRequestAtTheIdleLimit) {
    RawServer silent([](const std::string&, int socket) {
        RawServer::Send(socket, "HTTP/1.0 200 OK\r\n\r\nfirst\n");
        char byte;
        ::recv(socket, &byte, 1, 0);  // until the client gives up
    });
    FetchLimits limits;
    limits.idle = std::chrono::milliseconds(300);
    EXPECT_THAT(FetcherTo(silent.port(), limits).Fetch("http://e.example/"),
                ElementsAre("first\n"));
}

TEST_F(PageFetcherTest, TricklingServerEndsTheRequestAtTheTotalLimit) {
    RawServer trickle([](const std::string&, int socket) {
        RawServer::Send(socket, "HTTP/1.0 200 OK\r\n\r\nfirst\n");
        for (int i = 0; i < 200; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the server's pace
            if (::send(socket, "x", 1, MSG_NOSIGNAL) != 1) {
                return;
            }
        }
    });
    FetchLimits limits;
    limits.total = std::chrono::milliseconds(400);
    EXPECT_THAT(FetcherTo(trickle.port(), limits).Fetch("http://e.example/"),
                ElementsAre("first\n"));
}

TEST_F(PageFetcherTest, BodyIsReadUpToTheLimitOnly) {
    RawServer server([](const std::string&, int socket) {
        RawServer::Send(socket, "HTTP/1.0 200 OK\r\n\r\n");
        const std::string line = std::string(99, 'z') + "\n";
        for (int i = 0; i < 10000; ++i) {
            if (::send(socket, line.data(), line.size(), MSG_NOSIGNAL) <= 0) {
                return;
            }
        }
    });
    FetchLimits limits;
    limits.maxBodyBytes = 1050;
    const PageLines lines = FetcherTo(server.port(), limits).Fetch("http://e.example/");
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[9], std::string(99, 'z') + "\n");
    EXPECT_EQ(lines[10], std::string(50, 'z')) << "the cut ends the body like its end";
}

TEST_F(PageFetcherTest, BareLineFeedsCannotGrowThePageWithoutBound) {
    RawServer server([](const std::string&, int socket) {
        RawServer::Send(socket, "HTTP/1.0 200 OK\r\n\r\n" + std::string(100000, '\n'));
    });
    FetchLimits limits;
    limits.maxPieces = 5000;
    EXPECT_EQ(FetcherTo(server.port(), limits).Fetch("http://e.example/").size(), 5000u);
}

}  // namespace
}  // namespace quaymark
