#pragma once

#include <httplib.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/net/transfer_options.h"
#include "tests/support/loopback_server.h"
#include "tests/support/tls_server.h"

namespace quaymark::testing {

// A site of the test whose files can change between reads, answering a conditional request
// for an unchanged file with 304, and an IndexNow endpoint that accepts every announcement.
// The site is http://www.example.test/, the endpoint https://api.indexnow.test/indexnow.
class AnnounceSite {
public:
    static constexpr const char* kSite = "http://www.example.test/";
    static constexpr const char* kEndpoint = "https://api.indexnow.test/indexnow";

    AnnounceSite();
    // The file at the path now answers the status with the body and the headers; its type
    // is told by its name: .xml, .txt, or HTML.
    void Serve(const std::string& path, std::string body, int status = 200,
               std::map<std::string, std::string> headers = {});
    // The endpoint answers every announcement with the status from now on.
    void AnswerWith(int status);
    // Where the site and the endpoint are, for a run or an announcer.
    RunRouting Routing() const;
    // The statuses the path answered, in order.
    std::vector<int> Answers(const std::string& path) const;
    // The announcements' bodies, in order.
    std::vector<std::string> Posted() const;

private:
    struct File {
        std::string body;
        int status = 200;
        std::map<std::string, std::string> headers;
    };
    mutable std::mutex mutex_;
    std::map<std::string, File> files_;
    std::map<std::string, std::vector<int>> answers_;
    std::vector<std::string> posted_;
    int endpointStatus_ = 200;
    LoopbackServer<httplib::Server> site_;
    TlsServer endpoint_;
};

// A sitemap of the pages, each "<address>" or "<address> <lastmod>".
std::string Urlset(const std::vector<std::string>& pages);

}  // namespace quaymark::testing
