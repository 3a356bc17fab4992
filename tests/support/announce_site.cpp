#include "tests/support/announce_site.h"

#include <functional>

namespace quaymark::testing {

AnnounceSite::AnnounceSite() {
    site_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        const std::lock_guard lock(mutex_);
        const auto file = files_.find(request.path);
        if (file == files_.end()) {
            response.status = 404;
        } else {
            const std::string etag =
                "\"" + std::to_string(std::hash<std::string>{}(file->second.body)) + "\"";
            response.status = file->second.status;
            if (response.status == 200 && request.get_header_value("If-None-Match") == etag) {
                response.status = 304;
            } else {
                const std::string& path = request.path;
                response.set_content(file->second.body, path.ends_with(".xml")   ? "application/xml"
                                                        : path.ends_with(".txt") ? "text/plain"
                                                                                 : "text/html");
            }
            for (const auto& [name, value] : file->second.headers) {
                response.set_header(name, value);
            }
            response.set_header("ETag", etag);
        }
        answers_[request.path].push_back(response.status);
    });
    endpoint_->Post("/indexnow",
                    [this](const httplib::Request& request, httplib::Response& response) {
                        const std::lock_guard lock(mutex_);
                        posted_.push_back(request.body);
                        response.status = endpointStatus_;
                    });
}

void AnnounceSite::Serve(const std::string& path, std::string body, int status,
                         std::map<std::string, std::string> headers) {
    const std::lock_guard lock(mutex_);
    files_[path] = {std::move(body), status, std::move(headers)};
}

void AnnounceSite::AnswerWith(int status) {
    const std::lock_guard lock(mutex_);
    endpointStatus_ = status;
}

RunRouting AnnounceSite::Routing() const {
    return {.connectTo = {{"www.example.test:80", site_.port()},
                          {"api.indexnow.test:443", endpoint_.port()}},
            .limits = {},
            .caFile = TlsServer::CaFile()};
}

std::vector<int> AnnounceSite::Answers(const std::string& path) const {
    const std::lock_guard lock(mutex_);
    const auto answers = answers_.find(path);
    return answers == answers_.end() ? std::vector<int>{} : answers->second;
}

std::vector<std::string> AnnounceSite::Posted() const {
    const std::lock_guard lock(mutex_);
    return posted_;
}

std::string Urlset(const std::vector<std::string>& pages) {
    std::string xml = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (const std::string& page : pages) {
        const std::size_t blank = page.find(' ');
        xml += "<url><loc>" + page.substr(0, blank) + "</loc>";
        if (blank != std::string::npos) {
            xml += "<lastmod>" + page.substr(blank + 1) + "</lastmod>";
        }
        xml += "</url>";
    }
    return xml + "</urlset>";
}

}  // namespace quaymark::testing
