#pragma once

#include <httplib.h>

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/google/service_key.h"
#include "engine/net/transfer_options.h"
#include "tests/support/tls_server.h"

namespace quaymark::testing {

// Google as the tests see it, on one loopback TLS server: the token endpoint, which takes
// only an assertion signed with the service account's key (made for the test) and hands out
// "token-1", "token-2", ...; the sites list; sitemap submissions; URL inspection.
class FakeGoogle {
public:
    static constexpr const char* kAccount = "announcer@quaymark-test.iam.gserviceaccount.com";

    struct Answer {
        int status = 200;
        std::string body{};
        std::string retryAfter{};
    };

    FakeGoogle();
    ~FakeGoogle();
    FakeGoogle(const FakeGoogle&) = delete;
    FakeGoogle& operator=(const FakeGoogle&) = delete;

    // The key file Google Cloud would give for the test's key.
    std::string KeyFile() const;
    ServiceKey Key() const;
    RunRouting Routing() const;

    // The sites list's answer.
    void Properties(std::string json);
    // How the inspections of the page are answered, in turn; then "PASS".
    void Inspections(const std::string& page, std::vector<Answer> answers);
    // Every request with a token from now on answers 401 until a new token is asked for.
    void RevokeTokens();
    // The token endpoint answers so from now on, whatever it is sent.
    void TokenAnswer(Answer answer);

    // What Google heard: tokens given, the sitemaps' paths submitted, the pages inspected
    // (each try), and every request's bearer token.
    int tokens() const;
    std::vector<std::string> submitted() const;
    std::vector<std::string> inspected() const;

private:
    bool Authorised(const httplib::Request& request, httplib::Response& response);

    std::string pem_;
    mutable std::mutex mutex_;
    std::string properties_ = R"({"siteEntry":[]})";
    std::map<std::string, std::deque<Answer>> answers_;
    int tokens_ = 0;
    std::optional<Answer> tokenAnswer_;
    int revokedBelow_ = 0;
    std::vector<std::string> submitted_;
    std::vector<std::string> inspected_;
    TlsServer server_;
};

// An inspection's answer: {"inspectionResult": {"indexStatusResult": {...}}}.
std::string InspectionBody(const std::string& verdict, const std::string& coverage,
                           const std::string& lastCrawl = "2026-12-01T08:00:00Z");

}  // namespace quaymark::testing
