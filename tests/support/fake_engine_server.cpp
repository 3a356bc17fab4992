#include "tests/support/fake_engine_server.h"

namespace quaymark::testing {
namespace {

EngineRequest ParseRequest(const std::string& head) {
    EngineRequest request;
    const std::size_t firstSpace = head.find(' ');
    const std::size_t secondSpace = head.find(' ', firstSpace + 1);
    if (firstSpace != std::string::npos && secondSpace != std::string::npos) {
        request.target = head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    }
    const std::string hostField = "\r\nHost: ";
    const std::size_t host = head.find(hostField);
    if (host != std::string::npos) {
        const std::size_t start = host + hostField.size();
        request.host = head.substr(start, head.find("\r\n", start) - start);
    }
    return request;
}

}  // namespace

FakeEngineServer::FakeEngineServer()
    : chooser_([](const EngineRequest&) { return AcceptedPage(); }),
      server_([this](const std::string& head, int socket) {
          const EngineRequest request = ParseRequest(head);
          PageChooser chooser;
          {
              const std::lock_guard lock(mutex_);
              requests_.push_back(request);
              chooser = chooser_;
          }
          const std::string page = chooser(request);
          // A page that brings its own status line is sent as it is.
          RawServer::Send(socket,
                          page.rfind("HTTP/", 0) == 0
                              ? page
                              : "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + page);
      }) {}

void FakeEngineServer::SetPages(PageChooser chooser) {
    const std::lock_guard lock(mutex_);
    chooser_ = std::move(chooser);
}

std::vector<EngineRequest> FakeEngineServer::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

std::map<std::string, std::uint16_t> FakeEngineServer::Routes() const {
    return {{":", server_.port()}};
}

std::string AcceptedPage() {
    return "<html>\r\nThank you for your submission.\r\n</html>\r\n";
}

std::string FailedPage(const std::string& why) {
    return "<html>\r\n<p>" + why + "</p>\r\n</html>\r\n";
}

}  // namespace quaymark::testing
